#pragma once

#include "SummaryTable.h"

#include <QModelIndex>
#include <QWidget>

#include <vector>

class QChartView;
class QHorizontalBarSeries;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTabWidget;
class QTreeView;

namespace brinmoor::summary {
class ExtensionModel;
class FolderModel;
} // namespace brinmoor::summary

namespace brinmoor::app {

class RunSummary;

// "Summary": where the lines of the last run are, by extension and by
// folder, with a bar chart of the current view's top rows. A window of its
// own beside the main window (not modal), following a run as it goes.
// GUI thread only.
class SummaryWindow : public QWidget
{
    Q_OBJECT
public:
    // Bars in the chart at most.
    static constexpr int ChartRows = 15;

    SummaryWindow(const RunSummary &summary, QWidget *parent = nullptr);
    ~SummaryWindow() override;

    summary::SummaryView currentView() const;
    void setCurrentView(summary::SummaryView view);
    // The rows of the current view as the exports write them.
    std::vector<summary::SummaryRow> exportRows() const;
    bool hasChange() const;

    QTreeView *extensionView() const { return m_extensionView; }
    QTreeView *folderView() const { return m_folderView; }
    QTreeView *filesView() const { return m_filesView; }
    QLineEdit *filter() const { return m_filter; }
    QHorizontalBarSeries *chartSeries() const { return m_series; }
    // The rows the bars stand for, top bar first (indexes of the source
    // models).
    const QList<QPersistentModelIndex> &chartRows() const { return m_chartRows; }
    // Selects the row of a bar, as clicking it does (0 is the top bar).
    void selectBar(int bar);

signals:
    // The buttons of the window; SummaryCommands does the work.
    void saveTextRequested();
    void saveCsvRequested();
    void copyRequested();
    // The window was hidden or closed (not while it is being destroyed).
    void hidden();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void restart();
    void update();
    void rebuildChart();
    void showFilesOf(const QModelIndex &proxyIndex);
    QTreeView *currentTree() const;
    QSortFilterProxyModel *currentProxy() const;
    void updateChangeColumns();

    const RunSummary &m_summary;
    summary::ExtensionModel *m_extensionModel = nullptr;
    summary::FolderModel *m_folderModel = nullptr;
    QSortFilterProxyModel *m_extensionProxy = nullptr;
    QSortFilterProxyModel *m_folderProxy = nullptr;
    QStandardItemModel *m_filesModel = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTreeView *m_extensionView = nullptr;
    QTreeView *m_folderView = nullptr;
    QTreeView *m_filesView = nullptr;
    QLineEdit *m_filter = nullptr;
    QChartView *m_chartView = nullptr;
    QHorizontalBarSeries *m_series = nullptr;
    QList<QPersistentModelIndex> m_chartRows;
    int m_filesExtension = -1;
};

} // namespace brinmoor::app
