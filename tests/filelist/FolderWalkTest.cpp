#include "ErrorReport.h"
#include "FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace brinmoor;
using namespace brinmoor::filelist;

class RecordingSink : public FailureSink
{
public:
    void report(const Failure &failure) override { failures.push_back(failure); }
    std::vector<Failure> failures;
};

// A folder opener that refuses one folder with error and opens the rest.
std::function<int(const char *)> refusing(const std::string &folder, int error)
{
    return [folder, error](const char *path) {
        if (path == folder) {
            errno = error;
            return -1;
        }
        return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    };
}

// Trees are made with raw byte names, so that names which are not valid
// UTF-8 can be made too.
class FolderWalkTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    // QTemporaryDir cannot remove names that are not UTF-8; the byte-based
    // removal can.
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(raw({}), ignored);
    }

    std::string raw(const std::string &relative) const
    {
        return QFile::encodeName(m_dir.path()).toStdString() + (relative.empty() ? "" : "/" + relative);
    }
    QString at(const QString &relative) const { return m_dir.path() + u'/' + relative; }

    void folders(std::initializer_list<std::string> relatives) const
    {
        for (const std::string &relative : relatives)
            ASSERT_EQ(::mkdir(raw(relative).c_str(), 0755), 0) << relative;
    }
    void files(std::initializer_list<std::string> relatives) const
    {
        for (const std::string &relative : relatives) {
            const int fd = ::open(raw(relative).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            ASSERT_GE(fd, 0) << relative;
            ASSERT_EQ(::write(fd, "x\n", 2), 2);
            ::close(fd);
        }
    }
    void link(const std::string &target, const std::string &relative) const
    {
        ASSERT_EQ(::symlink(target.c_str(), raw(relative).c_str()), 0) << relative;
    }

    // The names, as given, in the order in which the folder lists them.
    QStringList inListingOrder(const QString &folder, const QStringList &names) const
    {
        QStringList ordered;
        const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        for (const QString &name : QDir(at(folder)).entryList(all, QDir::Unsorted)) {
            if (names.contains(name))
                ordered << name;
        }
        return ordered;
    }

    QTemporaryDir m_dir;
};

TEST_F(FolderWalkTest, ListsLevelByLevelInTheOrderOfTheParents)
{
    folders({"a", "b", "a/a1", "b/b1", "b/b2", "a/a1/deep"});
    files({"r1.txt", "r2.txt", "a/a.txt", "b/b.txt", "a/a1/a1.txt", "b/b1/b1.txt", "b/b2/b2.txt",
           "a/a1/deep/d.txt"});

    QStringList expectedFiles;
    QStringList expectedFolders{m_dir.path()};
    for (const QString &name : inListingOrder({}, {"r1.txt", "r2.txt"}))
        expectedFiles << at(name);
    const QStringList level1 = inListingOrder({}, {"a", "b"});
    for (const QString &parent : level1) {
        expectedFolders << at(parent);
        expectedFiles << at(parent + u'/' + parent + ".txt");
    }
    for (const QString &parent : level1) {
        const QStringList children = parent == u"a" ? QStringList{"a1"} : inListingOrder("b", {"b1", "b2"});
        for (const QString &child : children) {
            expectedFolders << at(parent + u'/' + child);
            expectedFiles << at(parent + u'/' + child + u'/' + child + ".txt");
        }
    }
    expectedFolders << at("a/a1/deep");
    expectedFiles << at("a/a1/deep/d.txt");

    EXPECT_EQ(walkFolder(m_dir.path(), "*.txt"), expectedFiles);
    EXPECT_EQ(GetSubDirectories2016(m_dir.path()), expectedFolders);
}

TEST_F(FolderWalkTest, PatternsMatchAsTypedIgnoringCase)
{
    files({"a.txt", "B.TXT", "c.txt.bak", "two..txt", "README", "d.tet"});
    const auto names = [this](const QString &pattern) {
        QStringList found = walkFolder(m_dir.path(), pattern);
        for (QString &path : found)
            path = path.mid(m_dir.path().size() + 1);
        found.sort();
        return found;
    };
    EXPECT_EQ(names("*.*"), (QStringList{"B.TXT", "README", "a.txt", "c.txt.bak", "d.tet", "two..txt"}));
    EXPECT_EQ(names("*.txt"), (QStringList{"B.TXT", "a.txt", "two..txt"}));
    EXPECT_EQ(names("*..txt"), QStringList{"two..txt"});
    EXPECT_EQ(names("*.t?t"), (QStringList{"B.TXT", "a.txt", "d.tet", "two..txt"}));
}

TEST_F(FolderWalkTest, LeavesOutTildeNamesDotFilesAndWhatIsNoRegularFile)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    QFile(outside.filePath("target.txt")).open(QIODevice::WriteOnly);

    folders({".dotdir", "~tilde", "sub"});
    files({"keep.txt", "~lock.txt", ".hidden.txt", ".dotdir/in.txt", "~tilde/in.txt", "noread.txt"});
    ASSERT_EQ(::mkfifo(raw("pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(raw("noread.txt").c_str(), 0), 0);
    link(QFile::encodeName(outside.filePath("target.txt")).toStdString(), "outside.txt");
    link(QFile::encodeName(outside.filePath("target.txt")).toStdString(), ".dotlink.txt");
    link("missing.txt", "dangling.txt");
    link("..", "sub/up");   // a link back to the root: walked once

    QStringList found = walkFolder(m_dir.path(), "*.txt");
    found.sort();
    // A hidden file is left out only as a plain file (value 34); a link to
    // one is 1058 and stays. A folder's "~" or dot does not matter.
    EXPECT_EQ(found, (QStringList{at(".dotdir/in.txt"), at(".dotlink.txt"), at("keep.txt"), at("noread.txt"),
                                  at("outside.txt"), at("~tilde/in.txt")}));
}

TEST_F(FolderWalkTest, SkipsFoldersWithBadNamesAndEverythingBelowThem)
{
    folders({"ctl\x01", "nel\xc2\x85", "what?", "bytes\xff\xfe", "del\x7f", "caf\xc3\xa9", "caf\xc3\xa9/inner",
             "ctl\x01/inner"});
    files({"ctl\x01/f.txt", "ctl\x01/inner/f.txt", "nel\xc2\x85/f.txt", "what?/f.txt", "bytes\xff\xfe/f.txt",
           "del\x7f/f.txt", "caf\xc3\xa9/f.txt", "caf\xc3\xa9/inner/f.txt", "bad\xff.txt"});

    QStringList found = walkFolder(m_dir.path(), "*.txt");
    found.sort();
    // The file whose name is not UTF-8 could not be opened by its decoded
    // path, so it is not offered either.
    EXPECT_EQ(found, (QStringList{at(QStringLiteral("café/f.txt")), at(QStringLiteral("café/inner/f.txt"))}));
}

TEST(HasBadCharactersTest, JudgesCharactersNotTheirBytes)
{
    EXPECT_FALSE(HasBadCharacters(QStringLiteral("plain name")));
    EXPECT_FALSE(HasBadCharacters(QStringLiteral("it’s – ünïcødé 日本 😀")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("tab\there")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("del\x7f")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("c1\u009f")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("why?")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("lost\ufffd")));
    EXPECT_TRUE(HasBadCharacters(QStringLiteral("lone") + QChar(0xd800)));
    EXPECT_TRUE(HasBadCharacters(QChar(0xdc00) + QStringLiteral("lone")));
}

TEST_F(FolderWalkTest, FoldersThatCannotBeListedDropOutWithTheirFiles)
{
    folders({"open", "shut", "shut/below"});
    files({"top.txt", "open/o.txt", "shut/s.txt", "shut/below/b.txt"});
    const std::string shut = raw("shut");

    WalkOptions options;
    options.openFolder = refusing(shut, EACCES);
    RecordingSink sink;
    options.failures = &sink;
    QStringList found;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { found += batch; });
    found.sort();
    EXPECT_EQ(found, (QStringList{at("open/o.txt"), at("top.txt")}));
    EXPECT_TRUE(sink.failures.empty());
    EXPECT_EQ(GetSubDirectories2016(m_dir.path(), options), (QStringList{m_dir.path(), at("open")}));

    // The chosen folder itself: none of its files either.
    found.clear();
    walkFolder(at("shut"), options, [&](const QStringList &batch) { found += batch; });
    EXPECT_TRUE(found.isEmpty());

    // The same with the real permission, where it is enforced (not as root).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(shut.c_str(), 0), 0);
        found = walkFolder(m_dir.path(), "*.*");
        ::chmod(shut.c_str(), 0755);
        found.sort();
        EXPECT_EQ(found, (QStringList{at("open/o.txt"), at("top.txt")}));
    }
}

TEST_F(FolderWalkTest, AFolderRemovedBeforeItIsListedDropsOutSilently)
{
    folders({"one", "two"});
    files({"one/f.txt", "two/f.txt"});
    WalkOptions options;
    options.batchSize = 1;
    RecordingSink sink;
    options.failures = &sink;
    QStringList found;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) {
        found += batch;
        // Whichever folder came first, the other one is gone by the time
        // the walk opens it.
        const QString other = batch.first().contains(u"/one/") ? at("two") : at("one");
        QDir(other).removeRecursively();
    });
    EXPECT_EQ(found.size(), 1);
    EXPECT_TRUE(sink.failures.empty());
}

TEST_F(FolderWalkTest, OtherListingFailuresAreReportedAndTheWalkGoesOn)
{
    folders({"busy", "fine"});
    files({"busy/b.txt", "fine/f.txt"});
    const std::string busy = raw("busy");
    WalkOptions options;
    options.openFolder = refusing(busy, EMFILE);
    RecordingSink sink;
    options.failures = &sink;
    QStringList found;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { found += batch; });
    EXPECT_EQ(found, QStringList{at("fine/f.txt")});
    ASSERT_EQ(sink.failures.size(), 1u);
    EXPECT_TRUE(sink.failures[0].description.startsWith(at("busy") + ": ")) << sink.failures[0].description.toStdString();
    EXPECT_EQ(sink.failures[0].location, QString::fromLatin1(location::GetSubDirectories2016));
    EXPECT_EQ(sink.failures[0].step, 112);
}

TEST_F(FolderWalkTest, SymbolicLinkCycleEndsAndWalksEachFolderOnce)
{
    folders({"a", "a/b"});
    files({"a/f.txt", "a/b/g.txt"});
    link("../../a", "a/b/link");   // a/b/link -> a
    link(".", "a/self");
    EXPECT_EQ(GetSubDirectories2016(m_dir.path()), (QStringList{m_dir.path(), at("a"), at("a/b")}));
    EXPECT_EQ(walkFolder(m_dir.path(), "*.txt"), (QStringList{at("a/f.txt"), at("a/b/g.txt")}));
}

TEST_F(FolderWalkTest, JoinsPathsWithOneSeparator)
{
    files({"x.txt"});
    EXPECT_EQ(walkFolder(m_dir.path() + "/", "*.*"), QStringList{at("x.txt")});
    EXPECT_EQ(walkFolder(m_dir.path() + "//", "*.*"), QStringList{at("x.txt")});

    // The file-system root: "/" is opened as the temporary folder.
    const std::string tree = raw({});
    WalkOptions options;
    options.openFolder = [&](const char *path) {
        if (std::string_view(path) != "/") {
            errno = ENOENT;
            return -1;
        }
        return ::open(tree.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    };
    QStringList found;
    walkFolder("/", options, [&](const QStringList &batch) { found += batch; });
    EXPECT_EQ(found, QStringList{"/x.txt"});
}

TEST_F(FolderWalkTest, DeliversBatchesInOrderAndStopsOnCancel)
{
    folders({"sub"});
    files({"1.txt", "2.txt", "3.txt", "sub/4.txt", "sub/5.txt"});
    const QStringList whole = walkFolder(m_dir.path(), "*.*");
    ASSERT_EQ(whole.size(), 5);

    std::atomic<bool> cancel = false;
    WalkOptions options;
    options.batchSize = 2;
    options.cancel = &cancel;
    std::vector<QStringList> batches;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { batches.push_back(batch); });
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0] + batches[1] + batches[2], whole);
    EXPECT_EQ(batches[2].size(), 1);

    batches.clear();
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) {
        batches.push_back(batch);
        cancel = true;
    });
    EXPECT_EQ(batches.size(), 1u);

    batches.clear();
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { batches.push_back(batch); });
    EXPECT_TRUE(batches.empty());
}

TEST_F(FolderWalkTest, BuildingBlocksAnswerForWhatIsThere)
{
    folders({"dir"});
    files({"f.txt", ".dot.txt", "~t.txt", "g.log"});
    ASSERT_EQ(::mkfifo(raw("fifo").c_str(), 0644), 0);
    link("f.txt", "lf");
    link("dir", "ld");
    link("nothing", "dangling");

    EXPECT_TRUE(IsOpenableFile(at("f.txt")));
    EXPECT_TRUE(IsOpenableFile(at("lf")));
    EXPECT_FALSE(IsOpenableFile(at("dir")));
    EXPECT_FALSE(IsOpenableFile(at("fifo")));   // would block if it were opened
    EXPECT_FALSE(IsOpenableFile(at("dangling")));
    EXPECT_FALSE(IsOpenableFile(at("absent")));
    EXPECT_FALSE(IsOpenableFile({}));

    EXPECT_TRUE(IsFolder(at("dir")));
    EXPECT_TRUE(IsFolder(at("ld")));
    EXPECT_FALSE(IsFolder(at("f.txt")));
    EXPECT_FALSE(IsFolder(at("absent")));

    // ListFiles keeps hidden and "~" names: those rules belong to the walk.
    QStringList names = ListFiles(m_dir.path(), "*.txt");
    names.sort();
    EXPECT_EQ(names, (QStringList{".dot.txt", "f.txt", "~t.txt"}));
    EXPECT_TRUE(ListFiles(at("absent"), "*.*").isEmpty());

    // A path that is not a folder walks to nothing.
    EXPECT_TRUE(walkFolder(at("f.txt"), "*.*").isEmpty());
    EXPECT_TRUE(GetSubDirectories2016(at("absent")).isEmpty());
}

} // namespace
