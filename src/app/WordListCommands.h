#pragma once

#include "CommandContext.h"

#include <QObject>
#include <QString>

class QTreeView;

namespace brinmoor {
class FailureSink;
class SettingsStore;
class TextListModel;
} // namespace brinmoor

namespace brinmoor::app {

class BusyState;
class ErrorReporter;

// The commands of the exclusion word list: "Add One Entry", "Delete Selected
// Entry", "Clear List" and "Load Sample/Example Files", the list's
// double-click and Delete key, and restoring and saving the words. GUI
// thread only.
class WordListCommands : public QObject
{
    Q_OBJECT
public:
    // What the commands work on; all of it outlives them.
    struct Context
    {
        TextListModel &words;
        QTreeView &view;
        BusyState &busy;
        ErrorReporter &reporter;
        Boxes boxes;
        SettingsStore &settings;
    };

    explicit WordListCommands(Context context, QObject *parent = nullptr);

    void addOneEntry();
    void deleteSelectedEntry();
    void clearWords();
    void loadSampleWords();

    // The stored words as start-up reads them (step 140) and fills the list
    // with them (146), under the start-up's error report.
    QString readStoredWords() const;
    void restoreWords(const QString &stored);
    // Writes the words in their stored form; the one place that does. What
    // is written is what the store holds now with this window's additions
    // and removals since it last read or wrote the words, so another copy
    // of the program open at the same time loses none of its own. Here (at
    // close) a failure is reported in the error report; the write on each
    // change tells the store's message in a plain box instead (the store
    // says it once, whichever write failed first).
    void saveWords();
    // From now on every change of the list is written at once, so a killed
    // program loses no word. After start-up has filled the list.
    void saveOnEveryChange();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void saveWords(FailureSink &sink);
    void removeSelectedWord(bool reportMissingSelection);

    Context m_c;
    // The words as this window last read or wrote them, in stored form:
    // what its own changes are measured against.
    QString m_lastSynced;
};

} // namespace brinmoor::app
