#pragma once

#include "BusyState.h"
#include "CommandContext.h"
#include "ResultsServices.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QMargins>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;
class QScreen;
class QTreeView;

namespace brinmoor {
class Clipboard;
class SettingsStore;
class UserDialogs;
namespace counting {
enum class CountMode;
class SharedOptions;
} // namespace counting
class TextListModel;
namespace filelist {
class FileListDialogs;
class WidgetFileListDialogs;
} // namespace filelist
} // namespace brinmoor

namespace brinmoor::app {

class CaptionProgressBar;
class ContextMenuCommands;
class CountingCommand;
class ErrorReporter;
class FileListCommands;
class ResultRows;
class ResultsCommands;
class ResultsOrder;
class RunSummary;
class SummaryCommands;
class WindowControls;
class WordListCommands;

// What the window needs from outside; tests replace every part.
struct WindowServices
{
    UserDialogs *dialogs = nullptr;
    SettingsStore *settings = nullptr;
    // Where the skin, the pointer image and the sample folder are looked for.
    QString programFolder;
    // The web site of the occasional start-up visit; empty opens nothing.
    QString websiteAddress;
    // A whole number from 1 to 100; the site is opened on 7.
    std::function<int()> drawVisit;
    std::function<void(const QUrl &)> openUrl;
    // Worker threads of a counting run; 0 uses every core.
    int countJobs = 0;
    // The open dialog and the folder browser of the file list; null uses
    // Qt's own, modal to the window.
    filelist::FileListDialogs *fileDialogs = nullptr;
    // The results exports' clipboard and desktop; the save dialog defaults
    // to fileDialogs.
    ResultsServices results = {};
    // Shows a file selected in the desktop's file manager; false (or unset)
    // opens its folder with openUrl instead.
    std::function<bool(const QString &path)> showInFolder = {};
};

// The program's only working window: it makes the controls, gives each
// command what it works on, and connects every button to its command in
// one table (connectButtons). Controls keep their designer names as object
// names (ListView1, PushButton12, Check3, ...). GUI thread only.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(WindowServices services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up steps, each under the start-up's error report; call once
    // before showing the window.
    void startUp();

    TextListModel &fileList() const { return *m_fileModel; }
    TextListModel &wordList() const { return *m_wordModel; }
    TextListModel &results() const { return *m_resultModel; }
    BusyState &busy() { return m_busy; }
    const counting::SharedOptions &countOptions() const { return *m_options; }
    QString applicationTitle() const { return m_appTitle; }
    bool isCounting() const;
    QCursor handCursor() const { return m_handCursor; }
    SettingsStore &settings() const { return *m_services.settings; }
    // A file shipped beside the program, such as "Samples" or "x/o.cjs".
    QString besideProgram(const char *name) const;
    CaptionProgressBar &progressBar() const;
    QTreeView *fileView() const;
    QTreeView *wordView() const;
    QTreeView *resultView() const;
    // A button by its designer name.
    QPushButton *button(const char *designerName) const;
    // The filter chosen last in the "Add File(s)" dialog, shared with the
    // save dialog of the text export (an index into the dialog's filters).
    int &fileDialogFilterIndex() { return m_fileDialogChoice.filterIndex; }
    FileListCommands &fileListCommands() const { return *m_fileCommands; }
    ResultsCommands &resultsCommands() const { return *m_resultsCommands; }
    ResultsOrder &resultsOrder() const { return *m_resultsOrder; }
    SummaryCommands &summaryCommands() const { return *m_summaryCommands; }
    // Empties the results list, rows of a run not yet shown included.
    void clearResultRows();

    // Stops a running count and every folder scan (the stop control, Esc).
    void stopWork();

signals:
    // After a run's "Done." box closed (or straight after the run, when the
    // window is closing).
    void countingFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void makeCommands();
    void connectButtons();
    Boxes boxes() const;
    // The window's size and place: kept from the last start where that
    // fits the screens present, its whole frame inside the available area.
    void placeOnScreen();
    void keepFrameOnScreen();
    void keepPlacement();
    QMargins knownFrame() const;
    QRect usableArea(const QScreen &shownOn) const;
    void updateStopControl();
    void setHandCursor(const QCursor &cursor);
    void blankOptionClicked();
    void countModeClicked();
    counting::CountMode countMode() const;
    void writeSetting(const char *key, const QString &value);
    void updateCountOptions();
    void tell(const QString &text);

    WindowServices m_services;
    std::unique_ptr<ErrorReporter> m_reporter;
    BusyState m_busy;
    std::shared_ptr<counting::SharedOptions> m_options;
    QString m_appTitle;
    QCursor m_handCursor;
    // Qt's own file dialogs and the system clipboard, where the services
    // bring none.
    std::unique_ptr<filelist::WidgetFileListDialogs> m_ownFileDialogs;
    std::unique_ptr<Clipboard> m_ownClipboard;
    FileDialogChoice m_fileDialogChoice;

    TextListModel *m_fileModel = nullptr;
    TextListModel *m_wordModel = nullptr;
    TextListModel *m_resultModel = nullptr;
    ResultRows *m_resultRows = nullptr;
    RunSummary *m_runSummary = nullptr;
    WindowControls *m_controls = nullptr;

    bool m_placed = false;
    // The frame the window was last placed for, and the size it asked for
    // before the window manager framed it.
    QMargins m_placedFrame;
    QSize m_wantedSize;
    QElapsedTimer m_shownFor;

    // The running count, the folder scans and the exports hold busy leases,
    // so the window deletes their commands before m_busy goes.
    CountingCommand *m_countingCommand = nullptr;
    FileListCommands *m_fileCommands = nullptr;
    ResultsCommands *m_resultsCommands = nullptr;
    WordListCommands *m_wordCommands = nullptr;
    ResultsOrder *m_resultsOrder = nullptr;
    SummaryCommands *m_summaryCommands = nullptr;
    ContextMenuCommands *m_contextMenuCommands = nullptr;
};

} // namespace brinmoor::app
