#include "FileListEditing.h"

#include "TextListModel.h"

namespace brinmoor::filelist {

bool ClearFileList(TextListModel &list, const std::function<bool()> &isBusy)
{
    if (isBusy && isBusy())
        return false;
    list.clear();
    return true;
}

bool RemoveFileListRow(TextListModel &list, int row, const std::function<bool()> &isBusy)
{
    if (isBusy && isBusy())
        return false;
    return list.removeAt(row);
}

} // namespace brinmoor::filelist
