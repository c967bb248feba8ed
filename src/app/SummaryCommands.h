#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

namespace brinmoor {
class Clipboard;
namespace filelist {
class FileListDialogs;
}
} // namespace brinmoor

namespace brinmoor::app {

class MainWindow;
class RunSummary;
class SummaryWindow;

// "Summary…": the summary window of the main window (one, made on first
// use, kept while the main window lives) and its exports: an aligned text
// file, a CSV file and the clipboard. The summary follows every run of the
// window from its start, open or not. GUI thread only.
class SummaryCommands : public QObject
{
    Q_OBJECT
public:
    explicit SummaryCommands(MainWindow &window);
    ~SummaryCommands() override;

    // Shows the window (raised, where the user left it last).
    void showSummary();
    // The window if it was made, else null.
    SummaryWindow *summaryWindow() const;
    const RunSummary &runSummary() const { return *m_summary; }

    void saveSummaryAsTextFile();
    void saveSummaryAsCsvFile();
    void copySummaryToClipboard();

private:
    void saveAs(const QString &title, const QStringList &filters, bool csv);
    void storeGeometry();

    MainWindow &m_window;
    RunSummary *m_summary = nullptr;
    QPointer<SummaryWindow> m_summaryWindow;
    std::unique_ptr<filelist::FileListDialogs> m_ownDialogs;
    std::unique_ptr<Clipboard> m_ownClipboard;
    filelist::FileListDialogs *m_fileDialogs = nullptr;
    Clipboard *m_clipboard = nullptr;
    int m_filterIndex = 0;
};

} // namespace brinmoor::app
