#include "MainWindow.h"

#include "ApplicationTitle.h"
#include "CaptionProgressBar.h"
#include "CountingCommand.h"
#include "CursorFile.h"
#include "ErrorReporter.h"
#include "FileListCommands.h"
#include "FrameExtents.h"
#include "Paths.h"
#include "Procedure.h"
#include "ContextMenuCommands.h"
#include "ResultsCommands.h"
#include "SummaryCommands.h"
#include "ResultsOrder.h"
#include "WindowPlacement.h"
#include "WordListCommands.h"

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
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace brinmoor::app {

namespace {

// The design geometry is in twips: 15 to a pixel at 96 dpi.
constexpr int ClientWidth = 1064;
constexpr int ClientHeight = 386;
constexpr int ButtonHeight = 27;
// The window shrinks to 60 % of the design size; each column keeps its
// share of the width, the lists give up their rows down to about two, and
// a column whose controls no longer fit scrolls.
constexpr int MinColumnWidth = (ClientWidth * 6 / 10 - 3 * 8) / 2;
constexpr int MinClientHeight = ClientHeight * 6 / 10;
constexpr int MinListHeight = 40;
// How long after showing the window is kept inside the available area
// whatever moves or sizes it (the window manager taking it on).
constexpr int SettleMilliseconds = 3000;
// The progress row under the right column: spacing, bar, bottom margin.
constexpr int ProgressRowHeight = 7 + ButtonHeight + 8;

const QString Tooltip1 = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");
const QString Tooltip2 = QStringLiteral(
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.");

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

QTreeView *makeList(const char *name, TextListModel *model, const QString &tooltip, QWidget *parent,
                    QTreeView *view = nullptr)
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
    // The one column follows the view; a long path loses its middle, so
    // that files in one deep folder still differ by name. The row's tooltip
    // holds it whole; the hint tooltip shows where no row is.
    view->header()->setStretchLastSection(true);
    view->setTextElideMode(Qt::ElideMiddle);
    view->setToolTip(tooltip);
    view->setMinimumHeight(MinListHeight);
    view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    return view;
}

// One column of the window: its controls scroll when the window is too
// short for them all; it never scrolls sideways (its button rows wrap
// instead). It shows the window's back colour.
QScrollArea *makeColumn(const char *name, QVBoxLayout *layout, int minHeight, QWidget *parent)
{
    auto *content = new QWidget;
    content->setObjectName(QLatin1String(name) + QLatin1String("Content"));
    content->setLayout(layout);
    auto *column = new QScrollArea(parent);
    column->setObjectName(QLatin1String(name));
    column->setFrameShape(QFrame::NoFrame);
    column->setFocusPolicy(Qt::NoFocus);
    column->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->setWidgetResizable(true);
    column->setWidget(content);
    column->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    column->setMinimumSize(MinColumnWidth, minHeight);
    column->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    return column;
}

// An empty list has no row to carry the focus rectangle, so a list that
// takes the keyboard with nothing in it is framed instead. Lies over the
// list's viewport and lets the mouse through.
class EmptyListFocusMark final : public QWidget
{
public:
    explicit EmptyListFocusMark(QAbstractItemView *view)
        : QWidget(view->viewport())
        , m_view(view)
    {
        setObjectName(view->objectName() + QStringLiteral("FocusMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        QAbstractItemModel *model = view->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, &EmptyListFocusMark::refresh);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &EmptyListFocusMark::refresh);
        connect(model, &QAbstractItemModel::modelReset, this, &EmptyListFocusMark::refresh);
        refresh();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::FocusIn || type == QEvent::FocusOut
            || (watched == m_view->viewport() && type == QEvent::Resize))
            refresh();
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

private:
    void refresh()
    {
        setGeometry(m_view->viewport()->rect());
        setVisible(m_view->hasFocus() && m_view->model()->rowCount() == 0);
    }

    QAbstractItemView *m_view;
};

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
    m_wordCommands = new WordListCommands(*this, *m_wordView);
    m_resultsOrder = new ResultsOrder(*m_resultModel, *m_resultView, this);
    m_countingCommand = new CountingCommand(*this, m_options, m_services.countJobs);
    connect(m_countingCommand, &CountingCommand::finished, this, &MainWindow::countingFinished);
    m_summaryCommands = new SummaryCommands(*this);
    m_contextMenuCommands = new ContextMenuCommands(*this, *m_summaryCommands);

    // Stop by button or Esc. The control follows the busy state; it looks a
    // turn of the event loop later, once a starting scan runs.
    connect(m_stop, &QPushButton::clicked, this, &MainWindow::stopWork);
    auto *escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, &MainWindow::stopWork);
    connect(&m_busy, &BusyState::busyChanged, this, [this] {
        QMetaObject::invokeMethod(this, &MainWindow::updateStopControl, Qt::QueuedConnection);
    });
    connect(m_countingCommand, &CountingCommand::finished, this, &MainWindow::updateStopControl);

    connect(m_wordModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateCountOptions);
    connect(m_wordModel, &QAbstractItemModel::modelReset, this, &MainWindow::updateCountOptions);
    connect(m_check3, &QCheckBox::toggled, this, &MainWindow::updateCountOptions);
}

MainWindow::~MainWindow()
{
    // The run's workers must stop before the lists they report into go.
    delete m_countingCommand;
    m_countingCommand = nullptr;
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

    m_fileModel = new TextListModel(false, this);
    m_wordModel = new TextListModel(false, this);
    m_resultModel = new TextListModel(true, this);

    auto button = [this](const char *name, const char *text, bool hand = true) {
        auto *b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont());
        b->setFixedHeight(ButtonHeight);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        // Never narrower than its caption.
        b->setMinimumWidth(b->sizeHint().width());
        if (hand)
            m_handButtons.append(b);
        return b;
    };

    auto *fileListView = new filelist::FileListView(this);
    m_fileView = makeList("ListView1", m_fileModel, Tooltip1, this, fileListView);
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
    m_resultView = makeList("ListView3", m_resultModel, Tooltip2, this);
    auto *pushButton11 = button("PushButton11", "Load Sample/Example Files");
    auto *pushButton9 = button("PushButton9", "Save Results As Text File");
    auto *pushButton10 = button("PushButton10", "Save Results As Excel File");
    auto *pushButton14 = button("PushButton14", "Clear List");
    auto *pushButton18 = button("PushButton18", "Copy Results To Clipboard");
    m_wordView = makeList("ListView2", m_wordModel, Tooltip2, this);
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
    m_blankFrame->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setBackColour(m_blankFrame, white);
    m_check3 = new QCheckBox(QStringLiteral("Exclude blank lines"), m_blankFrame);
    m_check3->setObjectName(QStringLiteral("Check3"));
    m_check3->setGeometry(16, 20, 163, 16);
    setBackColour(m_check3, white);

    m_modeFrame = new QGroupBox(QStringLiteral("Count Options"), this);
    m_modeFrame->setObjectName(QStringLiteral("Frame2"));
    m_modeFrame->setFixedHeight(67);
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
    // The design widths suit the design font; another one (where the design
    // font is missing) may need more to show the whole caption.
    for (QAbstractButton *option : std::initializer_list<QAbstractButton *>{m_check3, m_option1, m_option2})
        option->resize(qMax(option->width(), option->sizeHint().width()), option->height());

    struct PendingRow
    {
        QBoxLayout *layout;
        bool left;
        QPushButton *first;
        QPushButton *second;
    };
    QList<PendingRow> rows;
    // A row of two buttons filling a column, 8 pixels apart.
    auto buttonRow = [&rows](bool left, QPushButton *first, QPushButton *second) {
        auto *row = new QBoxLayout(QBoxLayout::LeftToRight);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(first, 1);
        row->addWidget(second, 1);
        rows.append({row, left, first, second});
        return row;
    };

    auto *left = new QVBoxLayout;
    left->setContentsMargins(0, 8, 0, 8);
    left->setSpacing(0);
    left->addWidget(m_fileView, 107);
    left->addSpacing(7);
    left->addLayout(buttonRow(true, pushButton1, pushButton5));
    left->addSpacing(7);
    left->addLayout(buttonRow(true, pushButton3, pushButton11));
    left->addSpacing(7);
    left->addWidget(m_wordView, 121);
    left->addSpacing(6);
    left->addLayout(buttonRow(true, pushButton2, pushButton7));
    left->addSpacing(7);
    left->addLayout(buttonRow(true, pushButton8, pushButton13));

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 6, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_blankFrame);
    right->addSpacing(5);
    right->addWidget(m_modeFrame);
    right->addSpacing(8);
    right->addWidget(pushButton12);
    right->addSpacing(6);
    right->addWidget(m_resultView, 1);
    right->addSpacing(6);
    right->addLayout(buttonRow(false, pushButton9, pushButton10));
    right->addSpacing(7);
    right->addLayout(buttonRow(false, pushButton18, pushButton14));
    // The stop control sits beside the progress bar while a run or a folder
    // scan works.
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("StopButton"));
    m_stop->setToolTip(QStringLiteral("Stop counting, adding files or saving (Esc)"));
    m_stop->setFixedHeight(ButtonHeight);
    m_stop->hide();
    auto *progressRow = new QHBoxLayout;
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_stop);

    m_leftColumn = makeColumn("LeftColumn", left, MinClientHeight, this);
    m_rightColumn = makeColumn("RightColumn", right, MinClientHeight - ProgressRowHeight, this);
    for (const PendingRow &row : std::as_const(rows))
        m_buttonRows.append({row.layout, row.left ? m_leftColumn : m_rightColumn, row.first, row.second});
    for (QScrollArea *column : {m_leftColumn, m_rightColumn})
        column->viewport()->installEventFilter(this);
    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 0, 8, 0);
    columns->setSpacing(8);
    columns->addWidget(m_leftColumn, 1);
    // The progress bar and Stop lie below the scrolling part of their
    // column: however short the window, a run stays visible and stoppable.
    auto *rightSide = new QVBoxLayout;
    rightSide->setContentsMargins(0, 0, 0, 8);
    rightSide->setSpacing(7);
    rightSide->addWidget(m_rightColumn, 1);
    rightSide->addLayout(progressRow);
    columns->addLayout(rightSide, 1);
    resize(ClientWidth, ClientHeight);

    const QList<QWidget *> tabOrder = {
        m_fileView,   pushButton5,  pushButton1,  pushButton12, pushButton6,  pushButton4,
        m_option1,    m_option2,    pushButton3,  m_check3,     m_resultView, pushButton11,
        pushButton9,  pushButton10, pushButton14, pushButton18, m_wordView,   pushButton2,
        pushButton7,  pushButton8,  pushButton13,
    };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    for (QTreeView *list : {m_fileView, m_wordView, m_resultView})
        new EmptyListFocusMark(list);

    // Keys for the commands used most, named in their buttons' tooltips.
    const auto keys = [this](QPushButton *b, const QList<QKeySequence> &named, const QList<QKeySequence> &also = {}) {
        QStringList names;
        for (const QKeySequence &key : named + also) {
            auto *shortcut = new QShortcut(key, this);
            connect(shortcut, &QShortcut::activated, b, &QPushButton::click);
        }
        for (const QKeySequence &key : named)
            names.append(key.toString(QKeySequence::NativeText));
        b->setToolTip(b->text() + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')'));
    };
    keys(pushButton12, {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::Key_F5)},
         {QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    keys(pushButton1, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    keys(pushButton9, {QKeySequence(Qt::CTRL | Qt::Key_S)});
    keys(pushButton18, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)});

    // Hover pointers: a pointer per control; the busy pointer overrides them.
    setHandCursor(m_handCursor);
    for (QWidget *w : {static_cast<QWidget *>(m_blankFrame), static_cast<QWidget *>(m_modeFrame),
                       m_wordView->viewport(), m_resultView->viewport()})
        w->setCursor(Qt::ArrowCursor);

    connect(m_check3, &QCheckBox::clicked, this, &MainWindow::blankOptionClicked);
    connect(m_option1, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
    connect(m_option2, &QRadioButton::clicked, this, &MainWindow::countModeClicked);
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
    return findChild<QPushButton *>(QLatin1String(designerName));
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

    // The columns stretch with their lists (see makeList).
    p.run(128, [&] { m_fileModel->setHeader(QStringLiteral("File(s)")); });
    p.run(132, [&] { m_resultModel->setHeader(QStringLiteral(" Results")); });
    p.run(136, [&] { m_wordModel->setHeader(QStringLiteral("Exclude lines that contain these word(s)")); });

    QString words;
    p.run(140, [&] { words = m_wordCommands->readStoredWords(); });
    p.run(142, [&] {
        const QString stored = settings.read(QLatin1String(settings::ExcludeBlank), QStringLiteral("0"));
        m_check3->setChecked(numberFromText(stored) != 0);
    });
    p.run(144, [&] { m_wordModel->clear(); });
    p.run(146, [&] { m_wordCommands->restoreWords(words); });

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
    writeSetting(settings::ExcludeBlank, m_check3->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::countModeClicked()
{
    clearResultRows();
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

// ------------------------------------------------------------- the run

counting::CountMode MainWindow::countMode() const
{
    if (m_option1->isChecked())
        return counting::CountMode::OneTotal;
    if (m_option2->isChecked())
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
    m_stop->setVisible(m_busy.isBusy()
                       && (isCounting() || m_fileCommands->runningScans() > 0 || m_resultsCommands->runningSaves() > 0));
}

bool MainWindow::isCounting() const
{
    return m_countingCommand->isCounting();
}

void MainWindow::clearResultRows()
{
    m_countingCommand->clearResultRows();
}

// ------------------------------------------------------------- shutdown

void MainWindow::showEvent(QShowEvent *event)
{
    // Before the window is mapped, so that it maps where it belongs.
    if (!m_placed) {
        m_placed = true;
        m_shownFor.start();
        placeOnScreen();
        // The frame's extents arrive as a property of the window, which no
        // event reports; they are looked at while the window settles.
        auto *settle = new QTimer(this);
        connect(settle, &QTimer::timeout, this, [this, settle] {
            keepFrameOnScreen();
            if (m_shownFor.elapsed() >= SettleMilliseconds)
                settle->deleteLater();
        });
        settle->start(100);
        if (QWindow *native = windowHandle())
            native->installEventFilter(this);
    }
    QWidget::showEvent(event);
}

QRect MainWindow::usableArea(const QScreen &shownOn) const
{
    // At a fractional scale the logical area's edges and the window's round
    // to device pixels independently: a pixel less on each side absorbs it.
    const QRect available = shownOn.availableGeometry();
    const qreal ratio = devicePixelRatioF();
    return qFuzzyCompare(ratio, std::round(ratio)) ? available : available.adjusted(1, 1, -1, -1);
}

QMargins MainWindow::knownFrame() const
{
    const QWindow *native = windowHandle();
    if (!native)
        return {};
    const qreal ratio = native->devicePixelRatio();
    if (const std::optional<QMargins> extents = publishedFrameExtents(*native)) {
        // Rounded up, so that a scaled frame's last device pixel fits too.
        const auto logical = [ratio](int pixels) { return int(std::ceil(pixels / ratio)); };
        return QMargins(logical(extents->left()), logical(extents->top()), logical(extents->right()),
                        logical(extents->bottom()));
    }
    // Not framed yet: a window as big as the free area when it maps may be
    // maximised by the window manager, so room is left for a usual frame.
    if (native->frameMargins().isNull() && windowManagerRunning()) {
        const auto logical = [ratio](int pixels) { return int(std::ceil(pixels / ratio)); };
        return QMargins(logical(4), logical(32), logical(4), logical(8));
    }
    // On a scaled screen Qt's rounding may lose up to half a pixel a side
    // of a frame; a window without one loses nothing.
    QMargins frame = native->frameMargins();
    if (!frame.isNull() && !qFuzzyCompare(ratio, 1.0))
        frame += QMargins(1, 1, 1, 1);
    return frame;
}

void MainWindow::placeOnScreen()
{
    // The design size is in logical pixels, which the screen's scale factor
    // already enlarges; on a screen too small for it the window shrinks to
    // the available area (never below what its controls need). The frame
    // is often unknown until the window manager has framed the window;
    // keepFrameOnScreen() places it again then.
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const QMargins frame = knownFrame();
    m_placedFrame = frame;
    const QSize minimum = minimumSizeHint().expandedTo(minimumSize());
    const SettingsStore &settings = *m_services.settings;

    QList<QRect> areas;
    for (const QScreen *each : QGuiApplication::screens())
        areas.append(each->availableGeometry());
    const std::optional<QRect> kept =
        placementFromText(settings.read(QLatin1String(settings::WindowPlacement), QString()));
    if (const std::optional<QRect> area = kept ? restorableArea(*kept, areas, frame, minimum) : std::nullopt) {
        m_wantedSize = area->size();
        setGeometry(*area);
    } else {
        // A new window opens at its design size in the middle of the screen.
        const QRect available = usableArea(*shownOn);
        QRect framed(QPoint(), QSize(ClientWidth + frame.left() + frame.right(),
                                     ClientHeight + frame.top() + frame.bottom()));
        framed.moveCenter(available.center());
        m_wantedSize = QSize(ClientWidth, ClientHeight);
        setGeometry(placeInside(available, frame, framed.marginsRemoved(frame), minimum));
    }
    const QString maximised = settings.read(QLatin1String(settings::WindowMaximized), QString());
    if (truthFromText(maximised).value_or(false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::keepFrameOnScreen()
{
    // The frame's extents change when the window manager frames the window
    // (or changes its decoration); the whole frame, title bar included,
    // goes back inside the available area then. A window the user moved
    // stays where it is until that happens.
    // While the window manager takes the window on, it may also apply a
    // size or place it read before the window was placed; a short while
    // after showing, the window goes back inside whatever the cause.
    const QMargins frame = knownFrame();
    const bool settling = m_shownFor.isValid() && m_shownFor.elapsed() < SettleMilliseconds;
    if ((frame == m_placedFrame && !settling) || !screen()
        || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    m_placedFrame = frame;
    QRect client = geometry();
    // The size first asked for, not one a frame-less guess shrank.
    if (m_wantedSize.isValid())
        client.setSize(m_wantedSize);
    m_wantedSize = QSize();
    const QRect placed = placeInside(usableArea(*screen()), frame, client,
                                     minimumSizeHint().expandedTo(minimumSize()));
    if (placed != geometry())
        setGeometry(placed);
}

void MainWindow::keepPlacement()
{
    if (!m_placed)
        return;
    // After the words: a store that cannot be written tells the user once,
    // and that once belongs to the words. A position is not worth a box.
    SettingsStore &settings = *m_services.settings;
    settings.write(QLatin1String(settings::WindowPlacement), placementText(normalGeometry()));
    settings.write(QLatin1String(settings::WindowMaximized), truthText(isMaximized()));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle()
        && (event->type() == QEvent::Expose || event->type() == QEvent::Move || event->type() == QEvent::Resize))
        keepFrameOnScreen();
    if (event->type() == QEvent::Resize) {
        for (const QScrollArea *column : {m_leftColumn, m_rightColumn}) {
            if (column && watched == column->viewport())
                wrapButtonRows(column);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::wrapButtonRows(const QScrollArea *column)
{
    // Decided by the width the column shows, not by what the rows ask for,
    // so a narrower window wraps its rows rather than refusing to shrink.
    const int width = column->viewport()->width();
    for (const ButtonRow &row : std::as_const(m_buttonRows)) {
        if (row.column != column)
            continue;
        const int sideBySide = row.first->minimumWidth() + row.layout->spacing() + row.second->minimumWidth();
        const auto direction = width >= sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
        if (row.layout->direction() != direction)
            row.layout->setDirection(direction);
    }
}

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
