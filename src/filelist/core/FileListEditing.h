#pragma once

#include <functional>

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::filelist {

// "Clear List" under the file list: empties it without asking, unless a
// long command holds the busy pointer. True when the list was cleared.
bool ClearFileList(TextListModel &list, const std::function<bool()> &isBusy);

// Removes row (the selected one) unless busy; nothing happens for a row
// that is not there. True when a row was removed.
bool RemoveFileListRow(TextListModel &list, int row, const std::function<bool()> &isBusy);

} // namespace brinmoor::filelist
