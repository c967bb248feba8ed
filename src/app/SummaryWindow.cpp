#include "SummaryWindow.h"

#include "RunSummary.h"
#include "SummaryModels.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace brinmoor::app {

using summary::SummaryView;

namespace {

QTreeView *makeTable(const char *name, QAbstractItemModel *model, QWidget *parent)
{
    auto *view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setSortingEnabled(true);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setTextElideMode(Qt::ElideMiddle);
    view->setModel(model);
    // The name takes what the numbers leave.
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return view;
}

QSortFilterProxyModel *makeProxy(QAbstractItemModel *source, QObject *parent)
{
    auto *proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(source);
    proxy->setSortRole(summary::SortRole);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(0);
    // A folder stays when anything below it matches, so the way to a match
    // is always there to open.
    proxy->setRecursiveFilteringEnabled(true);
    return proxy;
}

} // namespace

SummaryWindow::SummaryWindow(const RunSummary &summary, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_summary(summary)
{
    setObjectName(QStringLiteral("SummaryWindow"));
    setWindowTitle(QStringLiteral("Summary"));

    m_extensionModel = new summary::ExtensionModel(this);
    m_folderModel = new summary::FolderModel(this);
    m_extensionProxy = makeProxy(m_extensionModel, this);
    m_folderProxy = makeProxy(m_folderModel, this);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("summaryFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_extensionProxy->setFilterFixedString(text);
        m_folderProxy->setFilterFixedString(text);
        rebuildChart();
    });

    m_extensionView = makeTable("byExtension", m_extensionProxy, this);
    m_extensionView->setRootIsDecorated(false);
    m_extensionView->sortByColumn(summary::ExtensionModel::Lines, Qt::DescendingOrder);
    m_filesModel = new QStandardItemModel(this);
    m_filesModel->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Lines")});
    m_filesView = makeTable("extensionFiles", m_filesModel, this);
    m_filesView->setRootIsDecorated(false);
    m_filesView->hide();
    auto *extensionPane = new QSplitter(Qt::Vertical, this);
    extensionPane->addWidget(m_extensionView);
    extensionPane->addWidget(m_filesView);

    m_folderView = makeTable("byFolder", m_folderProxy, this);
    m_folderView->sortByColumn(summary::FolderModel::Lines, Qt::DescendingOrder);
    // A double-click opens a folder (the view's own behaviour); on an
    // extension it lists that extension's files.
    connect(m_extensionView, &QTreeView::doubleClicked, this, &SummaryWindow::showFilesOf);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("summaryViews"));
    m_tabs->addTab(extensionPane, QStringLiteral("By Extension"));
    m_tabs->addTab(m_folderView, QStringLiteral("By Folder"));
    connect(m_tabs, &QTabWidget::currentChanged, this, &SummaryWindow::rebuildChart);
    connect(m_folderView, &QTreeView::expanded, this, &SummaryWindow::rebuildChart);
    connect(m_folderView, &QTreeView::collapsed, this, &SummaryWindow::rebuildChart);

    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    m_chartView = new QChartView(chart, this);
    m_chartView->setObjectName(QStringLiteral("summaryChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumWidth(280);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_tabs);
    split->addWidget(m_chartView);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *saveText = new QPushButton(QStringLiteral("Save As Text File…"), this);
    saveText->setObjectName(QStringLiteral("saveSummaryText"));
    auto *saveCsv = new QPushButton(QStringLiteral("Save As CSV File…"), this);
    saveCsv->setObjectName(QStringLiteral("saveSummaryCsv"));
    auto *copy = new QPushButton(QStringLiteral("Copy To Clipboard"), this);
    copy->setObjectName(QStringLiteral("copySummary"));
    connect(saveText, &QPushButton::clicked, this, &SummaryWindow::saveTextRequested);
    connect(saveCsv, &QPushButton::clicked, this, &SummaryWindow::saveCsvRequested);
    connect(copy, &QPushButton::clicked, this, &SummaryWindow::copyRequested);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Filter:"), this));
    top->addWidget(m_filter, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveText);
    buttons->addWidget(saveCsv);
    buttons->addWidget(copy);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    resize(900, 520);

    connect(&summary, &RunSummary::restarted, this, &SummaryWindow::restart);
    connect(&summary, &RunSummary::updated, this, &SummaryWindow::update);
    restart();
}

SummaryWindow::~SummaryWindow() = default;

void SummaryWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit hidden();
}

SummaryView SummaryWindow::currentView() const
{
    return m_tabs->currentIndex() == 1 ? SummaryView::Folder : SummaryView::Extension;
}

void SummaryWindow::setCurrentView(SummaryView view)
{
    m_tabs->setCurrentIndex(view == SummaryView::Folder ? 1 : 0);
}

bool SummaryWindow::hasChange() const
{
    return !m_summary.previous().isEmpty();
}

std::vector<summary::SummaryRow> SummaryWindow::exportRows() const
{
    const summary::Summary *previous = hasChange() ? &m_summary.previous() : nullptr;
    return currentView() == SummaryView::Extension ? summary::extensionRows(m_summary.current(), previous)
                                                    : summary::folderRows(m_summary.current(), -1, previous);
}

void SummaryWindow::restart()
{
    const summary::Summary *previous = hasChange() ? &m_summary.previous() : nullptr;
    m_extensionModel->setSummary(&m_summary.current(), previous);
    m_folderModel->setSummary(&m_summary.current(), previous);
    m_filesModel->removeRows(0, m_filesModel->rowCount());
    m_filesView->hide();
    m_filesExtension = -1;
    updateChangeColumns();
    update();
}

void SummaryWindow::updateChangeColumns()
{
    m_extensionView->setColumnHidden(summary::ExtensionModel::Change, !hasChange());
    m_folderView->setColumnHidden(summary::FolderModel::Change, !hasChange());
}

void SummaryWindow::update()
{
    m_extensionModel->refresh();
    const bool wasEmpty = m_folderModel->rowCount() == 0;
    m_folderModel->refresh();
    // The root is always open: a tree of one closed row says nothing.
    if (wasEmpty || !m_folderView->isExpanded(m_folderProxy->index(0, 0)))
        m_folderView->expand(m_folderProxy->index(0, 0));
    rebuildChart();
}

QTreeView *SummaryWindow::currentTree() const
{
    return currentView() == SummaryView::Extension ? m_extensionView : m_folderView;
}

QSortFilterProxyModel *SummaryWindow::currentProxy() const
{
    return currentView() == SummaryView::Extension ? m_extensionProxy : m_folderProxy;
}

void SummaryWindow::rebuildChart()
{
    // The rows the view shows (open folders' children included), most lines
    // first. The root of the folder tree is left out once it is open: its
    // bar would only dwarf the others.
    QSortFilterProxyModel *proxy = currentProxy();
    QList<QModelIndex> shown;
    auto collect = [&](auto &&self, const QModelIndex &parent) -> void {
        const int rows = proxy->rowCount(parent);
        for (int r = 0; r < rows; ++r) {
            const QModelIndex index = proxy->index(r, 0, parent);
            const bool open = currentView() == SummaryView::Folder && m_folderView->isExpanded(index);
            if (!(open && !parent.isValid()))
                shown << index;
            if (open)
                self(self, index);
        }
    };
    collect(collect, QModelIndex());
    const int linesColumn = currentView() == SummaryView::Extension ? int(summary::ExtensionModel::Lines)
                                                                     : int(summary::FolderModel::Lines);
    auto lines = [&](const QModelIndex &index) {
        return proxy->index(index.row(), linesColumn, index.parent()).data(summary::SortRole).toULongLong();
    };
    std::stable_sort(shown.begin(), shown.end(),
                     [&](const QModelIndex &a, const QModelIndex &b) { return lines(a) > lines(b); });
    if (shown.size() > ChartRows)
        shown.resize(ChartRows);

    m_chartRows.clear();
    QChart *chart = m_chartView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes())
        chart->removeAxis(axis), delete axis;
    m_series = new QHorizontalBarSeries;
    auto *set = new QBarSet(QStringLiteral("Lines"));
    QStringList categories;
    quint64 most = 0;
    // The category axis runs from the bottom: the largest goes in last.
    for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
        const quint64 n = lines(*it);
        *set << double(n);
        most = std::max(most, n);
        QString label = it->data(Qt::DisplayRole).toString();
        // Categories must differ; two folders may share a name.
        while (categories.contains(label))
            label += QLatin1Char(' ');
        categories << label;
        m_chartRows.prepend(QPersistentModelIndex(proxy->mapToSource(*it)));
    }
    m_series->append(set);
    chart->addSeries(m_series);
    auto *names = new QBarCategoryAxis;
    names->append(categories);
    chart->addAxis(names, Qt::AlignLeft);
    m_series->attachAxis(names);
    auto *values = new QValueAxis;
    values->setRange(0, double(std::max<quint64>(most, 1)));
    values->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(values, Qt::AlignBottom);
    m_series->attachAxis(values);
    connect(set, &QBarSet::clicked, this, [this](int index) { selectBar(int(m_chartRows.size()) - 1 - index); });
}

void SummaryWindow::selectBar(int bar)
{
    if (bar < 0 || bar >= m_chartRows.size() || !m_chartRows.at(bar).isValid())
        return;
    QTreeView *view = currentTree();
    const QModelIndex index = currentProxy()->mapFromSource(m_chartRows.at(bar));
    view->setCurrentIndex(index);
    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

void SummaryWindow::showFilesOf(const QModelIndex &proxyIndex)
{
    const int extension = m_extensionModel->extensionAt(m_extensionProxy->mapToSource(proxyIndex).row());
    m_filesExtension = extension;
    m_filesModel->removeRows(0, m_filesModel->rowCount());
    for (const summary::Summary::File &f : m_summary.current().fileList()) {
        if (f.extension != extension)
            continue;
        auto *lines = new QStandardItem(QString::number(f.lines));
        lines->setData(qulonglong(f.lines), summary::SortRole);
        lines->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *path = new QStandardItem(f.path);
        path->setData(f.path.toLower(), summary::SortRole);
        path->setToolTip(f.path);
        m_filesModel->appendRow({path, lines});
    }
    m_filesModel->setSortRole(summary::SortRole);
    m_filesView->sortByColumn(1, Qt::DescendingOrder);
    m_filesView->show();
}

} // namespace brinmoor::app
