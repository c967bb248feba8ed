#include "SummaryModels.h"

#include "SummaryTable.h"

namespace brinmoor::summary {

namespace {

double percent(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0.0 : 100.0 * double(part) / double(whole);
}

QVariant alignment(int column)
{
    return column == 0 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

ExtensionModel::ExtensionModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void ExtensionModel::setSummary(const Summary *current, const Summary *previous)
{
    beginResetModel();
    m_summary = current;
    m_previous = previous;
    m_rows = current ? int(current->extensions().size()) : 0;
    endResetModel();
}

void ExtensionModel::refresh()
{
    if (!m_summary)
        return;
    const int now = int(m_summary->extensions().size());
    if (now < m_rows) {   // the summary was cleared behind our back
        setSummary(m_summary, m_previous);
        return;
    }
    if (now > m_rows) {
        beginInsertRows({}, m_rows, now - 1);
        m_rows = now;
        endInsertRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1), {Qt::DisplayRole, SortRole});
}

int ExtensionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ExtensionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ExtensionModel::data(const QModelIndex &index, int role) const
{
    if (!m_summary || !index.isValid() || index.row() >= m_rows)
        return {};
    if (role == Qt::TextAlignmentRole)
        return alignment(index.column());
    if (role != Qt::DisplayRole && role != SortRole && role != Qt::ToolTipRole)
        return {};
    const Summary::Extension &e = m_summary->extensions()[std::size_t(index.row())];
    const bool sort = role == SortRole;
    switch (index.column()) {
    case Name:
        return sort ? QVariant(e.name.toLower()) : QVariant(extensionLabel(e.name));
    case Files:
        return sort ? QVariant(qulonglong(e.files)) : QVariant(QString::number(e.files));
    case Lines:
        return sort ? QVariant(qulonglong(e.lines)) : QVariant(QString::number(e.lines));
    case Share: {
        const double share = percent(e.lines, m_summary->lines());
        return sort ? QVariant(share) : QVariant(shareText(share));
    }
    case LinesPerFile: {
        const double perFile = e.files ? double(e.lines) / double(e.files) : 0.0;
        return sort ? QVariant(perFile) : QVariant(QString::number(perFile, 'f', 1));
    }
    case Change: {
        if (!hasChange())
            return {};
        const int old = m_previous->extensionIndex(e.name);
        const std::int64_t change = std::int64_t(e.lines)
            - (old < 0 ? 0 : std::int64_t(m_previous->extensions()[std::size_t(old)].lines));
        return sort ? QVariant(qlonglong(change)) : QVariant(changeText(change));
    }
    default:
        return {};
    }
}

QVariant ExtensionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QStringList titles = columnTitles(SummaryView::Extension, true);
    return section < titles.size() ? QVariant(titles.at(section)) : QVariant();
}

FolderModel::FolderModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

void FolderModel::setSummary(const Summary *current, const Summary *previous)
{
    m_summary = current;
    m_previous = previous;
    reset();
}

void FolderModel::reset()
{
    beginResetModel();
    m_root = m_summary ? m_summary->root() : -1;
    m_known.clear();
    if (m_summary) {
        const auto &folders = m_summary->folders();
        m_known.reserve(folders.size());
        for (const Summary::Folder &f : folders)
            m_known.push_back(int(f.children.size()));
    }
    endResetModel();
}

void FolderModel::refresh()
{
    if (!m_summary)
        return;
    const auto &folders = m_summary->folders();
    if (m_summary->root() != m_root || folders.size() < m_known.size()) {
        reset();
        return;
    }
    // Parents come before their children in the summary's list, so a new
    // folder is announced before its own children are.
    m_known.resize(folders.size(), 0);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const int now = int(folders[i].children.size());
        if (now > m_known[i]) {
            const QModelIndex parent = indexOfFolder(int(i));
            if (!parent.isValid()) {   // above the common root: not shown
                m_known[i] = now;
                continue;
            }
            beginInsertRows(parent, m_known[i], now - 1);
            m_known[i] = now;
            endInsertRows();
        }
    }
    if (m_root < 0)
        return;
    const QModelIndex root = indexOfFolder(m_root);
    emit dataChanged(root, indexOfFolder(m_root, ColumnCount - 1), {Qt::DisplayRole, SortRole});
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (m_known[i] > 0 && (int(i) == m_root || folderAt(indexOfFolder(int(i))) >= 0)) {
            const QModelIndex parent = indexOfFolder(int(i));
            emit dataChanged(index(0, 0, parent), index(m_known[i] - 1, ColumnCount - 1, parent),
                             {Qt::DisplayRole, SortRole});
        }
}

int FolderModel::folderAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    return int(index.internalId());
}

QModelIndex FolderModel::indexOfFolder(int folder, int column) const
{
    if (!m_summary || folder < 0 || folder >= int(m_known.size()))
        return {};
    if (folder == m_root)
        return createIndex(0, column, quintptr(folder));
    // Folders above the common root are not in the tree.
    for (int up = m_summary->folders()[std::size_t(folder)].parent; up != m_root; up = m_summary->folders()[std::size_t(up)].parent)
        if (up < 0)
            return {};
    return createIndex(m_summary->folders()[std::size_t(folder)].row, column, quintptr(folder));
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!m_summary || m_root < 0 || row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, quintptr(m_root)) : QModelIndex();
    const int folder = folderAt(parent);
    if (folder < 0 || row >= m_known[std::size_t(folder)])
        return {};
    return createIndex(row, column, quintptr(m_summary->folders()[std::size_t(folder)].children[std::size_t(row)]));
}

QModelIndex FolderModel::parent(const QModelIndex &child) const
{
    const int folder = folderAt(child);
    if (folder < 0 || folder == m_root)
        return {};
    return indexOfFolder(m_summary->folders()[std::size_t(folder)].parent);
}

int FolderModel::rowCount(const QModelIndex &parent) const
{
    if (!m_summary || m_root < 0)
        return 0;
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    const int folder = folderAt(parent);
    return folder < 0 ? 0 : m_known[std::size_t(folder)];
}

int FolderModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant FolderModel::data(const QModelIndex &index, int role) const
{
    const int folder = folderAt(index);
    if (folder < 0)
        return {};
    if (role == Qt::TextAlignmentRole)
        return alignment(index.column());
    const Summary::Folder &f = m_summary->folders()[std::size_t(folder)];
    if (role == Qt::ToolTipRole)
        return f.path;
    if (role != Qt::DisplayRole && role != SortRole)
        return {};
    const bool sort = role == SortRole;
    switch (index.column()) {
    case Name: {
        const QString name = folder == m_root ? (f.path.isEmpty() ? QStringLiteral(".") : f.path) : f.name;
        return sort ? QVariant(name.toLower()) : QVariant(name);
    }
    case Files:
        return sort ? QVariant(qulonglong(f.files)) : QVariant(QString::number(f.files));
    case Lines:
        return sort ? QVariant(qulonglong(f.lines)) : QVariant(QString::number(f.lines));
    case Share: {
        const double share = percent(f.lines, m_summary->lines());
        return sort ? QVariant(share) : QVariant(shareText(share));
    }
    case Change: {
        if (!hasChange())
            return {};
        const int old = m_previous->folderIndex(f.path);
        const std::int64_t change =
            std::int64_t(f.lines) - (old < 0 ? 0 : std::int64_t(m_previous->folders()[std::size_t(old)].lines));
        return sort ? QVariant(qlonglong(change)) : QVariant(changeText(change));
    }
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractItemModel::headerData(section, orientation, role);
    const QStringList titles = columnTitles(SummaryView::Folder, true);
    return section < titles.size() ? QVariant(titles.at(section)) : QVariant();
}

} // namespace brinmoor::summary
