#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace brinmoor {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Warning };
enum class MessageAnswer { Ok, Yes, No };

// Every modal box of the program goes through this interface, so commands
// never open a dialog themselves: the window gets the real implementation,
// tests a scripted one that records what was asked and answers from a queue.
// GUI thread only.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // Shows text under title and waits for a button.
    virtual MessageAnswer message(const QString &title, const QString &text,
                                  MessageButtons buttons, MessageIcon icon) = 0;

    // An OK-only box with a longer text the user can unfold and copy, such
    // as the list of many failures. Boxes that cannot unfold show it below
    // the text.
    virtual void messageWithDetails(const QString &title, const QString &text, const QString &details,
                                    MessageIcon icon)
    {
        message(title, text + QStringLiteral("\r\r") + details, MessageButtons::Ok, icon);
    }

    // The same box without holding anything up: it returns at once and the
    // rest of the window stays usable (a running command's stop control
    // above all); closed runs once the user has dismissed it. Details may be
    // empty. Boxes that cannot stay open without blocking show it modally
    // and call closed before returning.
    virtual void notify(const QString &title, const QString &text, const QString &details, MessageIcon icon,
                        std::function<void()> closed)
    {
        if (details.isEmpty())
            message(title, text, MessageButtons::Ok, icon);
        else
            messageWithDetails(title, text, details, icon);
        if (closed)
            closed();
    }

    // Asks for one line of text; nullopt when the user cancels.
    virtual std::optional<QString> input(const QString &prompt, const QString &title,
                                         const QString &defaultText) = 0;
};

} // namespace brinmoor
