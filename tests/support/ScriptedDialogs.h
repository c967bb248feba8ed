#pragma once

#include "FileListDialogs.h"
#include "UserDialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Scripted stand-ins for every dialog a command may open. Each records what
// it was asked and answers from a queue.

// Message boxes answer OK (or No) unless an answer is queued; input boxes
// answer the next queued text, cancel when the queue is empty. onMessage
// runs inside the box, while the command that opened it waits, as a real
// modal box would let the user act.
class ScriptedDialogs final : public brinmoor::UserDialogs
{
public:
    struct Message
    {
        QString title;
        QString text;
        brinmoor::MessageButtons buttons;
        brinmoor::MessageIcon icon;
        QString details;   // what a box with details holds back
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
        messages.append({title, text, buttons, icon, QString()});
        if (onMessage)
            onMessage(messages.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == brinmoor::MessageButtons::YesNo ? brinmoor::MessageAnswer::No
                                                          : brinmoor::MessageAnswer::Ok;
    }

    void messageWithDetails(const QString &title, const QString &text, const QString &details,
                            brinmoor::MessageIcon icon) override
    {
        messages.append({title, text, brinmoor::MessageButtons::Ok, icon, details});
        if (onMessage)
            onMessage(messages.last());
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

// The open dialog, the folder browser and the save dialog answer their
// queues (cancel when empty). nextFilterIndex >= 0 moves the filter choice,
// as a user picking another file type would.
class ScriptedFileListDialogs final : public brinmoor::filelist::FileListDialogs
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

    QString chooseSaveFile(const QString &title, const QStringList &filters, int &filterIndex) override
    {
        saveRequests.append({title, filters, filterIndex});
        if (nextFilterIndex >= 0)
            filterIndex = nextFilterIndex;
        return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
    }

    QList<FileRequest> fileRequests;
    QList<FolderRequest> folderRequests;
    QList<FileRequest> saveRequests;
    QList<brinmoor::filelist::FileSelection> selections;
    QStringList folders;
    QStringList savePaths;
    int nextFilterIndex = -1;
};
