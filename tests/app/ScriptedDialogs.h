#pragma once

#include "UserDialogs.h"

#include <QList>
#include <QString>

#include <functional>

// Records every box the window asks for and answers from queues: messages
// with OK (or the next queued answer), input boxes with the next queued text
// (cancel when the queue is empty). onMessage runs inside the box, while the
// command that opened it waits, as a real modal box would let the user act.
class ScriptedDialogs final : public brinmoor::UserDialogs
{
public:
    struct Message
    {
        QString title;
        QString text;
        brinmoor::MessageButtons buttons;
        brinmoor::MessageIcon icon;
    };
    struct Input
    {
        QString prompt;
        QString title;
        QString defaultText;
    };

    brinmoor::MessageAnswer message(const QString &title, const QString &text, brinmoor::MessageButtons buttons,
                                    brinmoor::MessageIcon icon) override
    {
        messages.append({title, text, buttons, icon});
        if (onMessage)
            onMessage(messages.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == brinmoor::MessageButtons::YesNo ? brinmoor::MessageAnswer::No
                                                          : brinmoor::MessageAnswer::Ok;
    }

    std::optional<QString> input(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        inputs.append({prompt, title, defaultText});
        if (inputAnswers.isEmpty())
            return std::nullopt;
        return inputAnswers.takeFirst();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Message &m : messages)
            result.append(m.text);
        return result;
    }

    QList<Message> messages;
    QList<Input> inputs;
    QList<brinmoor::MessageAnswer> answers;
    QList<std::optional<QString>> inputAnswers;
    std::function<void(const Message &)> onMessage;
};
