#pragma once

#include "CommandContext.h"

#include <QObject>
#include <QPoint>
#include <QStringList>
#include <QUrl>

#include <functional>

class QMenu;
class QTreeView;

namespace brinmoor {
class Clipboard;
namespace filelist {
class FileListView;
}
} // namespace brinmoor

namespace brinmoor::app {

class BusyState;

// The right-click menus of the results list (Open, Open Containing Folder,
// Copy Path, Summary…) and the file list (Open, Open Containing Folder,
// Copy Path, Remove). The menu key and Shift+F10 open them at the current
// row; Ctrl+C copies the selected rows' paths. Opening goes through the
// window's desktop services, so tests see what would have opened.
// GUI thread only.
class ContextMenuCommands : public QObject
{
    Q_OBJECT
public:
    // What the menus work on; all of it outlives them.
    struct Context
    {
        QTreeView &resultView;
        filelist::FileListView &fileView;
        BusyState &busy;
        Boxes boxes;
        Clipboard &clipboard;
        std::function<void(const QUrl &)> openUrl;
        // Shows a file selected in the desktop's file manager; false (or
        // unset) opens its folder with openUrl instead.
        std::function<bool(const QString &path)> showInFolder;
    };

    explicit ContextMenuCommands(Context context, QObject *parent = nullptr);
    ~ContextMenuCommands() override;

    // The paths of the rows selected in a list; a results row without a
    // path (the total) gives none.
    QStringList selectedPaths(const QTreeView &view) const;

    void openFiles(const QStringList &paths);
    void openContainingFolders(const QStringList &paths);
    bool copyPaths(const QStringList &paths);

    // The path in a results row ("N lines - PATH"), or "" for a row that
    // names none.
    static QString pathOfResultRow(const QString &row);

signals:
    // "Summary…" in the results list's menu.
    void summaryRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attach(QTreeView &view, bool results);
    QMenu *buildMenu(QTreeView &view, bool results);
    void showMenu(QTreeView &view, bool results, const QPoint &position);

    Context m_c;
};

} // namespace brinmoor::app
