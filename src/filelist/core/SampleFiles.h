#pragma once

#include <QString>

#include <functional>

namespace brinmoor {
class SettingsStore;
class TextListModel;
class UserDialogs;
}

namespace brinmoor::filelist {

inline constexpr char OpenSampleFolderQuestion[] =
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?";

// True when a row of list has exactly text (case-sensitive, whole text).
bool ListviewHasItem(const TextListModel &list, const QString &text);

struct SampleLoadContext
{
    SettingsStore &settings;
    UserDialogs &dialogs;
    // The application title, for the question.
    QString title;
    // The sample folder as it is opened, with its trailing separator.
    QString sampleFolder;
    // Shows a folder in the desktop's file manager.
    std::function<void(const QString &folder)> openFolder;
};

// "Load Sample/Example Files": appends every recorded sample file that still
// exists and is not listed yet, then offers to open the sample folder.
// Returns the number of rows appended.
int LoadSampleFiles(TextListModel &list, const SampleLoadContext &context);

} // namespace brinmoor::filelist
