#pragma once

#include <QObject>
#include <QString>

class QTreeView;

namespace brinmoor {
class FailureSink;
}

namespace brinmoor::app {

class MainWindow;

// The commands of the exclusion word list: "Add One Entry", "Delete Selected
// Entry", "Clear List" and "Load Sample/Example Files", the list's
// double-click and Delete key, and restoring and saving the words. They
// connect themselves to the window's buttons. GUI thread only.
class WordListCommands : public QObject
{
    Q_OBJECT
public:
    WordListCommands(MainWindow &window, QTreeView &view);

    void addOneEntry();          // PushButton2
    void deleteSelectedEntry();  // PushButton7
    void clearWords();           // PushButton8
    void loadSampleWords();      // PushButton13

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
    bool ExcludeWordExists(const QString &text) const;
    void removeSelectedWord(bool reportMissingSelection);

    MainWindow &m_window;
    QTreeView &m_view;
    // The words as this window last read or wrote them, in stored form:
    // what its own changes are measured against.
    QString m_lastSynced;
};

} // namespace brinmoor::app
