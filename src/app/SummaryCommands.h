#pragma once

#include "CommandContext.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace brinmoor {
class Clipboard;
class SettingsStore;
namespace filelist {
class FileListDialogs;
}
} // namespace brinmoor

namespace brinmoor::app {

class RunSummary;
class SummaryWindow;

// "Summary…": the summary window of the main window (one, made on first
// use, kept while the main window lives) and its exports: an aligned text
// file, a CSV file and the clipboard. GUI thread only.
class SummaryCommands : public QObject
{
    Q_OBJECT
public:
    // What the commands work on; all of it outlives them.
    struct Context
    {
        // Follows every run of the window from its start, open or not.
        const RunSummary &summary;
        // The summary window's parent.
        QWidget &window;
        SettingsStore &settings;
        Boxes boxes;
        filelist::FileListDialogs &fileDialogs;
        Clipboard &clipboard;
    };

    explicit SummaryCommands(Context context, QObject *parent = nullptr);
    ~SummaryCommands() override;

    // Shows the window (raised, where the user left it last).
    void showSummary();
    // The window if it was made, else null.
    SummaryWindow *summaryWindow() const;

    void saveSummaryAsTextFile();
    void saveSummaryAsCsvFile();
    void copySummaryToClipboard();

private:
    void saveAs(const QString &title, const QStringList &filters, bool csv);
    void storeGeometry();

    Context m_c;
    QPointer<SummaryWindow> m_summaryWindow;
    int m_filterIndex = 0;
};

} // namespace brinmoor::app
