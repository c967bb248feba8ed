#include "SampleSet.h"

#include "FolderWalk.h"
#include "SettingsStore.h"

#include <QDir>

namespace brinmoor::filelist {

namespace {

// Longer records do not fit the sample loader's counters.
constexpr qsizetype MaxRecordLength = 32767;

// Rotates the printable ASCII characters '!'..'~' by half their range, which
// is its own inverse; every other character stays as it is.
QString rotate(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u >= u'!' && u <= u'~')
            c = QChar(char16_t(u'!' + (u - u'!' + 47) % 94));
    }
    return result;
}

} // namespace

QString sampleRecord(const QString &sampleFolder, const QStringList &names)
{
    QStringList paths;
    paths.reserve(names.size());
    for (const QString &name : names)
        paths.append(sampleFolder + QDir::separator() + name);
    return paths.join(QLatin1Char('|'));
}

QString scrambleRecord(const QString &record)
{
    return rotate(record);
}

QString unscrambleRecord(const QString &stored)
{
    return rotate(stored);
}

QString SaveSamplesSnapshot(SettingsStore &settings, const QString &sampleFolder)
{
    // Only files that can be opened (a pipe or a link to nothing in the
    // folder would be loaded later and fail the count), listed by the names'
    // own bytes, so that every file leads back to its name, UTF-8 or not.
    const QStringList names = ListFiles(sampleFolder, QStringLiteral("*.*"));
    const QString record = sampleRecord(QDir::toNativeSeparators(sampleFolder), names);
    if (record.size() > MaxRecordLength)
        return QStringLiteral("The sample set record is too long (%1 characters).").arg(record.size());
    return settings.write(QLatin1String(settings::Snapshot), scrambleRecord(record));
}

} // namespace brinmoor::filelist
