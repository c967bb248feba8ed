#include "WindowControls.h"

#include "CaptionProgressBar.h"
#include "EmptyListFocusMark.h"

#include "FileListView.h"
#include "TextListModel.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

namespace brinmoor::app {

namespace {

// The design geometry is in twips: 15 to a pixel at 96 dpi.
constexpr int ClientWidth = WindowControls::DesignWidth;
constexpr int ClientHeight = WindowControls::DesignHeight;
constexpr int ButtonHeight = 27;
// The window shrinks to 60 % of the design size; each column keeps its
// share of the width, the lists give up their rows down to about two, and
// a column whose controls no longer fit scrolls.
constexpr int MinColumnWidth = (ClientWidth * 6 / 10 - 3 * 8) / 2;
constexpr int MinClientHeight = ClientHeight * 6 / 10;
constexpr int MinListHeight = 40;
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

} // namespace

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

WindowControls::WindowControls(QWidget &window, const Lists &lists)
    : QObject(&window)
{
    window.setFont(controlFont());
    window.setCursor(Qt::ArrowCursor);

    auto button = [this, &window](const char *name, const char *text, bool hand = true) {
        auto *b = new QPushButton(QString::fromLatin1(text), &window);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont());
        b->setFixedHeight(ButtonHeight);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        // Never narrower than its caption.
        b->setMinimumWidth(b->sizeHint().width());
        if (hand)
            handPointed.append(b);
        return b;
    };

    fileList = new filelist::FileListView(&window);
    makeList("ListView1", lists.files, Tooltip1, &window, fileList);
    fileList->setFileList(lists.files);
    addFolder = button("PushButton5", "Add All File(s) In Folder");
    addFiles = button("PushButton1", "Add File(s)");
    startCounting = button("PushButton12", "Start Counting");
    auto *pushButton6 = button("PushButton6", "Save Counted As List", false);
    auto *pushButton4 = button("PushButton4", "Save Ignored As List", false);
    progress = new CaptionProgressBar(&window);
    progress->setObjectName(QStringLiteral("ProgressBar1"));
    progress->setCaption(QStringLiteral("Progress Bar"));
    progress->setFixedHeight(ButtonHeight);
    progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    clearFiles = button("PushButton3", "Clear List");
    resultList = makeList("ListView3", lists.results, Tooltip2, &window);
    loadSampleFiles = button("PushButton11", "Load Sample/Example Files");
    saveResultsAsText = button("PushButton9", "Save Results As Text File");
    saveResultsAsWorkbook = button("PushButton10", "Save Results As Excel File");
    clearResults = button("PushButton14", "Clear List");
    copyResults = button("PushButton18", "Copy Results To Clipboard");
    wordList = makeList("ListView2", lists.words, Tooltip2, &window);
    addWord = button("PushButton2", "Add One Entry");
    deleteWord = button("PushButton7", "Delete Selected Entry");
    clearWords = button("PushButton8", "Clear List");
    loadSampleWords = button("PushButton13", "Load Sample/Example Files");

    // The two buttons without an action lie below the client area at design
    // time and are never seen.
    pushButton6->hide();
    pushButton4->hide();

    // The option frames keep their small design layout; only the lists grow.
    const QColor white(Qt::white);
    blankOptions = new QGroupBox(QStringLiteral("Blank Line Options"), &window);
    blankOptions->setObjectName(QStringLiteral("Frame4"));
    blankOptions->setFixedHeight(47);
    blankOptions->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setBackColour(blankOptions, white);
    excludeBlankLines = new QCheckBox(QStringLiteral("Exclude blank lines"), blankOptions);
    excludeBlankLines->setObjectName(QStringLiteral("Check3"));
    excludeBlankLines->setGeometry(16, 20, 163, 16);
    setBackColour(excludeBlankLines, white);

    countOptions = new QGroupBox(QStringLiteral("Count Options"), &window);
    countOptions->setObjectName(QStringLiteral("Frame2"));
    countOptions->setFixedHeight(67);
    countOptions->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setBackColour(countOptions, white);
    separateCounts = new QRadioButton(QStringLiteral("Give separate counts for each file"), countOptions);
    separateCounts->setObjectName(QStringLiteral("Option2"));
    separateCounts->setGeometry(16, 40, 217, 17);
    setBackColour(separateCounts, white);
    oneCount = new QRadioButton(QStringLiteral("Give one count for all files"), countOptions);
    oneCount->setObjectName(QStringLiteral("Option1"));
    oneCount->setGeometry(16, 20, 177, 17);
    setBackColour(oneCount, white);
    oneCount->setChecked(true);
    // The design widths suit the design font; another one (where the design
    // font is missing) may need more to show the whole caption.
    for (QAbstractButton *option :
         std::initializer_list<QAbstractButton *>{excludeBlankLines, oneCount, separateCounts})
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
    left->addWidget(fileList, 107);
    left->addSpacing(7);
    left->addLayout(buttonRow(true, addFiles, addFolder));
    left->addSpacing(7);
    left->addLayout(buttonRow(true, clearFiles, loadSampleFiles));
    left->addSpacing(7);
    left->addWidget(wordList, 121);
    left->addSpacing(6);
    left->addLayout(buttonRow(true, addWord, deleteWord));
    left->addSpacing(7);
    left->addLayout(buttonRow(true, clearWords, loadSampleWords));

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 6, 0, 0);
    right->setSpacing(0);
    right->addWidget(blankOptions);
    right->addSpacing(5);
    right->addWidget(countOptions);
    right->addSpacing(8);
    right->addWidget(startCounting);
    right->addSpacing(6);
    right->addWidget(resultList, 1);
    right->addSpacing(6);
    right->addLayout(buttonRow(false, saveResultsAsText, saveResultsAsWorkbook));
    right->addSpacing(7);
    right->addLayout(buttonRow(false, copyResults, clearResults));
    // The stop control sits beside the progress bar while a run or a folder
    // scan works.
    stop = new QPushButton(QStringLiteral("Stop"), &window);
    stop->setObjectName(QStringLiteral("StopButton"));
    stop->setToolTip(QStringLiteral("Stop counting, adding files or saving (Esc)"));
    stop->setFixedHeight(ButtonHeight);
    stop->hide();
    auto *progressRow = new QHBoxLayout;
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(stop);

    m_leftColumn = makeColumn("LeftColumn", left, MinClientHeight, &window);
    m_rightColumn = makeColumn("RightColumn", right, MinClientHeight - ProgressRowHeight, &window);
    for (const PendingRow &row : std::as_const(rows))
        m_buttonRows.append({row.layout, row.left ? m_leftColumn : m_rightColumn, row.first, row.second});
    for (QScrollArea *column : {m_leftColumn, m_rightColumn})
        column->viewport()->installEventFilter(this);
    auto *columns = new QHBoxLayout(&window);
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
    window.resize(ClientWidth, ClientHeight);

    const QList<QWidget *> tabOrder = {
        fileList,        addFolder,         addFiles,          startCounting,         pushButton6,
        pushButton4,     oneCount,          separateCounts,    clearFiles,            excludeBlankLines,
        resultList,      loadSampleFiles,   saveResultsAsText, saveResultsAsWorkbook, clearResults,
        copyResults,     wordList,          addWord,           deleteWord,            clearWords,
        loadSampleWords,
    };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    for (QTreeView *list : {static_cast<QTreeView *>(fileList), wordList, resultList})
        new EmptyListFocusMark(list);

    // Keys for the commands used most, named in their buttons' tooltips.
    const auto keys = [&window](QPushButton *b, const QList<QKeySequence> &named,
                                const QList<QKeySequence> &also = {}) {
        QStringList names;
        for (const QKeySequence &key : named + also) {
            auto *shortcut = new QShortcut(key, &window);
            connect(shortcut, &QShortcut::activated, b, &QPushButton::click);
        }
        for (const QKeySequence &key : named)
            names.append(key.toString(QKeySequence::NativeText));
        b->setToolTip(b->text() + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')'));
    };
    keys(startCounting, {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::Key_F5)},
         {QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    keys(addFiles, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    keys(saveResultsAsText, {QKeySequence(Qt::CTRL | Qt::Key_S)});
    keys(copyResults, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)});

    // Hover pointers: a pointer per control; the busy pointer overrides them.
    handPointed.append(excludeBlankLines);
    for (QWidget *w : {static_cast<QWidget *>(blankOptions), static_cast<QWidget *>(countOptions),
                       fileList->viewport(), wordList->viewport(), resultList->viewport()})
        w->setCursor(Qt::ArrowCursor);
}

bool WindowControls::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        for (const QScrollArea *column : {m_leftColumn, m_rightColumn}) {
            if (watched == column->viewport())
                wrapButtonRows(column);
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowControls::wrapButtonRows(const QScrollArea *column)
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

} // namespace brinmoor::app
