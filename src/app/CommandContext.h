#pragma once

#include "UserDialogs.h"

#include <QString>

namespace brinmoor::app {

// The boxes a command shows under the application's title. The title is
// read when a box opens: start-up sets it after the commands are made.
struct Boxes
{
    UserDialogs &dialogs;
    const QString &title;

    // A text of the application's own: no icon, OK.
    void tell(const QString &text) const { dialogs.message(title, text, MessageButtons::Ok, MessageIcon::None); }
    void warn(const QString &text) const { dialogs.message(title, text, MessageButtons::Ok, MessageIcon::Warning); }
    bool confirm(const QString &question) const
    {
        return dialogs.message(title, question, MessageButtons::YesNo, MessageIcon::None) == MessageAnswer::Yes;
    }
};

// The filter chosen last in the "Add File(s)" dialog (an index into its
// filters). The save dialog of the results' text export starts from it and
// changes it too, so both commands hold the one choice.
struct FileDialogChoice
{
    int filterIndex = 0;
};

} // namespace brinmoor::app
