#pragma once

#include "Summary.h"

#include <QAbstractItemModel>

#include <vector>

namespace brinmoor::summary {

// Numbers sort by value under this role; the display role is text.
inline constexpr int SortRole = Qt::UserRole;

// The by-extension table over a summary that grows while a run goes on.
// The summaries are not owned and must outlive the model (or be set anew).
class ExtensionModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Name, Files, Lines, Share, LinesPerFile, Change, ColumnCount };

    explicit ExtensionModel(QObject *parent = nullptr);

    // Starts over on a summary; previous (may be null or empty) gives the
    // change column.
    void setSummary(const Summary *current, const Summary *previous);
    // Takes in what was added to the summary since the last call: rows for
    // new extensions are inserted, the others' numbers change in place, so
    // selections and the sort survive a live update.
    void refresh();
    bool hasChange() const { return m_previous && !m_previous->isEmpty(); }

    // The extension a row stands for (into Summary::extensions()).
    int extensionAt(int row) const { return row; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const Summary *m_summary = nullptr;
    const Summary *m_previous = nullptr;
    int m_rows = 0;
};

// The folder tree from the common root down, one top row for the root;
// every folder's numbers cover everything below it.
class FolderModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { Name, Files, Lines, Share, Change, ColumnCount };

    explicit FolderModel(QObject *parent = nullptr);

    void setSummary(const Summary *current, const Summary *previous);
    // As ExtensionModel::refresh; a common root that moved up (files from
    // outside it came in) starts the tree over.
    void refresh();
    bool hasChange() const { return m_previous && !m_previous->isEmpty(); }

    // The folder an index stands for (into Summary::folders()), -1 for none.
    int folderAt(const QModelIndex &index) const;
    QModelIndex indexOfFolder(int folder, int column = 0) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void reset();

    const Summary *m_summary = nullptr;
    const Summary *m_previous = nullptr;
    int m_root = -1;
    // How many children of each folder the views have been told of.
    std::vector<int> m_known;
};

} // namespace brinmoor::summary
