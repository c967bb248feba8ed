#pragma once

#include "BusyState.h"
#include "ResultsServices.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QMargins>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QBoxLayout;
class QRadioButton;
class QScreen;
class QScrollArea;
class QTreeView;

namespace brinmoor {
class SettingsStore;
class UserDialogs;
namespace counting {
enum class CountMode;
class SharedOptions;
} // namespace counting
class TextListModel;
namespace filelist {
class FileListDialogs;
}
} // namespace brinmoor

namespace brinmoor::app {

class CaptionProgressBar;
class ContextMenuCommands;
class CountingCommand;
class ErrorReporter;
class FileListCommands;
class ResultsCommands;
class ResultsOrder;
class SummaryCommands;
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

// The program's only working window. Controls keep their designer names as
// object names (ListView1, PushButton12, Check3, ...). GUI thread only.
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
    ErrorReporter &errorReporter() const { return *m_reporter; }
    const counting::SharedOptions &countOptions() const { return *m_options; }
    QString applicationTitle() const { return m_appTitle; }
    bool isCounting() const;
    QCursor handCursor() const { return m_handCursor; }

    // For the commands that live beside the window (file list, exports):
    // the boxes, the settings, the progress bar, the list views, and the
    // buttons of the control table by designer name.
    UserDialogs &dialogs() const { return *m_services.dialogs; }
    SettingsStore &settings() const { return *m_services.settings; }
    // A file shipped beside the program, such as "Samples" or "x/o.cjs".
    QString besideProgram(const char *name) const;
    CaptionProgressBar &progressBar() const { return *m_progress; }
    QTreeView *fileView() const { return m_fileView; }
    QTreeView *wordView() const { return m_wordView; }
    QTreeView *resultView() const { return m_resultView; }
    QPushButton *button(const char *designerName) const;
    // The filter chosen last in the "Add File(s)" dialog, shared with the
    // save dialog of the text export (an index into the dialog's filters).
    int &fileDialogFilterIndex() { return m_fileDialogFilterIndex; }
    FileListCommands &fileListCommands() const { return *m_fileCommands; }
    ResultsCommands &resultsCommands() const { return *m_resultsCommands; }
    WordListCommands &wordListCommands() const { return *m_wordCommands; }
    CountingCommand &countingCommand() const { return *m_countingCommand; }
    ResultsOrder &resultsOrder() const { return *m_resultsOrder; }
    SummaryCommands &summaryCommands() const { return *m_summaryCommands; }
    ContextMenuCommands &contextMenuCommands() const { return *m_contextMenuCommands; }
    const WindowServices &services() const { return m_services; }
    // Empties the results list, rows of a run not yet shown included.
    void clearResultRows();
    // The count mode the option buttons select now.
    counting::CountMode countMode() const;

    // Stops a running count and every folder scan (the stop control, Esc).
    void stopWork();

    // A text of the application's own (no icon, OK, the application title).
    void tell(const QString &text);

signals:
    // After a run's "Done." box closed (or straight after the run, when the
    // window is closing).
    void countingFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Two buttons side by side, or one above the other where the column is
    // too narrow for both captions whole.
    struct ButtonRow
    {
        QBoxLayout *layout;
        QScrollArea *column;
        QPushButton *first;
        QPushButton *second;
    };
    void wrapButtonRows(const QScrollArea *column);

    void buildControls();
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
    void writeSetting(const char *key, const QString &value);
    void updateCountOptions();

    WindowServices m_services;
    std::unique_ptr<ErrorReporter> m_reporter;
    BusyState m_busy;
    std::shared_ptr<counting::SharedOptions> m_options;
    QString m_appTitle;
    QCursor m_handCursor;

    TextListModel *m_fileModel = nullptr;
    TextListModel *m_wordModel = nullptr;
    TextListModel *m_resultModel = nullptr;

    QTreeView *m_fileView = nullptr;
    QTreeView *m_wordView = nullptr;
    QTreeView *m_resultView = nullptr;
    QGroupBox *m_blankFrame = nullptr;
    QGroupBox *m_modeFrame = nullptr;
    QCheckBox *m_check3 = nullptr;
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    CaptionProgressBar *m_progress = nullptr;
    QPushButton *m_stop = nullptr;
    bool m_placed = false;
    // The frame the window was last placed for, and the size it asked for
    // before the window manager framed it.
    QMargins m_placedFrame;
    QSize m_wantedSize;
    QElapsedTimer m_shownFor;
    QList<QPushButton *> m_handButtons;
    QList<ButtonRow> m_buttonRows;
    QScrollArea *m_leftColumn = nullptr;
    QScrollArea *m_rightColumn = nullptr;

    // The running count holds a busy lease, so it goes before m_busy does.
    CountingCommand *m_countingCommand = nullptr;
    WordListCommands *m_wordCommands = nullptr;
    ResultsOrder *m_resultsOrder = nullptr;

    // The file list's commands; they own the folder scans, which hold busy
    // leases, so they go before m_busy does.
    FileListCommands *m_fileCommands = nullptr;
    int m_fileDialogFilterIndex = 0;
    // The results exports; their workers hold busy leases too.
    ResultsCommands *m_resultsCommands = nullptr;
    SummaryCommands *m_summaryCommands = nullptr;
    ContextMenuCommands *m_contextMenuCommands = nullptr;
};

} // namespace brinmoor::app
