#include "TextListModel.h"

namespace brinmoor {

TextListModel::TextListModel(bool checkable, QObject *parent)
    : QAbstractListModel(parent)
    , m_checkable(checkable)
{
}

void TextListModel::setHeader(const QString &header)
{
    m_header = header;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

QString TextListModel::header() const
{
    return m_header;
}

void TextListModel::add(const QString &text, bool checked)
{
    append(QStringList{text}, checked);
}

void TextListModel::append(const QStringList &texts, bool checked)
{
    if (texts.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + int(texts.size()) - 1);
    m_texts.append(texts);
    m_checked.insert(m_checked.size(), texts.size(), checked);
    endInsertRows();
}

bool TextListModel::removeAt(int row)
{
    if (row < 0 || row >= count())
        return false;
    ++m_generation;
    beginRemoveRows({}, row, row);
    m_texts.removeAt(row);
    m_checked.removeAt(row);
    endRemoveRows();
    return true;
}

void TextListModel::clear()
{
    if (m_texts.isEmpty())
        return;
    ++m_generation;
    beginResetModel();
    m_texts.clear();
    m_checked.clear();
    endResetModel();
}

bool TextListModel::setText(int row, const QString &text)
{
    if (row < 0 || row >= count())
        return false;
    if (m_texts[row] != text) {
        ++m_generation;
        m_texts[row] = text;
        const QModelIndex at = index(row);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
    return true;
}

std::optional<QStringList> TextListModel::reorder(const QList<int> &order, QStringList reordered,
                                                  quint64 generation)
{
    if (generation != m_generation || order.size() > m_texts.size() || reordered.size() != order.size())
        return std::nullopt;
    QList<bool> checked;
    checked.reserve(m_checked.size());
    for (const int from : order)
        checked.append(m_checked.at(from));
    for (qsizetype row = order.size(); row < m_texts.size(); ++row) {
        reordered.append(m_texts.at(row));
        checked.append(m_checked.at(row));
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Selection and current row move with their rows.
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        QList<int> newRow(order.size());
        for (qsizetype to = 0; to < order.size(); ++to)
            newRow[order[to]] = int(to);
        QModelIndexList moved;
        moved.reserve(persistent.size());
        for (const QModelIndex &at : persistent)
            moved.append(at.row() < order.size() ? index(newRow[at.row()], at.column()) : at);
        changePersistentIndexList(persistent, moved);
    }
    m_texts.swap(reordered);
    m_checked.swap(checked);
    ++m_generation;
    // One layout change: a tree view relays out lazily, whereas a change of
    // data over every row makes it revisit each of a million rows at once.
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return reordered;
}

QString TextListModel::text(int row) const
{
    return row >= 0 && row < count() ? m_texts[row] : QString();
}

bool TextListModel::isChecked(int row) const
{
    return row >= 0 && row < count() && m_checked[row];
}

bool TextListModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= count())
        return false;
    if (m_checked[row] != checked) {
        m_checked[row] = checked;
        const QModelIndex at = index(row);
        emit dataChanged(at, at, {Qt::CheckStateRole});
    }
    return true;
}

QStringList TextListModel::texts() const
{
    return m_texts;
}

bool TextListModel::contains(const QString &text) const
{
    return m_texts.contains(text, Qt::CaseSensitive);
}

int TextListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant TextListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:   // a view may cut the text; its tooltip never does
        return m_texts[index.row()];
    case Qt::CheckStateRole:
        if (m_checkable)
            return m_checked[index.row()] ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool TextListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_checkable || role != Qt::CheckStateRole || !index.isValid())
        return false;
    return setChecked(index.row(), value.toInt() == Qt::Checked);
}

// A tree view asks for every row's index and flags each time it lays the
// list out, after every batch of rows a run appends. The base classes answer
// through virtual row and column counts; a list of a million rows is laid out
// in half the time when the answer comes straight from the index.
QModelIndex TextListModel::index(int row, int column, const QModelIndex &parent) const
{
    return row >= 0 && row < count() && column == 0 && !parent.isValid() ? createIndex(row, 0) : QModelIndex();
}

Qt::ItemFlags TextListModel::flags(const QModelIndex &index) const
{
    if (index.model() != this || index.row() >= count())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (m_checkable)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_header;
    return {};
}

} // namespace brinmoor
