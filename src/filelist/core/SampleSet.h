#pragma once

#include <QString>
#include <QStringList>

namespace brinmoor {
class SettingsStore;
}

namespace brinmoor::filelist {

// The sample set record: the full paths of the files found in the sample
// folder, joined with "|". It is stored scrambled, one character for one
// character, so that its length stays that of the record.
QString sampleRecord(const QString &sampleFolder, const QStringList &names);
QString scrambleRecord(const QString &record);
QString unscrambleRecord(const QString &stored);

// Records the files of sampleFolder under "Snapshot". Empty on success,
// otherwise why nothing was stored.
QString SaveSamplesSnapshot(SettingsStore &settings, const QString &sampleFolder);

} // namespace brinmoor::filelist
