#include "MainWindow.h"

#include "ApplicationTitle.h"
#include "CaptionProgressBar.h"
#include "ContextMenuCommands.h"
#include "CountingCommand.h"
#include "CursorFile.h"
#include "ErrorReporter.h"
#include "FileListCommands.h"
#include "Paths.h"
#include "Procedure.h"
#include "ResultRows.h"
#include "ResultsCommands.h"
#include "ResultsOrder.h"
#include "RunSummary.h"
#include "SummaryCommands.h"
#include "WindowControls.h"
#include "WordListCommands.h"

#include "FileListView.h"
#include "SampleSet.h"
#include "SettingsStore.h"
#include "SharedOptions.h"
#include "SystemClipboard.h"
#include "TextListModel.h"
#include "UserDialogs.h"
#include "WidgetFileListDialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTreeView>

namespace brinmoor::app {

MainWindow::MainWindow(WindowServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_reporter(std::make_unique<ErrorReporter>(*m_services.dialogs))
    , m_options(std::make_shared<counting::SharedOptions>())
    , m_appTitle(QString::fromLatin1(ProductTitle))
    , m_handCursor(Qt::PointingHandCursor)
{
    setObjectName(QStringLiteral("Form1"));
    m_fileModel = new TextListModel(false, this);
    m_wordModel = new TextListModel(false, this);
    m_resultModel = new TextListModel(true, this);
    m_resultRows = new ResultRows(*m_resultModel, this);
    m_runSummary = new RunSummary(this);
    m_controls = new WindowControls(*this, {m_fileModel, m_wordModel, m_resultModel});
    setHandCursor(m_handCursor);

    filelist::FileListView &fileView = *m_controls->fileList;
    BusyState *busy = &m_busy;
    fileView.setBusyCheck([busy] { return busy->isBusy(); });
    fileView.setDragCursor(filelist::FileListView::dragCursorFrom(besideProgram("drag.ico")));

    makeCommands();
    connectButtons();

    // Stop by button or Esc. The control follows the busy state; it looks a
    // turn of the event loop later, once a starting scan runs.
    connect(m_controls->stop, &QPushButton::clicked, this, &MainWindow::stopWork);
    auto *escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, &MainWindow::stopWork);
    connect(&m_busy, &BusyState::busyChanged, this, [this] {
        QMetaObject::invokeMethod(this, &MainWindow::updateStopControl, Qt::QueuedConnection);
    });
    connect(m_countingCommand, &CountingCommand::finished, this, &MainWindow::countingFinished);
    connect(m_countingCommand, &CountingCommand::finished, this, &MainWindow::updateStopControl);
    // The summary follows every run from its start, shown or not.
    connect(m_countingCommand, &CountingCommand::runStarted, m_runSummary, &RunSummary::watch);
    connect(m_contextMenuCommands, &ContextMenuCommands::summaryRequested, m_summaryCommands,
            &SummaryCommands::showSummary);

    connect(m_wordModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::modelReset, this, &MainWindow::updateCountOptions);
    QCheckBox *excludeBlank = m_controls->excludeBlankLines;
    connect(excludeBlank, &QCheckBox::toggled, this, &MainWindow::updateCountOptions);
    connect(excludeBlank, &QCheckBox::clicked, this, &MainWindow::blankOptionClicked);
    connect(m_controls->oneCount, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
    connect(m_controls->separateCounts, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
}

MainWindow::~MainWindow()
{
    // The run's workers must stop before the lists they report into go; the
    // folder scans and the exports hold busy leases that must find m_busy.
    delete m_countingCommand;
    m_countingCommand = nullptr;
    delete m_fileCommands;
    m_fileCommands = nullptr;
    delete m_resultsCommands;
    m_resultsCommands = nullptr;
    // Its window shows the run summary.
    delete m_summaryCommands;
    m_summaryCommands = nullptr;
}

Boxes MainWindow::boxes() const
{
    return Boxes{*m_services.dialogs, m_appTitle};
}

void MainWindow::makeCommands()
{
    if (!m_services.fileDialogs) {
        m_ownFileDialogs = std::make_unique<filelist::WidgetFileListDialogs>(this);
        m_services.fileDialogs = m_ownFileDialogs.get();
    }
    ResultsServices results = m_services.results;
    if (!results.fileDialogs)
        results.fileDialogs = m_services.fileDialogs;
    if (!results.clipboard) {
        m_ownClipboard = std::make_unique<SystemClipboard>();
        results.clipboard = m_ownClipboard.get();
    }
    filelist::FileListView &fileView = *m_controls->fileList;

    m_fileCommands = new FileListCommands(
        {*m_fileModel, fileView, m_busy, *m_reporter, boxes(), *m_services.fileDialogs, m_fileDialogChoice,
         *m_services.settings, besideProgram("Samples") + QDir::separator(), m_services.openUrl,
         [this] {
             raise();
             activateWindow();
         }},
        this);
    m_wordCommands = new WordListCommands(
        {*m_wordModel, *m_controls->wordList, m_busy, *m_reporter, boxes(), *m_services.settings}, this);
    m_countingCommand = new CountingCommand({*m_fileModel, *m_resultRows, *m_controls->progress, m_busy,
                                             *m_reporter, boxes(), [this] { return countMode(); }, m_options,
                                             m_services.countJobs},
                                            this);
    m_resultsCommands = new ResultsCommands({*m_resultRows, *m_controls->progress, m_busy, *m_reporter, boxes(),
                                             m_fileDialogChoice, *m_runSummary, results},
                                            this);
    m_resultsOrder = new ResultsOrder(*m_resultModel, *m_controls->resultList, this);
    m_summaryCommands = new SummaryCommands(
        {*m_runSummary, *this, *m_services.settings, boxes(), *results.fileDialogs, *results.clipboard}, this);
    m_contextMenuCommands = new ContextMenuCommands({*m_controls->resultList, fileView, m_busy, boxes(),
                                                     *results.clipboard, m_services.openUrl,
                                                     m_services.showInFolder},
                                                    this);
}

void MainWindow::connectButtons()
{
    // Every button of the window and its command, by the button's designer
    // name.
    const auto on = [this](const char *designerName, auto *commands, auto command) {
        connect(button(designerName), &QPushButton::clicked, commands, command);
    };
    on("PushButton1", m_fileCommands, &FileListCommands::addFiles);
    on("PushButton5", m_fileCommands, &FileListCommands::addAllFilesInFolder);
    on("PushButton3", m_fileCommands, &FileListCommands::clearList);
    on("PushButton11", m_fileCommands, &FileListCommands::loadSampleFiles);
    on("PushButton12", m_countingCommand, &CountingCommand::startCounting);
    on("PushButton9", m_resultsCommands, &ResultsCommands::saveResultsAsTextFile);
    on("PushButton10", m_resultsCommands, &ResultsCommands::saveResultsAsExcelFile);
    on("PushButton18", m_resultsCommands, &ResultsCommands::copyResultsToClipboard);
    on("PushButton14", m_resultsCommands, &ResultsCommands::clearResults);
    on("PushButton2", m_wordCommands, &WordListCommands::addOneEntry);
    on("PushButton7", m_wordCommands, &WordListCommands::deleteSelectedEntry);
    on("PushButton8", m_wordCommands, &WordListCommands::clearWords);
    on("PushButton13", m_wordCommands, &WordListCommands::loadSampleWords);
}

void MainWindow::setHandCursor(const QCursor &cursor)
{
    m_handCursor = cursor;
    for (QWidget *w : std::as_const(m_controls->handPointed))
        w->setCursor(cursor);
}

QString MainWindow::besideProgram(const char *name) const
{
    return brinmoor::besideProgram(QLatin1String(name), m_services.programFolder);
}

QPushButton *MainWindow::button(const char *designerName) const
{
    return findChild<QPushButton *>(QLatin1String(designerName));
}

CaptionProgressBar &MainWindow::progressBar() const
{
    return *m_controls->progress;
}

QTreeView *MainWindow::fileView() const
{
    return m_controls->fileList;
}

QTreeView *MainWindow::wordView() const
{
    return m_controls->wordList;
}

QTreeView *MainWindow::resultView() const
{
    return m_controls->resultList;
}

void MainWindow::tell(const QString &text)
{
    boxes().tell(text);
}

// ---------------------------------------------------------------- start-up

void MainWindow::startUp()
{
    Procedure p(*m_reporter, location::FormLoad);
    SettingsStore &settings = *m_services.settings;

    // Start-up goes on after a failed step: each step that can fail runs on
    // its own.
    if (!settings.openProblem().isEmpty())
        p.fail(settings.openProblem());

    p.run(100, [&] {
        const QString skin = besideProgram("x/o.cjs");
        if (!QFileInfo(skin).isFile())
            return;
        const QColor buttonFace = palette().color(QPalette::Button);
        setBackColour(this, buttonFace);
        for (QWidget *w : findChildren<QWidget *>()) {
            if (qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w)
                || qobject_cast<QGroupBox *>(w) || qobject_cast<QLabel *>(w))
                setBackColour(w, buttonFace);
        }
        QFile file(skin);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            failStep(QStringLiteral("The skin file %1 cannot be read: %2").arg(skin, file.errorString()));
        setStyleSheet(QString::fromUtf8(file.readAll()));
    });

    p.run(104, [&] {
        const QString pointer = besideProgram("HAND-M.CUR");
        if (!QFileInfo::exists(pointer))
            return;
        p.step(106);
        const std::optional<QCursor> cursor = loadCursorFile(pointer);
        if (!cursor)
            failStep(QStringLiteral("The pointer image %1 cannot be read.").arg(pointer));
        setHandCursor(*cursor);
    });

    p.run(108, [&] {
        if (m_services.drawVisit && m_services.drawVisit() == 7 && !m_services.websiteAddress.isEmpty()
            && m_services.openUrl)
            m_services.openUrl(QUrl(m_services.websiteAddress));
    });

    const auto recordSamples = [&] {
        if (!settings.read(QLatin1String(settings::Snapshot), QString()).isEmpty())
            return;
        const QString problem = filelist::SaveSamplesSnapshot(settings, besideProgram("Samples"));
        if (!problem.isEmpty())
            failStep(problem);
    };
    p.run(108, recordSamples);
    p.run(124, recordSamples);

    p.run([&] {
        p.step(126);
        setWindowTitle(QString::fromLatin1(ProductTitle));
        setWindowIcon(QIcon(QStringLiteral(":/brinmoor/icon.png")));
        m_appTitle = app::applicationTitle(QString::fromLatin1(ProductTitle));
        // The columns stretch with their lists (see WindowControls).
        p.step(128);
        m_fileModel->setHeader(QStringLiteral("File(s)"));
        p.step(132);
        m_resultModel->setHeader(QStringLiteral(" Results"));
        p.step(136);
        m_wordModel->setHeader(QStringLiteral("Exclude lines that contain these word(s)"));
        p.step(140);
        const QString words = m_wordCommands->readStoredWords();
        p.step(142);
        const QString stored = settings.read(QLatin1String(settings::ExcludeBlank), QStringLiteral("0"));
        m_controls->excludeBlankLines->setChecked(numberFromText(stored) != 0);
        p.step(144);
        m_wordModel->clear();
        p.step(146);
        m_wordCommands->restoreWords(words);
    });

    const auto restoreOption = [&](QRadioButton *option, const char *key, const char *fallback) {
        const QString stored = settings.read(QLatin1String(key), QLatin1String(fallback));
        const std::optional<bool> value = truthFromText(stored);
        if (!value)
            failStep(QStringLiteral("The setting \"%1\" holds \"%2\", which is neither True, False nor a number.")
                         .arg(QLatin1String(key), stored));
        // Exclusive option buttons refuse to be cleared one by one.
        option->setAutoExclusive(false);
        option->setChecked(*value);
        option->setAutoExclusive(true);
    };
    p.run(156, [&] { restoreOption(m_controls->oneCount, settings::Option1, "1"); });
    p.run(158, [&] { restoreOption(m_controls->separateCounts, settings::Option2, "0"); });
    // Both stored as true: the later one wins, as with any exclusive pair.
    if (m_controls->oneCount->isChecked() && m_controls->separateCounts->isChecked())
        m_controls->oneCount->setChecked(false);

    updateCountOptions();
    m_wordCommands->saveOnEveryChange();
}

// ------------------------------------------------------- options and words

void MainWindow::writeSetting(const char *key, const QString &value)
{
    // These handlers carry no error report: a value that cannot be stored
    // leaves the control as the user set it, and the user hears once that
    // changes will not be kept.
    const QString problem = m_services.settings->write(QLatin1String(key), value);
    if (!problem.isEmpty())
        tell(problem);
}

void MainWindow::blankOptionClicked()
{
    const bool checked = m_controls->excludeBlankLines->isChecked();
    writeSetting(settings::ExcludeBlank, checked ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::countModeClicked()
{
    clearResultRows();
    writeSetting(settings::Option1, truthText(m_controls->oneCount->isChecked()));
    writeSetting(settings::Option2, truthText(m_controls->separateCounts->isChecked()));
}

void MainWindow::updateCountOptions()
{
    // A running count picks these up from its next read block on.
    m_options->set(counting::CountOptions{
        .excludeBlank = m_controls->excludeBlankLines->isChecked(),
        .excludeWords = m_wordModel->texts(),
    });
}

// ------------------------------------------------------------- the run

counting::CountMode MainWindow::countMode() const
{
    if (m_controls->oneCount->isChecked())
        return counting::CountMode::OneTotal;
    if (m_controls->separateCounts->isChecked())
        return counting::CountMode::Separate;
    return counting::CountMode::None;
}

void MainWindow::stopWork()
{
    m_countingCommand->stop();
    m_fileCommands->cancelScans();
    m_resultsCommands->stopSaves();
}

void MainWindow::updateStopControl()
{
    m_controls->stop->setVisible(m_busy.isBusy()
                                 && (isCounting() || m_fileCommands->runningScans() > 0
                                     || m_resultsCommands->runningSaves() > 0));
}

bool MainWindow::isCounting() const
{
    return m_countingCommand->isCounting();
}

void MainWindow::clearResultRows()
{
    m_resultRows->clear();
}

// ------------------------------------------------------------- shutdown

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_countingCommand->stopForClose();
    m_fileCommands->stopScans();
    m_resultsCommands->stopSaves();
    m_wordCommands->saveWords();
    keepPlacement();
    event->accept();
}

} // namespace brinmoor::app
