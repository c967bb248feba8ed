#include "MainWindow.h"

#include "ApplicationTitle.h"
#include "CaptionProgressBar.h"
#include "CursorFile.h"
#include "ErrorReporter.h"
#include "FileListCommands.h"
#include "Paths.h"
#include "Procedure.h"
#include "ResultsCommands.h"

#include "CountRun.h"
#include "FileListView.h"
#include "SampleSet.h"
#include "SettingsStore.h"
#include "SharedOptions.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace brinmoor::app {

namespace {

// The design geometry is in twips: 15 to a pixel at 96 dpi.
constexpr int ClientWidth = 1064;
constexpr int ClientHeight = 386;
constexpr int ColumnWidth = 520;
constexpr int ButtonHeight = 27;
constexpr int ListColumnWidth = 467;   // 7000 twips

const QString Tooltip1 = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");
const QString Tooltip2 = QStringLiteral(
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.");

// The read step of a run: where the engine's per-file failures belong.
constexpr int RunReadStep = 108;

QFont controlFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setWeight(QFont::Bold);
    return font;
}

QFont buttonFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setWeight(QFont::Bold);
    return font;
}

void setBackColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    // Buttons (check boxes and option buttons too) fill with the button
    // colour by default; the back colour is the window colour.
    widget->setBackgroundRole(QPalette::Window);
    widget->setAutoFillBackground(true);
}

QTreeView *makeList(const char *name, filelist::TextListModel *model, const QString &tooltip,
                    int designHeight, QWidget *parent, QTreeView *view = nullptr)
{
    if (!view)
        view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);   // keeps a million rows cheap to lay out
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAllColumnsShowFocus(true);
    view->header()->setStretchLastSection(false);
    view->setToolTip(tooltip);
    view->setMinimumSize(ColumnWidth, designHeight);
    view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    return view;
}

// A row of two buttons filling a column, 8 pixels apart.
QHBoxLayout *buttonRow(QPushButton *left, QPushButton *right)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(left, 1);
    row->addWidget(right, 1);
    return row;
}

} // namespace

MainWindow::MainWindow(WindowServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_reporter(std::make_unique<ErrorReporter>(*m_services.dialogs))
    , m_options(std::make_shared<counting::SharedOptions>())
    , m_appTitle(QString::fromLatin1(ProductTitle))
    , m_handCursor(Qt::PointingHandCursor)
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    m_fileCommands = new FileListCommands(*this, *static_cast<filelist::FileListView *>(m_fileView),
                                          m_services.fileDialogs, m_services.openUrl);
    ResultsServices results = m_services.results;
    if (!results.fileDialogs)
        results.fileDialogs = m_services.fileDialogs;
    m_resultsCommands = new ResultsCommands(*this, std::move(results));

    m_rowFlush = new QTimer(this);
    m_rowFlush->setSingleShot(true);
    m_rowFlush->setInterval(50);
    connect(m_rowFlush, &QTimer::timeout, this, &MainWindow::flushPendingRows);

    connect(m_wordModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::modelReset, this, &MainWindow::updateCountOptions);
    connect(m_check3, &QCheckBox::toggled, this, &MainWindow::updateCountOptions);
}

MainWindow::~MainWindow()
{
    // The run's workers must stop before the lists they report into go.
    delete m_run;
    m_run = nullptr;
    // So do the folder scans, whose busy leases must find m_busy alive.
    delete m_fileCommands;
    m_fileCommands = nullptr;
    delete m_resultsCommands;
    m_resultsCommands = nullptr;
}

void MainWindow::buildControls()
{
    setFont(controlFont());
    setCursor(Qt::ArrowCursor);

    m_fileModel = new filelist::TextListModel(false, this);
    m_wordModel = new filelist::TextListModel(false, this);
    m_resultModel = new filelist::TextListModel(true, this);

    auto button = [this](const char *name, const char *text, bool hand = true) {
        auto *b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont());
        b->setFixedHeight(ButtonHeight);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        if (hand)
            m_handButtons.append(b);
        return b;
    };

    auto *fileListView = new filelist::FileListView(this);
    m_fileView = makeList("ListView1", m_fileModel, Tooltip1, 107, this, fileListView);
    fileListView->setFileList(m_fileModel);
    auto *pushButton5 = button("PushButton5", "Add All File(s) In Folder");
    auto *pushButton1 = button("PushButton1", "Add File(s)");
    auto *pushButton12 = button("PushButton12", "Start Counting");
    auto *pushButton6 = button("PushButton6", "Save Counted As List", false);
    auto *pushButton4 = button("PushButton4", "Save Ignored As List", false);
    m_progress = new CaptionProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setCaption(QStringLiteral("Progress Bar"));
    m_progress->setFixedHeight(ButtonHeight);
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto *pushButton3 = button("PushButton3", "Clear List");
    m_resultView = makeList("ListView3", m_resultModel, Tooltip2, 111, this);
    auto *pushButton11 = button("PushButton11", "Load Sample/Example Files");
    auto *pushButton9 = button("PushButton9", "Save Results As Text File");
    auto *pushButton10 = button("PushButton10", "Save Results As Excel File");
    auto *pushButton14 = button("PushButton14", "Clear List");
    auto *pushButton18 = button("PushButton18", "Copy Results To Clipboard");
    m_wordView = makeList("ListView2", m_wordModel, Tooltip2, 121, this);
    auto *pushButton2 = button("PushButton2", "Add One Entry");
    auto *pushButton7 = button("PushButton7", "Delete Selected Entry");
    auto *pushButton8 = button("PushButton8", "Clear List");
    auto *pushButton13 = button("PushButton13", "Load Sample/Example Files");

    // The two buttons without an action lie below the client area at design
    // time and are never seen.
    pushButton6->hide();
    pushButton4->hide();

    // The option frames keep their small design layout; only the lists grow.
    const QColor white(Qt::white);
    m_blankFrame = new QGroupBox(QStringLiteral("Blank Line Options"), this);
    m_blankFrame->setObjectName(QStringLiteral("Frame4"));
    m_blankFrame->setFixedHeight(47);
    m_blankFrame->setMinimumWidth(ColumnWidth);
    m_blankFrame->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setBackColour(m_blankFrame, white);
    m_check3 = new QCheckBox(QStringLiteral("Exclude blank lines"), m_blankFrame);
    m_check3->setObjectName(QStringLiteral("Check3"));
    m_check3->setGeometry(16, 20, 163, 16);
    setBackColour(m_check3, white);

    m_modeFrame = new QGroupBox(QStringLiteral("Count Options"), this);
    m_modeFrame->setObjectName(QStringLiteral("Frame2"));
    m_modeFrame->setFixedHeight(67);
    m_modeFrame->setMinimumWidth(ColumnWidth);
    m_modeFrame->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setBackColour(m_modeFrame, white);
    m_option2 = new QRadioButton(QStringLiteral("Give separate counts for each file"), m_modeFrame);
    m_option2->setObjectName(QStringLiteral("Option2"));
    m_option2->setGeometry(16, 40, 217, 17);
    setBackColour(m_option2, white);
    m_option1 = new QRadioButton(QStringLiteral("Give one count for all files"), m_modeFrame);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option1->setGeometry(16, 20, 177, 17);
    setBackColour(m_option1, white);
    m_option1->setChecked(true);

    auto *left = new QVBoxLayout;
    left->setContentsMargins(0, 8, 0, 8);
    left->setSpacing(0);
    left->addWidget(m_fileView, 107);
    left->addSpacing(7);
    left->addLayout(buttonRow(pushButton1, pushButton5));
    left->addSpacing(7);
    left->addLayout(buttonRow(pushButton3, pushButton11));
    left->addSpacing(7);
    left->addWidget(m_wordView, 121);
    left->addSpacing(6);
    left->addLayout(buttonRow(pushButton2, pushButton7));
    left->addSpacing(7);
    left->addLayout(buttonRow(pushButton8, pushButton13));

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 6, 0, 8);
    right->setSpacing(0);
    right->addWidget(m_blankFrame);
    right->addSpacing(5);
    right->addWidget(m_modeFrame);
    right->addSpacing(8);
    right->addWidget(pushButton12);
    right->addSpacing(6);
    right->addWidget(m_resultView, 1);
    right->addSpacing(6);
    right->addLayout(buttonRow(pushButton9, pushButton10));
    right->addSpacing(7);
    right->addLayout(buttonRow(pushButton18, pushButton14));
    right->addSpacing(7);
    right->addWidget(m_progress);

    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 0, 8, 0);
    columns->setSpacing(8);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    resize(ClientWidth, ClientHeight);

    const QList<QWidget *> tabOrder = {
        m_fileView,   pushButton5,  pushButton1,  pushButton12, pushButton6,  pushButton4,
        m_option1,    m_option2,    pushButton3,  m_check3,     m_resultView, pushButton11,
        pushButton9,  pushButton10, pushButton14, pushButton18, m_wordView,   pushButton2,
        pushButton7,  pushButton8,  pushButton13,
    };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Hover pointers: a pointer per control; the busy pointer overrides them.
    setHandCursor(m_handCursor);
    for (QWidget *w : {static_cast<QWidget *>(m_blankFrame), static_cast<QWidget *>(m_modeFrame),
                       m_wordView->viewport(), m_resultView->viewport()})
        w->setCursor(Qt::ArrowCursor);

    connect(pushButton12, &QPushButton::clicked, this, &MainWindow::startCounting);
    connect(pushButton2, &QPushButton::clicked, this, &MainWindow::addOneEntry);
    connect(pushButton7, &QPushButton::clicked, this, &MainWindow::deleteSelectedEntry);
    connect(pushButton8, &QPushButton::clicked, this, &MainWindow::clearWords);
    connect(pushButton13, &QPushButton::clicked, this, &MainWindow::loadSampleWords);
    connect(m_check3, &QCheckBox::clicked, this, &MainWindow::blankOptionClicked);
    connect(m_option1, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
    connect(m_option2, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
    m_wordView->installEventFilter(this);
    m_wordView->viewport()->installEventFilter(this);
}

void MainWindow::setHandCursor(const QCursor &cursor)
{
    m_handCursor = cursor;
    for (QPushButton *b : std::as_const(m_handButtons))
        b->setCursor(cursor);
    m_check3->setCursor(cursor);
}

QString MainWindow::besideProgram(const char *name) const
{
    return brinmoor::besideProgram(QLatin1String(name), m_services.programFolder);
}

QPushButton *MainWindow::button(const char *designerName) const
{
    return findChild<QPushButton *>(QLatin1String(designerName), Qt::FindDirectChildrenOnly);
}

void MainWindow::tell(const QString &text)
{
    m_services.dialogs->message(m_appTitle, text, MessageButtons::Ok, MessageIcon::None);
}

// ---------------------------------------------------------------- start-up

void MainWindow::startUp()
{
    Procedure p(*m_reporter, location::FormLoad);
    SettingsStore &settings = *m_services.settings;

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

    p.run(126, [&] {
        setWindowTitle(QString::fromLatin1(ProductTitle));
        setWindowIcon(QIcon(QStringLiteral(":/brinmoor/icon.png")));
        m_appTitle = app::applicationTitle(QString::fromLatin1(ProductTitle));
    });

    const auto addColumn = [](QTreeView *view, filelist::TextListModel *model, const QString &header) {
        model->setHeader(header);
        view->header()->resizeSection(0, ListColumnWidth);
    };
    p.run(128, [&] { addColumn(m_fileView, m_fileModel, QStringLiteral("File(s)")); });
    p.run(132, [&] { addColumn(m_resultView, m_resultModel, QStringLiteral(" Results")); });
    p.run(136, [&] {
        addColumn(m_wordView, m_wordModel, QStringLiteral("Exclude lines that contain these word(s)"));
    });

    QString words;
    p.run(140, [&] { words = settings.read(QLatin1String(settings::ExcludeWords), QString()); });
    p.run(142, [&] {
        const QString stored = settings.read(QLatin1String(settings::ExcludeBlank), QStringLiteral("0"));
        m_check3->setChecked(numberFromText(stored) != 0);
    });
    p.run(144, [&] { m_wordModel->clear(); });
    p.run(146, [&] {
        if (!words.isEmpty())
            m_wordModel->append(words.split(QLatin1Char(',')));
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
    p.run(156, [&] { restoreOption(m_option1, settings::Option1, "1"); });
    p.run(158, [&] { restoreOption(m_option2, settings::Option2, "0"); });
    // Both stored as true: the later one wins, as with any exclusive pair.
    if (m_option1->isChecked() && m_option2->isChecked())
        m_option1->setChecked(false);

    updateCountOptions();
}

// ------------------------------------------------------- options and words

void MainWindow::writeSetting(const char *key, const QString &value)
{
    // These handlers carry no error report: a value that cannot be stored
    // leaves the control as the user set it.
    m_services.settings->write(QLatin1String(key), value);
}

void MainWindow::blankOptionClicked()
{
    writeSetting(settings::ExcludeBlank, m_check3->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::countModeClicked()
{
    m_resultModel->clear();
    m_pendingRows.clear();
    writeSetting(settings::Option1, truthText(m_option1->isChecked()));
    writeSetting(settings::Option2, truthText(m_option2->isChecked()));
}

void MainWindow::updateCountOptions()
{
    // A running count picks these up from its next read block on.
    m_options->set(counting::CountOptions{
        .excludeBlank = m_check3->isChecked(),
        .excludeWords = m_wordModel->texts(),
    });
}

bool MainWindow::ExcludeWordExists(const QString &text) const
{
    return m_wordModel->contains(text);
}

void MainWindow::addOneEntry()
{
    Procedure p(*m_reporter, location::AddOneEntry);
    std::optional<QString> answer;
    p.run(100, [&] { answer = m_services.dialogs->input(QStringLiteral("Enter word:"), m_appTitle, QString()); });
    if (!answer || answer->isEmpty())
        return;
    bool exists = false;
    p.run(102, [&] { exists = ExcludeWordExists(*answer); });
    if (exists)
        return;
    p.run(104, [&] { m_wordModel->add(*answer); });
}

void MainWindow::removeSelectedWord(bool reportMissingSelection)
{
    if (m_busy.isBusy() || m_wordModel->count() == 0)
        return;
    const QModelIndexList selected = m_wordView->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        if (reportMissingSelection)
            failStep(QStringLiteral("No entry is selected."));
        return;
    }
    m_wordModel->removeAt(selected.first().row());
}

void MainWindow::deleteSelectedEntry()
{
    Procedure p(*m_reporter, location::DeleteSelectedEntry);
    p.run(100, [&] { removeSelectedWord(true); });
}

void MainWindow::clearWords()
{
    Procedure p(*m_reporter, location::ClearWords);
    p.run(100, [&] { m_wordModel->clear(); });
}

void MainWindow::loadSampleWords()
{
    Procedure p(*m_reporter, location::LoadSampleWords);
    p.run(100, [&] {
        m_wordModel->append({QStringLiteral("storm"), QStringLiteral("1"), QStringLiteral("2")});
    });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_wordView && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        removeSelectedWord(false);
        return true;
    }
    if (watched == m_wordView->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The view selects the row under the pointer first; remove after it.
        QTimer::singleShot(0, this, [this] { removeSelectedWord(false); });
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------- the run

void MainWindow::startCounting()
{
    if (m_counting)
        return;
    m_counting = true;
    Procedure p(*m_reporter, location::StartCounting);

    bool empty = false;
    p.run(100, [&] { empty = m_fileModel->count() == 0; });
    if (empty) {
        p.run(102, [&] { tell(QStringLiteral("No files added.")); });
        m_counting = false;
        return;
    }
    p.run(104, [&] {
        m_resultModel->clear();
        m_pendingRows.clear();
    });

    counting::CountMode mode = counting::CountMode::None;
    p.run(106, [&] {
        if (m_option1->isChecked())
            mode = counting::CountMode::OneTotal;
        else if (m_option2->isChecked())
            mode = counting::CountMode::Separate;
    });
    if (mode == counting::CountMode::None) {
        endRun(true);
        return;
    }

    const bool started = p.run(RunReadStep, [&] {
        m_runBusy = m_busy.acquire();
        m_run = new counting::CountRun(m_fileModel->texts(), mode, m_options, this);
        m_run->setJobs(m_services.countJobs);
        m_run->setLowPriorityWorkers(true);
        connect(m_run, &counting::CountRun::rowReady, this, [this](const QString &row) {
            m_pendingRows.append(row);
            if (!m_rowFlush->isActive())
                m_rowFlush->start();
        });
        connect(m_run, &counting::CountRun::progress, this,
                [this](int index, int, const QString &path, quint64 lineIndex) {
                    showProgress(index, path, lineIndex);
                });
        connect(m_run, &counting::CountRun::fileFailed, this,
                [this](int, const QString &, const QString &description) {
                    m_reporter->report(Failure{description, QString::fromLatin1(location::StartCounting),
                                               RunReadStep});
                });
        connect(m_run, &counting::CountRun::finished, this, &MainWindow::runFinished);
        m_run->start();
    });
    if (!started) {
        delete m_run;
        m_run = nullptr;
        endRun(true);
    }
}

void MainWindow::clearResultRows()
{
    m_resultModel->clear();
    m_pendingRows.clear();
}

void MainWindow::flushPendingRows()
{
    m_rowFlush->stop();
    // Rows arrive per file; appending them in batches keeps a long run from
    // relaying out the results list for every single one.
    m_resultModel->append(std::exchange(m_pendingRows, {}), true);
}

void MainWindow::showProgress(int index, const QString &path, quint64 lineIndex)
{
    if (!m_run)
        return;
    const int rows = qMax(1, m_fileModel->count());
    m_progress->setValue(qBound(0, int((qint64(index) + 1) * 100 / rows), 100));
    QString caption = QStringLiteral("Processing: ") + GetFileNameFromPath(path);
    if (lineIndex > 0)
        caption += QStringLiteral(" (") + QString::number(lineIndex) + QLatin1Char(')');
    m_progress->setCaption(caption);
}

void MainWindow::runFinished(bool cancelled)
{
    if (!m_run || sender() != m_run)
        return;
    flushPendingRows();
    m_run->deleteLater();
    m_run = nullptr;
    // Reports of the last files may still be open; "Done." comes after them.
    m_reporter->whenIdle([this, cancelled] { endRun(!cancelled && !m_closing); });
}

void MainWindow::endRun(bool showDone)
{
    Procedure p(*m_reporter, location::StartCounting);
    p.run(110, [&] { m_runBusy.reset(); });
    p.run(112, [&] { m_progress->setValue(0); });
    p.run(114, [&] { m_progress->setCaption(QStringLiteral("Progress Bar")); });
    if (showDone)
        p.run(116, [&] { tell(QStringLiteral("Done.")); });
    p.run(118, [&] { m_counting = false; });
    emit countingFinished();
}

// ------------------------------------------------------------- shutdown

void MainWindow::saveWords()
{
    Procedure p(*m_reporter, location::FormQueryUnload);
    QString text;
    p.run(100, [&] {
        for (const QString &word : m_wordModel->texts())
            text += word + QLatin1Char(',');
    });
    p.run(108, [&] {
        if (!text.isEmpty())
            text.chop(1);
    });
    p.run(112, [&] {
        const QString problem = m_services.settings->write(QLatin1String(settings::ExcludeWords), text);
        if (!problem.isEmpty())
            failStep(problem);
    });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_closing = true;
    if (m_run) {
        // Stop the workers before anything else; the destructor waits.
        m_run->disconnect(this);
        delete m_run;
        m_run = nullptr;
        m_pendingRows.clear();
        endRun(false);
    }
    m_fileCommands->stopScans();
    saveWords();
    event->accept();
}

} // namespace brinmoor::app
