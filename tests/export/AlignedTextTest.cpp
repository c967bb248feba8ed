#include "FailingDevice.h"
#include "QtPrinters.h"

#include <AlignedText.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brinmoor;
using namespace brinmoor::exports;

namespace {

QString S(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

const QString Header = QString::fromLatin1(texts::ResultsHeader);
// 21 and 20 characters: the worked example of the text and clipboard exports.
const QString Row21 = QStringLiteral("12 lines - /tmp/a.txt");
const QString Row20 = QStringLiteral("9 lines - /tmp/b.txt");

ResultRowsSource results(QList<ResultRowView> rows)
{
    return ResultRowsSource(Header, std::move(rows));
}

QByteArray exportToBuffer(const ListSource &list)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(SaveListviewProperlySpaced(list, buffer, QStringLiteral("out.txt")), std::nullopt);
    return buffer.data();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct ProgressStep
{
    int value;
    QString caption;
};

} // namespace

TEST(AlignedText, WorkedExamplePadsToTheLongestRowAndEndsEveryLineWithCrLf)
{
    ASSERT_EQ(Row21.size(), 21);
    ASSERT_EQ(Row20.size(), 20);
    const auto list = results({{Row21, true}, {Row20, true}});
    EXPECT_EQ(columnWidths(list, true), QList<int>{21});
    EXPECT_EQ(exportToBuffer(list), (Header + QString(13, u' ') + S("\t\r\n") + Row21 + S("\t\r\n") + Row20 + S(" \t\r\n")).toUtf8());
}

TEST(AlignedText, HeaderSetsTheWidthForShortRowsAndAnEmptyListGivesTheHeaderAlone)
{
    EXPECT_EQ(exportToBuffer(results({{QStringLiteral("abc"), true}})), QByteArray(" Results\t\r\nabc     \t\r\n"));
    EXPECT_EQ(exportToBuffer(results({})), QByteArray(" Results\t\r\n"));
    EXPECT_EQ(exportToBuffer(results({{QStringLiteral("abc"), false}})), QByteArray(" Results\t\r\n"));
}

TEST(AlignedText, UncheckedRowsWidenTheColumnButLeaveNoLine)
{
    const auto list = results({{QStringLiteral("one"), true}, {QString(30, u'x'), false}, {QStringLiteral("two  "), true}});
    // Blanks the row text ends in stay in the file.
    EXPECT_EQ(exportToBuffer(list), (Header + QString(22, u' ') + S("\t\r\none") + QString(27, u' ') + S("\t\r\ntwo  ") +
                                     QString(25, u' ') + S("\t\r\n"))
                                        .toUtf8());
}

TEST(AlignedText, WidthsCountUtf16UnitsAndTheFileIsUtf8)
{
    // Five clefs outside the basic plane: 10 UTF-16 units, 20 UTF-8 bytes.
    const QString clefs = QString::fromUtf8("\xF0\x9D\x84\x9E").repeated(5);
    const QString accented = QString::fromUtf8("caf\xC3\xA9");
    const auto list = results({{clefs, true}, {accented, true}});
    EXPECT_EQ(columnWidths(list, true), QList<int>{10});
    EXPECT_EQ(exportToBuffer(list), QByteArray(" Results  \t\r\n") + clefs.toUtf8() + "\t\r\n" + accented.toUtf8() +
                                        QByteArray(6, ' ') + "\t\r\n");
}

TEST(AlignedText, SeveralColumnsAreAlignedOneByOne)
{
    const TableSource table({QStringLiteral("Name"), QStringLiteral("N")},
                            {{{QStringLiteral("a"), QStringLiteral("12345")}, true},
                             {{QStringLiteral("longer name")}, true}});
    EXPECT_EQ(columnWidths(table, true), (QList<int>{11, 5}));
    EXPECT_EQ(columnWidths(table, false), (QList<int>{11, 5}));
    EXPECT_EQ(exportToBuffer(table), QByteArray("Name       \tN    \t\r\n"
                                                "a          \t12345\t\r\n"
                                                "longer name\t     \t\r\n"));
}

TEST(ClipboardText, WorkedExampleHasNoHeaderAndTrimmedLineEnds)
{
    const auto list = results({{Row21, true}, {Row20, true}});
    EXPECT_EQ(columnWidths(list, false), QList<int>{21});
    EXPECT_EQ(CopyListviewProperlySpaced(list), Row21 + S("\r\n") + Row20 + S("\r\n"));
}

TEST(ClipboardText, TrimsBlanksButKeepsInnerTabsAndSkipsUncheckedRows)
{
    EXPECT_EQ(CopyListviewProperlySpaced(results({{QStringLiteral("ends in blanks   "), true},
                                                  {QString(40, u'x'), false},
                                                  {QStringLiteral("  lead"), true}})),
              QStringLiteral("ends in blanks\r\n  lead\r\n"));
    // The header never widens the clipboard columns.
    EXPECT_EQ(CopyListviewProperlySpaced(results({{QStringLiteral("a"), true}})), QStringLiteral("a\r\n"));

    // An empty last cell leaves the tab after the cell before it.
    const TableSource table({QStringLiteral("A"), QStringLiteral("B")},
                            {{{QStringLiteral("x"), QString()}, true}, {{QStringLiteral("yy"), QStringLiteral("zzz")}, true}});
    EXPECT_EQ(CopyListviewProperlySpaced(table), QStringLiteral("x \t\r\nyy\tzzz\r\n"));
}

TEST(ClipboardText, IsEmptyWithoutCheckedRows)
{
    EXPECT_EQ(CopyListviewProperlySpaced(results({})), QString());
    EXPECT_EQ(CopyListviewProperlySpaced(results({{Row21, false}})), QString());
}

TEST(AlignedTextProgress, RunsFromOneToZeroAndNamesEveryThousandthWrittenPosition)
{
    QList<ResultRowView> rows;
    for (int i = 1; i <= 3000; ++i)
        rows.append({QString::number(i), i != 2000});
    const auto list = results(rows);

    QList<ProgressStep> steps;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_EQ(SaveListviewProperlySpaced(list, buffer, QStringLiteral("out.txt"),
                                         [&](int value, const QString &caption) { steps.append({value, caption}); }),
              std::nullopt);

    ASSERT_GE(steps.size(), 6);
    const QString writing = QStringLiteral("Writing file: out.txt");
    EXPECT_EQ(steps.at(0).value, 1);
    EXPECT_EQ(steps.at(0).caption, writing);
    EXPECT_EQ(steps.at(1).value, 10);
    EXPECT_EQ(steps.at(2).value, 20);
    EXPECT_EQ(steps.at(steps.size() - 2).value, 100);
    EXPECT_EQ(steps.at(steps.size() - 2).caption, QStringLiteral("Done."));
    EXPECT_EQ(steps.last().value, 0);
    EXPECT_EQ(steps.last().caption, QStringLiteral("Progress Bar"));

    // The rows start the bar again from their own share, then it only rises.
    QStringList captions{writing};
    int previous = 0;
    for (const ProgressStep &step : steps.mid(3, steps.size() - 5)) {
        EXPECT_GE(step.value, previous);
        EXPECT_LE(step.value, 100);
        previous = step.value;
        if (captions.isEmpty() || captions.last() != step.caption)
            captions.append(step.caption);
    }
    // Position 2000 is unchecked, so its caption never shows.
    EXPECT_EQ(captions, (QStringList{writing, writing + S(" (1000)"), writing + S(" (3000)")}));
    // (1 + 3000 div 2000) / 3000 * 100, floored, for the first row.
    EXPECT_EQ(steps.at(3).value, 0);
}

TEST(AlignedTextFailure, DeviceThatFillsUpGivesOneFailureAndNoDone)
{
    QList<ResultRowView> rows;
    for (int i = 0; i < 50000; ++i)
        rows.append({QStringLiteral("%1 lines - /data/file%1.txt").arg(i), true});
    const auto list = results(rows);

    for (const qint64 limit : {qint64(0), qint64(5), qint64(100000)}) {
        FailingDevice device(limit);
        QStringList captions;
        const auto failure = SaveListviewProperlySpaced(list, device, QStringLiteral("out.txt"),
                                                        [&](int, const QString &caption) { captions.append(caption); });
        ASSERT_TRUE(failure.has_value()) << limit;
        // A device has no path of its own. The header line takes 11 bytes.
        EXPECT_EQ(*failure, (ExportFailure{limit < 11 ? ExportStage::Header : ExportStage::Rows,
                                           {QString(), QStringLiteral("No space left on device")}}))
            << limit;
        EXPECT_FALSE(captions.contains(QStringLiteral("Done.")));
        EXPECT_EQ(captions.last(), QStringLiteral("Progress Bar"));
        EXPECT_EQ(device.written().size(), limit);
    }
}

TEST(AlignedTextFailure, AFlushThatFailsAfterBufferedWritesFailsTheSave)
{
    // A short table fits the file's buffer, so every write "succeeds" and
    // only the flush meets the full device.
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly));
    QStringList captions;
    const auto failure = SaveListviewProperlySpaced(results({{Row21, true}}), full, QStringLiteral("out.txt"),
                                                    [&](int, const QString &caption) { captions.append(caption); });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, (ExportFailure{ExportStage::Close, {QString(), QStringLiteral("No space left on device")}}));
    EXPECT_FALSE(captions.contains(QStringLiteral("Done.")));
}

class AlignedTextFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QStringList entries() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QTemporaryDir m_dir;
    const ResultRowsSource m_list = results({{Row21, true}, {Row20, true}});
};

TEST_F(AlignedTextFile, ReplacesAnExistingFileAndLeavesNothingBeside)
{
    writeFile(path(QStringLiteral("results")), QByteArray(100000, 'o'));
    QStringList captions;
    EXPECT_EQ(SaveListviewProperlySpaced(m_list, path(QStringLiteral("results")),
                                         [&](int, const QString &caption) { captions.append(caption); }),
              std::nullopt);
    EXPECT_EQ(readFile(path(QStringLiteral("results"))), exportToBuffer(m_list));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("results")});
    EXPECT_EQ(captions.first(), QStringLiteral("Writing file: results"));
    EXPECT_TRUE(captions.contains(QStringLiteral("Done.")));
}

TEST_F(AlignedTextFile, TargetThatCannotBeCreatedGivesOneFailure)
{
    writeFile(path(QStringLiteral("plain")), "a regular file");
    for (const QString &target : {path(QStringLiteral("plain/out.txt")), path(QStringLiteral("missing/out.txt")),
                                  m_dir.path()}) {
        QStringList captions;
        const auto failure = SaveListviewProperlySpaced(m_list, target, [&](int, const QString &c) { captions.append(c); });
        ASSERT_TRUE(failure.has_value()) << target.toStdString();
        EXPECT_EQ(failure->stage, ExportStage::Create);
        EXPECT_EQ(failure->failure.path, QDir::toNativeSeparators(target));
        EXPECT_FALSE(failure->failure.reason.isEmpty());
        EXPECT_FALSE(captions.contains(QStringLiteral("Done.")));
        EXPECT_EQ(captions.last(), QStringLiteral("Progress Bar"));
    }
    EXPECT_EQ(readFile(path(QStringLiteral("plain"))), QByteArray("a regular file"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("plain")});
}

TEST_F(AlignedTextFile, ReadOnlyFolderKeepsTheOldFile)
{
    const QString target = path(QStringLiteral("old.txt"));
    writeFile(target, "old contents");
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool writable = ::access(QFile::encodeName(m_dir.path()).constData(), W_OK) == 0;
    const auto failure = SaveListviewProperlySpaced(m_list, target);
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (writable)
        GTEST_SKIP() << "this user may write into read-only folders (root); the other failure tests cover it";
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(readFile(target), QByteArray("old contents"));
}

TEST_F(AlignedTextFile, WriteFailingHalfwayKeepsTheOldFile)
{
    QList<ResultRowView> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({QStringLiteral("%1 lines - /data/file%1.txt").arg(i), true});
    const auto big = results(rows);
    const QString target = path(QStringLiteral("old.txt"));
    writeFile(target, "old contents");

    // A file size limit makes the disk "fill up" after 64 KiB for this
    // process alone; the signal it raises is ignored so the write fails.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QStringList captions;
    const auto failure = SaveListviewProperlySpaced(big, target, [&](int, const QString &c) { captions.append(c); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->stage == ExportStage::Rows || failure->stage == ExportStage::Close) << int(failure->stage);
    EXPECT_EQ(failure->failure.path, QDir::toNativeSeparators(target));
    EXPECT_FALSE(captions.contains(QStringLiteral("Done.")));
    EXPECT_EQ(readFile(target), QByteArray("old contents"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("old.txt")});
}

TEST_F(AlignedTextFile, AFullFileSystemKeepsTheOldFileAndNamesTheReason)
{
    const QString mountPoint = path(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    const QString target = mountPoint + QStringLiteral("/old.txt");
    writeFile(target, "old contents");
    {
        // Fill what is left, so the save's first page has no room.
        QFile filler(mountPoint + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    QStringList captions;
    const auto failure = SaveListviewProperlySpaced(m_list, target, [&](int, const QString &c) { captions.append(c); });
    const QByteArray kept = readFile(target);
    const QStringList left = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden);
    ::umount(QFile::encodeName(mountPoint).constData());

    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->failure, (PathFailure{QDir::toNativeSeparators(target), S("No space left on device")}));
    EXPECT_FALSE(captions.contains(QStringLiteral("Done.")));
    EXPECT_EQ(kept, QByteArray("old contents"));
    EXPECT_EQ(left, (QStringList{QStringLiteral("filler"), QStringLiteral("old.txt")}));
}

TEST_F(AlignedTextFile, AReplacedFileKeepsItsPermissionBitsAndOwner)
{
    const bool administrator = ::geteuid() == 0;
    for (const mode_t mode : {mode_t(0444), mode_t(0640), mode_t(0604), mode_t(0755)}) {
        const QString target = path(QStringLiteral("kept%1").arg(mode, 0, 8));
        writeFile(target, "old");
        const QByteArray native = QFile::encodeName(target);
        ASSERT_EQ(::chmod(native.constData(), mode), 0);
        // Only an administrator may give a file to someone else.
        if (administrator) {
            ASSERT_EQ(::chown(native.constData(), 1, 1), 0);
        }
        struct stat before {};
        ASSERT_EQ(::stat(native.constData(), &before), 0);

        ASSERT_EQ(SaveListviewProperlySpaced(m_list, target), std::nullopt) << mode;
        struct stat after {};
        ASSERT_EQ(::stat(native.constData(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(after.st_uid, before.st_uid) << mode;
        EXPECT_EQ(after.st_gid, before.st_gid) << mode;
        EXPECT_EQ(readFile(target), exportToBuffer(m_list));
    }
}
