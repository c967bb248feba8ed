#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

#include <memory>

class QMenu;
class QTreeView;

namespace brinmoor {
class Clipboard;
}

namespace brinmoor::app {

class MainWindow;
class SummaryCommands;

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
    ContextMenuCommands(MainWindow &window, SummaryCommands &summary);
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attach(QTreeView &view, bool results);
    QMenu *buildMenu(QTreeView &view, bool results);
    void showMenu(QTreeView &view, bool results, const QPoint &position);

    MainWindow &m_window;
    SummaryCommands &m_summary;
    std::unique_ptr<Clipboard> m_ownClipboard;
    Clipboard *m_clipboard = nullptr;
};

} // namespace brinmoor::app
