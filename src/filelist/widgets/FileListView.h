#pragma once

#include "FolderScanJob.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::filelist {

// The file list on the screen. It takes drops of files and folders from
// the desktop (lists of local file URLs only; everything else is refused
// while it is dragged over), removes the selected row on Delete or a
// double-click unless a long command is busy, and moves rows by dragging
// them inside the list: each row the pointer comes over exchanges its text
// with the dragged one. GUI thread only.
class FileListView : public QTreeView
{
    Q_OBJECT
public:
    explicit FileListView(QWidget *parent = nullptr);
    ~FileListView() override;

    void setFileList(TextListModel *list);
    TextListModel *fileList() const { return m_list; }

    // The window's busy test; nothing counts as busy when it is not set.
    void setBusyCheck(std::function<bool()> isBusy);

    // The pointer shown while a row is dragged.
    void setDragCursor(const QCursor &cursor);
    QCursor dragCursor() const { return m_dragCursor; }
    // The cursor in an icon file such as "drag.ico" beside the program, or
    // a built-in one when the file is missing or unreadable.
    static QCursor dragCursorFrom(const QString &iconPath);

    // Removes the selected row unless busy; true when one was removed.
    bool removeSelectedRow();

    // Walks of dropped folders still running.
    int runningDrops() const { return m_runningDrops; }
    // Stops the walks of dropped folders soon, without waiting for them:
    // each ends as when done (dropAdded follows), with the rows it had
    // handed over.
    void cancelDrops();
    // Cancels and deletes the walks of dropped folders at once, for closing
    // the window: their rows already appended stay, the rest never comes.
    void stopDrops();

signals:
    // The walk of a drop is set up and about to start: a direct connection
    // may still change its settings or connect to its signals.
    void dropWalkStarting(brinmoor::filelist::FolderScanJob *job);
    // A drop has been added completely, folder contents included, or its
    // walk was stopped.
    void dropAdded();
    // A drop met names that cannot be shown as text; sent once per drop,
    // before dropAdded, for the window to tell the user.
    void unshowableNamesDropped(const brinmoor::filelist::UnshowableNames &names);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool isBusy() const { return m_isBusy && m_isBusy(); }
    void dragRowOver(const QPoint &position);
    void scrollNearEdge(const QPoint &position, int hoverRow);

    TextListModel *m_list = nullptr;
    std::function<bool()> m_isBusy;
    QCursor m_dragCursor;
    int m_runningDrops = 0;

    // Row dragging: active from a press over the list until the release;
    // the dragged row is kept after the release, so a drag that starts on
    // empty space goes on with the row dragged last.
    bool m_dragActive = false;
    QPersistentModelIndex m_dragRow;
};

} // namespace brinmoor::filelist
