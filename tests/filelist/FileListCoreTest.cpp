#include "AddFiles.h"
#include "FileListEditing.h"
#include "FilePaths.h"
#include "SampleFiles.h"
#include "SampleSet.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "TextListModel.h"


#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &texts, std::ostream *out)
{
    *out << '[' << texts.join(QLatin1String("] [")).toStdString() << ']';
}
QT_END_NAMESPACE

using namespace brinmoor;
using namespace brinmoor::filelist;

namespace {

QString operator""_q(const char *text, std::size_t)
{
    return QString::fromUtf8(text);
}


} // namespace

TEST(NormalizeSeparators, FollowsTheNetworkPathRuleWhereThePlatformHasOne)
{
    const QChar bs = QLatin1Char('\\');
    const auto windows = [bs](const QString &path) { return NormalizeSeparators(path, bs, true); };
    EXPECT_EQ(windows("a\\\\\\b"_q), "a\\\\b"_q);                 // three become two
    EXPECT_EQ(windows("\\dir\\x"_q), "\\\\dir\\x"_q);             // one leading becomes two
    EXPECT_EQ(windows("\\\\\\\\"_q), "\\\\"_q);                   // four alone become two
    EXPECT_EQ(windows("C:\\\\notes.txt"_q), "C:\\notes.txt"_q);
    EXPECT_EQ(windows("\\\\server\\share\\\\a.txt"_q), "\\\\server\\share\\a.txt"_q);
    EXPECT_EQ(windows("\\\\\\\\server\\a.txt"_q), "\\\\server\\a.txt"_q);
    EXPECT_EQ(windows(QString()), QString());
}

#ifndef Q_OS_WIN
TEST(NormalizeBackslashes, CollapsesDoubledSeparatorsWithoutNetworkPathsOnPosix)
{
    EXPECT_EQ(NormalizeBackslashes("/home//ann/a.txt"_q), "/home/ann/a.txt"_q);
    EXPECT_EQ(NormalizeBackslashes("a///b"_q), "a//b"_q);
    EXPECT_EQ(NormalizeBackslashes("/dir/x"_q), "/dir/x"_q);      // not made a network path
    EXPECT_EQ(NormalizeBackslashes("//dir/x"_q), "/dir/x"_q);
    EXPECT_EQ(NormalizeBackslashes("////"_q), "//"_q);
    EXPECT_EQ(NormalizeBackslashes("a\\\\b"_q), "a\\\\b"_q);      // a backslash is a name character
    EXPECT_EQ(NormalizeBackslashes(QString()), QString());
}
#endif

TEST(PathQueries, TellFilesFoldersAndMissingPathsApart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("a.txt"_q);
    touch(file);
    const QString missing = dir.filePath("missing.txt"_q);
    const QString withNul = dir.path() + "/a"_q + QChar(0) + ".txt"_q;

    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(PathExists(dir.path()));
    EXPECT_FALSE(PathExists(missing));
    EXPECT_FALSE(PathExists(QString()));
    EXPECT_FALSE(PathExists(withNul));

    EXPECT_FALSE(IsUnreadablePath(file));
    EXPECT_FALSE(IsUnreadablePath(dir.path()));
    EXPECT_TRUE(IsUnreadablePath(missing));
    EXPECT_TRUE(IsUnreadablePath(QString()));
    EXPECT_TRUE(IsUnreadablePath(withNul));
}

TEST(AddFilesFilter, IsTranslatedToQtsForm)
{
    EXPECT_EQ(qtFileFilters(QString::fromLatin1(AddFilesFilter)),
              QStringList({"All Files (*)"_q, "Text Files (*.txt)"_q, "HTML Files (*.htm *.html)"_q}));
    // The save dialog's filter ends with a "|".
    EXPECT_EQ(qtFileFilters("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_q),
              QStringList({"Text Files (*.txt)"_q, "All Files (*)"_q}));
}

TEST(PlanAddedFiles, TakesOneFileAsDelivered)
{
    using Kind = AddFilesStep::Kind;
    // Neither cleaned nor tested: the dialog vouches for a single name.
    const QString odd = QDir::toNativeSeparators("/no/such//folder/x.txt"_q);
    EXPECT_EQ(planAddedFiles({odd}), (QList<AddFilesStep>{{Kind::AppendRow, odd}}));
}

TEST(PlanAddedFiles, JoinsCleansAndTestsEachOfSeveral)
{
    using Kind = AddFilesStep::Kind;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QDir::toNativeSeparators(dir.path());
    const QString sep = QDir::separator();
    touch(dir.filePath("a.txt"_q));
    touch(dir.filePath("c.txt"_q));

    const QStringList selection{folder + sep + "a.txt"_q, folder + sep + "gone.txt"_q, folder + sep + "c.txt"_q};
    const QList<AddFilesStep> expected{
        {Kind::AppendRow, folder + sep + "a.txt"_q},
        {Kind::ShowMessage,
         folder + sep + "gone.txt\r\rwas not added because it has bad characters in the filename."_q},
        {Kind::AppendRow, folder + sep + "c.txt"_q},
    };
    EXPECT_EQ(planAddedFiles(selection), expected);
}

#ifndef Q_OS_WIN
TEST(PlanAddedFiles, SeveralInTheRootFolderGetOneSeparator)
{
    using Kind = AddFilesStep::Kind;
    // The root keeps its separator when split off; the doubled one that
    // joining gives is cleaned away again.
    const QList<AddFilesStep> expected{{Kind::AppendRow, "/tmp"_q}, {Kind::AppendRow, "/etc"_q}};
    EXPECT_EQ(planAddedFiles({"/tmp"_q, "/etc"_q}), expected);
}
#endif

TEST(PlanAddedFiles, AnOverflowAddsNothingAndSaysSoOnce)
{
    const QList<AddFilesStep> steps = planAddedFiles({"/tmp"_q, "/etc"_q}, true);
    ASSERT_EQ(steps.size(), 1);
    EXPECT_EQ(steps[0].kind, AddFilesStep::Kind::ShowMessage);
    EXPECT_EQ(steps[0].text,
              "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_q);
}

class AddFilesCommand : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    ScriptedFileListDialogs fileDialogs;
    TextListModel list;
    int filterIndex = 0;
};

TEST_F(AddFilesCommand, ShowsTheDialogWithItsTitleAndFilterAndKeepsTheChosenFilter)
{
    fileDialogs.nextFilterIndex = 2;
    AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex);
    filterIndex = 1;
    fileDialogs.nextFilterIndex = -1;
    AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex);

    ASSERT_EQ(fileDialogs.fileRequests.size(), 2);
    EXPECT_EQ(fileDialogs.fileRequests[0].title, "Add File(s) - Hold Ctrl to select multiple files"_q);
    EXPECT_EQ(fileDialogs.fileRequests[0].filters.size(), 3);
    EXPECT_EQ(fileDialogs.fileRequests[0].filterIndex, 0);
    EXPECT_EQ(fileDialogs.fileRequests[1].filterIndex, 1);   // whatever the caller kept
    EXPECT_EQ(filterIndex, 1);
}

TEST_F(AddFilesCommand, CancelAddsAndShowsNothing)
{
    EXPECT_EQ(AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex), 0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AddFilesCommand, AnOverflowingDialogLeavesTheListAsItWas)
{
    list.add("earlier"_q);
    fileDialogs.selections.append({{"/tmp"_q, "/etc"_q}, true});
    EXPECT_EQ(AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex), 0);
    EXPECT_EQ(list.texts(), QStringList({"earlier"_q}));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("You've selected too many files to add."_q));
    EXPECT_EQ(dialogs.messages[0].title, "Brinmoor"_q);
}

TEST_F(AddFilesCommand, RowsBeforeARejectedNameAreListedWhenItsBoxShows)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    touch(folder + "a.txt"_q);
    touch(folder + "c.txt"_q);
    list.add("earlier"_q);
    fileDialogs.selections.append({{folder + "a.txt"_q, folder + "gone.txt"_q, folder + "c.txt"_q}, false});
    QStringList listedWhileShown;
    dialogs.onMessage = [&](const ScriptedDialogs::Message &) { listedWhileShown = list.texts(); };

    EXPECT_EQ(AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex), 2);

    EXPECT_EQ(listedWhileShown, QStringList({"earlier"_q, folder + "a.txt"_q}));
    EXPECT_EQ(list.texts(), QStringList({"earlier"_q, folder + "a.txt"_q, folder + "c.txt"_q}));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, "Brinmoor"_q);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(folder + "gone.txt\r\r"_q));
}

TEST_F(AddFilesCommand, TheSameFileTwiceStandsTwice)
{
    const QString path = QDir::toNativeSeparators("/tmp/one.txt"_q);
    fileDialogs.selections.append({{path}, false});
    fileDialogs.selections.append({{path}, false});
    AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex);
    AddFiles(fileDialogs, dialogs, list, "Brinmoor"_q, filterIndex);
    EXPECT_EQ(list.texts(), QStringList({path, path}));
}

TEST(FileListEditing, ClearingAndRemovingWaitForTheBusyPointer)
{
    TextListModel list;
    list.append({"a"_q, "b"_q, "c"_q, "d"_q});
    bool busy = true;
    const auto isBusy = [&busy] { return busy; };

    EXPECT_FALSE(RemoveFileListRow(list, 1, isBusy));
    EXPECT_FALSE(ClearFileList(list, isBusy));
    EXPECT_EQ(list.count(), 4);

    busy = false;
    EXPECT_TRUE(RemoveFileListRow(list, 1, isBusy));
    EXPECT_EQ(list.texts(), QStringList({"a"_q, "c"_q, "d"_q}));
    EXPECT_FALSE(RemoveFileListRow(list, 3, isBusy));   // no such row
    EXPECT_TRUE(ClearFileList(list, isBusy));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(ClearFileList(list, {}));                // empty, nothing to ask
}

class SampleLoading : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.isValid());
        ASSERT_TRUE(samples.isValid());
        settings = std::make_unique<SettingsStore>(store.filePath("settings.conf"_q));
        for (const char *name : {"one.txt", "two.cpp", "three.txt"})
            touch(samples.filePath(QLatin1String(name)));
        folder = QDir::toNativeSeparators(samples.path());
    }

    SampleLoadContext context()
    {
        return {*settings, dialogs, "Brinmoor"_q, folder + QDir::separator(),
                [this](const QString &opened) { openedFolders.append(opened); }};
    }

    QStringList recordedPaths() const
    {
        const QString record = unscrambleRecord(settings->read(QLatin1String(settings::Snapshot), QString()));
        return record.split(QLatin1Char('|'));
    }

    QTemporaryDir store;
    QTemporaryDir samples;
    QString folder;
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogs dialogs;
    TextListModel list;
    QStringList openedFolders;
};

TEST_F(SampleLoading, LoadsTheRecordedFilesOnceAndAsksEveryTime)
{
    ASSERT_EQ(SaveSamplesSnapshot(*settings, folder), QString());
    const QStringList recorded = recordedPaths();
    ASSERT_EQ(recorded.size(), 3);

    EXPECT_EQ(LoadSampleFiles(list, context()), 3);
    EXPECT_EQ(list.texts(), recorded);
    EXPECT_EQ(LoadSampleFiles(list, context()), 0);
    EXPECT_EQ(list.texts(), recorded);

    const QString question =
        "Would you like this software to open the folder where these sample files are stored (so that you "
        "can view them before working with them)?"_q;
    EXPECT_EQ(dialogs.texts(), QStringList({question, question}));
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(dialogs.messages[0].title, "Brinmoor"_q);
    EXPECT_TRUE(openedFolders.isEmpty());   // answered No
}

TEST_F(SampleLoading, ARecordTooLongIsRefusedAndNothingStored)
{
    // 140 names of 240 characters make a record well over 32,767.
    for (int i = 0; i < 140; ++i)
        touch(samples.filePath(QStringLiteral("%1").arg(i, 240, 10, QLatin1Char('x'))));
    const QString problem = SaveSamplesSnapshot(*settings, folder);
    EXPECT_TRUE(problem.startsWith("The sample set record is too long ("_q)) << problem.toStdString();
    EXPECT_TRUE(problem.endsWith(" characters)."_q));
    EXPECT_EQ(settings->read(QLatin1String(settings::Snapshot), "<missing>"_q), "<missing>"_q);
}

TEST_F(SampleLoading, OpensTheFolderOnYesOnly)
{
    ASSERT_EQ(SaveSamplesSnapshot(*settings, folder), QString());
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};
    LoadSampleFiles(list, context());
    EXPECT_EQ(openedFolders, QStringList({folder + QDir::separator()}));
    LoadSampleFiles(list, context());
    EXPECT_EQ(openedFolders.size(), 1);
}

TEST_F(SampleLoading, SkipsDeletedAndLaterFilesButNotOtherCases)
{
    ASSERT_EQ(SaveSamplesSnapshot(*settings, folder), QString());
    QStringList recorded = recordedPaths();
    ASSERT_TRUE(QFile::remove(recorded[1]));
    touch(samples.filePath("added-later.txt"_q));
    list.add(recorded[0].toUpper());   // differs in letter case only

    EXPECT_EQ(LoadSampleFiles(list, context()), 2);
    EXPECT_EQ(list.texts(), QStringList({recorded[0].toUpper(), recorded[0], recorded[2]}));
}

TEST_F(SampleLoading, WithoutARecordAddsNothingButStillAsks)
{
    EXPECT_EQ(LoadSampleFiles(list, context()), 0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST(ListviewHasItem, MatchesWholeTextsCaseSensitively)
{
    TextListModel list;
    EXPECT_FALSE(ListviewHasItem(list, QString()));
    list.append({"/a/b.txt"_q, "/a/c.txt"_q});
    EXPECT_TRUE(ListviewHasItem(list, "/a/c.txt"_q));
    EXPECT_FALSE(ListviewHasItem(list, "/a/C.txt"_q));
    EXPECT_FALSE(ListviewHasItem(list, "/a/c"_q));
}

#ifdef BRINMOOR_BUILT_SAMPLES
// The shipped samples arrive beside the program byte for byte (no line-end
// conversion on the way) and hold the kinds of text they are there to show.
TEST(ShippedSamples, AreCopiedBesideTheProgramUnchanged)
{
    const QDir built(QStringLiteral(BRINMOOR_BUILT_SAMPLES));
    const QDir source(QStringLiteral(BRINMOOR_SOURCE_SAMPLES));
    const QStringList names = source.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 5);
    EXPECT_EQ(built.entryList(QDir::Files, QDir::Name), names);
    bool utf16 = false, lfOnly = false, crlf = false, storm = false;
    for (const QString &name : names) {
        QFile a(source.filePath(name)), b(built.filePath(name));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray bytes = a.readAll();
        EXPECT_EQ(bytes, b.readAll()) << name.toStdString();
        EXPECT_LT(bytes.size(), 8 * 1024) << name.toStdString();
        utf16 |= bytes.startsWith("\xff\xfe");
        crlf |= bytes.contains("\r\n");
        lfOnly |= bytes.contains('\n') && !bytes.contains('\r');
        storm |= bytes.toLower().contains("storm");
    }
    EXPECT_TRUE(utf16 && lfOnly && crlf && storm);
}
#endif
