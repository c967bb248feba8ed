#include "TextListModel.h"

namespace brinmoor::filelist {

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

int TextListModel::count() const
{
    return int(m_texts.size());
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
        m_texts[row] = text;
        const QModelIndex at = index(row);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
    return true;
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

Qt::ItemFlags TextListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractListModel::flags(index);
    if (m_checkable && index.isValid())
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_header;
    return {};
}

} // namespace brinmoor::filelist
