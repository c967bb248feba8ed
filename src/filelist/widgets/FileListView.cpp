#include "FileListView.h"

#include "FileListEditing.h"
#include "FolderScanJob.h"
#include "Paths.h"
#include "TextListModel.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QUrl>

namespace brinmoor::filelist {

namespace {

QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        // The path's own bytes: toLocalFile() would replace those that are
        // not UTF-8, and the name would lead nowhere.
        if (url.isLocalFile())
            paths.append(QDir::toNativeSeparators(
                pathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()))));
    }
    return paths;
}

// Exchanges the texts of two rows in place: two row updates, whatever the
// size of the list.
void exchangeTexts(TextListModel &model, int a, int b)
{
    const QString textA = model.text(a);
    model.setText(a, model.text(b));
    model.setText(b, textA);
}

} // namespace

FileListView::FileListView(QWidget *parent)
    : QTreeView(parent)
    , m_dragCursor(Qt::DragMoveCursor)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);   // keeps a million rows cheap to lay out
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are moved by the list's own dragging, never by the platform's
    // drag and drop, and the list scrolls itself while they are.
    setDragEnabled(false);
    setAutoScroll(false);
    setDropIndicatorShown(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

FileListView::~FileListView() = default;

void FileListView::setFileList(TextListModel *list)
{
    m_list = list;
    setModel(list);
}

void FileListView::setBusyCheck(std::function<bool()> isBusy)
{
    m_isBusy = std::move(isBusy);
}

void FileListView::setDragCursor(const QCursor &cursor)
{
    m_dragCursor = cursor;
}

QCursor FileListView::dragCursorFrom(const QString &iconPath)
{
    const QPixmap image(iconPath);
    if (image.isNull())
        return QCursor(Qt::DragMoveCursor);
    return QCursor(image);
}

bool FileListView::removeSelectedRow()
{
    if (!m_list || !selectionModel())
        return false;
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty())
        return false;
    return RemoveFileListRow(*m_list, selected.first().row(), m_isBusy);
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_list && !droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_list && !droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListView::dropEvent(QDropEvent *event)
{
    const QStringList paths = droppedPaths(event->mimeData());
    if (!m_list || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();

    // One job for the whole drop keeps its items in delivered order: a file
    // dropped before a folder stands before that folder's files.
    auto *job = FolderScanJob::forDrop(paths, this);
    TextListModel *list = m_list;
    connect(job, &FolderScanJob::rowsFound, list, [list](const QStringList &rows) { list->append(rows); });
    connect(job, &FolderScanJob::finished, this, [this, job] {
        --m_runningDrops;
        job->deleteLater();
        if (!job->unshowableNames().isEmpty())
            emit unshowableNamesDropped(job->unshowableNames());
        emit dropAdded();
    });
    ++m_runningDrops;
    emit dropWalkStarting(job);
    job->start();
}

void FileListView::cancelDrops()
{
    for (FolderScanJob *job : findChildren<FolderScanJob *>(Qt::FindDirectChildrenOnly))
        job->cancel();
}

void FileListView::stopDrops()
{
    // Deleting a walk cancels it and waits for its thread; its finished
    // signal never comes, so the count is settled here.
    qDeleteAll(findChildren<FolderScanJob *>(Qt::FindDirectChildrenOnly));
    m_runningDrops = 0;
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        removeSelectedRow();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Anywhere in the list, on a row or not.
    removeSelectedRow();
    event->accept();
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    m_dragActive = true;
    const QModelIndex clicked = indexAt(event->position().toPoint());
    if (!clicked.isValid()) {
        // The view would clear the selection here, and the double-click that
        // follows would find nothing to remove.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        viewport()->setCursor(m_dragCursor);
        m_dragRow = clicked;
    }
}

void FileListView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragActive) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    // The view's own drag selection stays out of it: the dragged row's
    // selection follows the exchanges below.
    dragRowOver(event->position().toPoint());
    event->accept();
}

void FileListView::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragActive = false;
    viewport()->setCursor(Qt::ArrowCursor);
    QTreeView::mouseReleaseEvent(event);
}

void FileListView::dragRowOver(const QPoint &position)
{
    const QModelIndex hover = indexAt(position);
    // The dragged row may have been removed since it was clicked.
    if (!m_list || !hover.isValid() || !m_dragRow.isValid())
        return;
    const int from = m_dragRow.row();
    const int to = hover.row();
    // Rows with the same text are not exchanged, so the dragged text never
    // passes a row that reads the same.
    if (from == to || m_list->text(from) == m_list->text(to))
        return;
    const int scrollValue = verticalScrollBar()->value();
    exchangeTexts(*m_list, from, to);
    verticalScrollBar()->setValue(scrollValue);
    const QModelIndex moved = m_list->index(to);
    selectionModel()->setCurrentIndex(moved, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_dragRow = moved;
    scrollNearEdge(position, to);
}

void FileListView::scrollNearEdge(const QPoint &position, int hoverRow)
{
    // Near the top or bottom edge of the list itself the neighbour of the
    // row under the pointer is brought into view, so that a drag can go on
    // past the rows shown.
    const int edge = qMax(8, visualRect(m_list->index(hoverRow)).height());
    if (position.y() < edge && hoverRow >= 1)
        scrollTo(m_list->index(hoverRow - 1));
    else if (position.y() >= viewport()->height() - edge && hoverRow + 1 < m_list->count())
        scrollTo(m_list->index(hoverRow + 1));
}

} // namespace brinmoor::filelist
