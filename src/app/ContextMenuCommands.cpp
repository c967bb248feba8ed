#include "ContextMenuCommands.h"

#include "BusyState.h"

#include "Clipboard.h"
#include "FileListView.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QKeyEvent>
#include <QTreeView>
#include <QUrl>

namespace brinmoor::app {

namespace {
const QString RowSeparator = QStringLiteral(" lines - ");
} // namespace

ContextMenuCommands::ContextMenuCommands(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
    attach(m_c.resultView, true);
    attach(m_c.fileView, false);
}

ContextMenuCommands::~ContextMenuCommands() = default;

QString ContextMenuCommands::pathOfResultRow(const QString &row)
{
    const qsizetype at = row.indexOf(RowSeparator);
    if (at <= 0)
        return QString();
    for (qsizetype i = 0; i < at; ++i)
        if (!row.at(i).isDigit())
            return QString();
    return row.mid(at + RowSeparator.size());
}

void ContextMenuCommands::attach(QTreeView &view, bool results)
{
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&view, &QWidget::customContextMenuRequested, this,
            [this, &view, results](const QPoint &position) { showMenu(view, results, position); });
    // The menu key opens it through the same request; Shift+F10 and Ctrl+C
    // are taken before the view sees them (the view would copy only its
    // current row's text, to the toolkit's clipboard).
    view.installEventFilter(this);
}

bool ContextMenuCommands::eventFilter(QObject *watched, QEvent *event)
{
    auto *view = qobject_cast<QTreeView *>(watched);
    if (!view || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->matches(QKeySequence::Copy)) {
        const QStringList paths = selectedPaths(*view);
        if (!paths.isEmpty())
            copyPaths(paths);
        return true;
    }
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
        const QRect row = view->visualRect(view->currentIndex());
        emit view->customContextMenuRequested(row.isValid() ? row.center() : QPoint(0, 0));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QStringList ContextMenuCommands::selectedPaths(const QTreeView &view) const
{
    const bool results = &view == &m_c.resultView;
    QStringList paths;
    const QModelIndexList rows = view.selectionModel() ? view.selectionModel()->selectedRows() : QModelIndexList();
    for (const QModelIndex &index : rows) {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QString path = results ? pathOfResultRow(text) : text;
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

QMenu *ContextMenuCommands::buildMenu(QTreeView &view, bool results)
{
    auto *menu = new QMenu(&view);
    menu->setObjectName(results ? QStringLiteral("resultsMenu") : QStringLiteral("fileListMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QStringList paths = selectedPaths(view);
    const bool any = !paths.isEmpty();
    QAction *open = menu->addAction(QStringLiteral("Open"), this, [this, paths] { openFiles(paths); });
    QAction *folder = menu->addAction(QStringLiteral("Open Containing Folder"), this,
                                      [this, paths] { openContainingFolders(paths); });
    QAction *copy = menu->addAction(QStringLiteral("Copy Path"), this, [this, paths] { copyPaths(paths); });
    copy->setShortcut(QKeySequence::Copy);
    for (QAction *a : {open, folder, copy})
        a->setEnabled(any);
    menu->addSeparator();
    if (results) {
        menu->addAction(QStringLiteral("Summary…"), this, &ContextMenuCommands::summaryRequested);
    } else {
        QAction *remove = menu->addAction(QStringLiteral("Remove"), this, [&view] {
            static_cast<filelist::FileListView &>(view).removeSelectedRow();
        });
        remove->setShortcut(QKeySequence::Delete);
        remove->setEnabled(view.currentIndex().isValid() && !m_c.busy.isBusy());
    }
    return menu;
}

void ContextMenuCommands::showMenu(QTreeView &view, bool results, const QPoint &position)
{
    // A right-click on a row that is not selected acts on that row.
    const QModelIndex at = view.indexAt(position);
    if (at.isValid() && !view.selectionModel()->isRowSelected(at.row(), at.parent()))
        view.setCurrentIndex(at);
    QMenu *menu = buildMenu(view, results);
    menu->popup(view.viewport()->mapToGlobal(position));
}

void ContextMenuCommands::openFiles(const QStringList &paths)
{
    const auto &open = m_c.openUrl;
    if (!open)
        return;
    for (const QString &path : paths)
        open(QUrl::fromLocalFile(path));
}

void ContextMenuCommands::openContainingFolders(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (m_c.showInFolder && m_c.showInFolder(path))
            continue;
        if (m_c.openUrl)
            m_c.openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    }
}

bool ContextMenuCommands::copyPaths(const QStringList &paths)
{
    QStringList native;
    for (const QString &path : paths)
        native << QDir::toNativeSeparators(path);
    if (m_c.clipboard.placeText(native.join(QLatin1Char('\n'))))
        return true;
    m_c.boxes.warn(QStringLiteral("The path could not be put on the clipboard."));
    return false;
}

} // namespace brinmoor::app
