#pragma once

#include "UserDialogs.h"

#include <QStringList>

namespace brinmoor::app {

class MainWindow;

// Boxes for an unattended start: each is written to standard error and
// answered at once (OK, No, or cancel).
class UnattendedDialogs final : public UserDialogs
{
public:
    MessageAnswer message(const QString &title, const QString &text, MessageButtons buttons,
                          MessageIcon icon) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
};

// What is wrong with a started, shown window; empty when it looks right.
QStringList selfTestProblems(const MainWindow &window);

} // namespace brinmoor::app
