#pragma once

#include "FileListDialogs.h"
#include "UserDialogs.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

// Scripted stand-ins for the boxes and the file-list dialogs: each records
// what it was asked and answers from a queue (OK or No for messages, cancel
// for inputs and dialogs when the queue is empty). onMessage runs while the
// box is "open", as the user could look at the list then.
class FakeDialogs final : public brinmoor::UserDialogs
{
public:
    struct Message
    {
        QString title;
        QString text;
        brinmoor::MessageButtons buttons;
        brinmoor::MessageIcon icon;
    };

    brinmoor::MessageAnswer message(const QString &title, const QString &text,
                                    brinmoor::MessageButtons buttons, brinmoor::MessageIcon icon) override
    {
        messages.append({title, text, buttons, icon});
        if (onMessage)
            onMessage(messages.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == brinmoor::MessageButtons::YesNo ? brinmoor::MessageAnswer::No
                                                          : brinmoor::MessageAnswer::Ok;
    }

    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override
    {
        inputs.append({prompt, title, defaultText});
        return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Message &m : messages)
            result.append(m.text);
        return result;
    }

    QList<Message> messages;
    QList<QStringList> inputs;   // prompt, title, default text
    QList<brinmoor::MessageAnswer> answers;
    QList<std::optional<QString>> inputAnswers;
    std::function<void(const Message &)> onMessage;
};

class FakeFileListDialogs final : public brinmoor::filelist::FileListDialogs
{
public:
    struct FileRequest
    {
        QString title;
        QStringList filters;
        int filterIndex;
    };
    struct FolderRequest
    {
        QString prompt;
        QString startFolder;
    };

    brinmoor::filelist::FileSelection chooseFiles(const QString &title, const QStringList &filters,
                                                  int &filterIndex) override
    {
        fileRequests.append({title, filters, filterIndex});
        if (nextFilterIndex >= 0)
            filterIndex = nextFilterIndex;
        return selections.isEmpty() ? brinmoor::filelist::FileSelection{} : selections.takeFirst();
    }

    QString chooseFolder(const QString &prompt, const QString &startFolder) override
    {
        folderRequests.append({prompt, startFolder});
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    QList<FileRequest> fileRequests;
    QList<FolderRequest> folderRequests;
    QList<brinmoor::filelist::FileSelection> selections;
    QStringList folders;
    int nextFilterIndex = -1;
};
