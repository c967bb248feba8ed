#include "FolderFeed.h"
#include "FolderWalk.h"
#include "NaturalOrder.h"
#include "PathFailure.h"
#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Failures print the paths, not their code units.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << brinmoor::nativePath(text).toStdString() << '"';
}

namespace {

using namespace brinmoor;
using namespace brinmoor::filelist;

// What the walk reports of the folders it cannot list.
struct RecordingSink
{
    explicit RecordingSink(WalkOptions &options)
    {
        options.folderFailed = [this](const QString &folder, const QString &reason) {
            failures.push_back({folder, reason});
        };
    }
    std::vector<PathFailure> failures;
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

    QTemporaryDir m_dir;
};

TEST_F(FolderWalkTest, ListsLevelByLevelInNaturalOrder)
{
    // Listing order on Linux looks random; names sort as a file manager
    // shows them (case ignored, numbers by value), level by level.
    folders({"b10", "b9", "A", "b9/z", "b9/y2", "b9/y10", "A/deep", "b10/c"});
    files({"r10.txt", "r9.txt", "R1.txt", "A/a.txt", "b9/b.txt", "b10/b.txt", "b9/z/z.txt", "b9/y2/y.txt",
           "b9/y10/y.txt", "A/deep/d.txt", "b10/c/c.txt"});

    QStringList expectedFiles;
    for (const char *file : {"R1.txt", "r9.txt", "r10.txt", "A/a.txt", "b9/b.txt", "b10/b.txt", "A/deep/d.txt",
                             "b9/y2/y.txt", "b9/y10/y.txt", "b9/z/z.txt", "b10/c/c.txt"})
        expectedFiles << at(file);
    QStringList expectedFolders{m_dir.path()};
    for (const char *folder : {"A", "b9", "b10", "A/deep", "b9/y2", "b9/y10", "b9/z", "b10/c"})
        expectedFolders << at(folder);

    EXPECT_EQ(walkFolder(m_dir.path(), "*.txt"), expectedFiles);
    EXPECT_EQ(GetSubDirectories2016(m_dir.path()), expectedFolders);
}

TEST(NaturalOrderTest, AsciiNamesSortExactlyAsTheCollatorSortsThem)
{
    // Plain ASCII names skip the collator; they must land where it would put
    // them: punctuation, spaces, case, leading zeros, long numbers.
    std::vector<QString> tricky;
    for (const char *name :
         {"a", "A", "a1", "a01", "a001", "a1b", "a1B", "A1b", "a10", "a2", "a_b", "a-b", "a.b", "a b", "ab", "aB", "a~",
          "a$", "a0", "a00", "a0b", "1", "01", "10", "9", "0", "_x", ".x", "-x", " x", "~x", "x.c", "x.h", "x.S",
          "x-1.c", "x_1.c", "x1.c", "x1..c", "Makefile", "makefile", "README", "zz", "Z", "z9z", "z10z", "z9a",
          "123456789012345678901234567890", "123456789012345678901234567891", "99999999999999999999", "a+b",
          "a=b", "a@b", "a#b", "a%b", "a^b", "a&b", "a(b", "a)b", "a[b", "a]b", "a{b", "a}b", "a'b", "a,b", "a;b",
          "a!b", "a|b", "a`b", "a<b", "a>b", "a?b", "a:b", "a*b", "a\"b", "a\\b", "v1.2.10", "v1.10.2", "v1.2.9"})
        tricky.push_back(QString::fromLatin1(name));
    std::vector<QString> generated;
    std::mt19937 random(11);
    const std::string alphabet = "aAbZ0019_-. ~+";
    for (int i = 0; i < 3000; ++i) {
        std::string name(1 + random() % 6, ' ');
        for (char &c : name)
            c = alphabet[random() % alphabet.size()];
        generated.push_back(QString::fromStdString(name));
    }
    const NaturalOrder order;
    for (const std::vector<QString> &names : {tricky, generated}) {
        std::vector<QString> fast = names;
        std::vector<QString> byCollator = names;
        std::shuffle(fast.begin(), fast.end(), random);
        order.sort(fast);
        order.sortByCollator(byCollator);
        EXPECT_EQ(fast, byCollator);

        // The walk sorts the names' bytes the same way.
        std::vector<std::string> bytes;
        for (const QString &name : fast)
            bytes.push_back(name.toStdString());
        std::shuffle(bytes.begin(), bytes.end(), random);
        std::vector<std::string_view> views(bytes.begin(), bytes.end());
        ASSERT_TRUE(order.sortAscii(views));
        std::vector<QString> byBytes;
        for (const std::string_view name : views)
            byBytes.push_back(QString::fromLatin1(name.data(), qsizetype(name.size())));
        EXPECT_EQ(byBytes, byCollator);
    }
    // Anything else is left to the caller, however few the names.
    for (const std::string_view name : {"caf\xc3\xa9", "tab\t", "\xff"}) {
        std::vector<std::string_view> one{name};
        EXPECT_FALSE(order.sortAscii(one)) << name;
    }
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

TEST_F(FolderWalkTest, BadFolderNamesAreSkippedByTheWindowAndWalkedByTheConsole)
{
    folders({"ctl\x01", "nel\xc2\x85", "what?", "bytes\xff\xfe", "del\x7f", "caf\xc3\xa9", "caf\xc3\xa9/inner",
             "ctl\x01/inner"});
    files({"ctl\x01/f.txt", "ctl\x01/inner/f.txt", "nel\xc2\x85/f.txt", "what?/f.txt", "bytes\xff\xfe/f.txt",
           "del\x7f/f.txt", "caf\xc3\xa9/f.txt", "caf\xc3\xa9/inner/f.txt", "bad\xff.txt"});
    const auto walk = [this](const WalkOptions &options) {
        QStringList found;
        walkFolder(m_dir.path(), options, [&](const QStringList &batch) { found += batch; });
        found.sort();
        return found;
    };

    // The window's scan: bad folder names are passed over, and the one that
    // is not text is named so that the window can say so. A file whose name
    // is not UTF-8 is offered, and its path leads back to its bytes.
    WalkOptions window;
    QStringList unshowable;
    window.unshowableFolder = [&](const QString &folder) { unshowable << folder; };
    const QStringList found = walk(window);
    EXPECT_EQ(found, (QStringList{at(QStringLiteral("bad") + QChar(0xdcff) + ".txt"), at(QStringLiteral("café/f.txt")),
                                  at(QStringLiteral("café/inner/f.txt"))}));
    EXPECT_EQ(unshowable, QStringList{at(QStringLiteral("bytes") + QChar(0xdcff) + QChar(0xdcfe))});

    // The console walks every folder, and every path opens.
    WalkOptions console;
    console.skipBadFolderNames = false;
    const QStringList all = walk(console);
    EXPECT_EQ(all.size(), 9);
    for (const QString &path : all)
        EXPECT_TRUE(IsOpenableFile(path)) << nativePath(path).toStdString();
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
    RecordingSink sink(options);
    QStringList found;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { found += batch; });
    found.sort();
    EXPECT_EQ(found, (QStringList{at("open/o.txt"), at("top.txt")}));
    EXPECT_TRUE(sink.failures.empty());
    EXPECT_EQ(GetSubDirectories2016(m_dir.path(), options), (QStringList{m_dir.path(), at("open")}));

    // Passed over without a failure, yet named for the window to tell of;
    // a folder that has gone is not one that could not be read.
    QStringList unread;
    options.unreadableFolder = [&](const QString &folder, const QString &reason) {
        unread.append(folder + ": " + reason);
    };
    walkFolder(m_dir.path(), options, [](const QStringList &) {});
    EXPECT_EQ(unread, QStringList{at("shut") + ": Permission denied"});
    unread.clear();
    options.openFolder = refusing(shut, ENOENT);
    walkFolder(m_dir.path(), options, [](const QStringList &) {});
    EXPECT_TRUE(unread.isEmpty());
    options.unreadableFolder = nullptr;
    options.openFolder = refusing(shut, EACCES);

    // The chosen folder itself: none of its files either.
    found.clear();
    walkFolder(at("shut"), options, [&](const QStringList &batch) { found += batch; });
    EXPECT_TRUE(found.isEmpty());

    // The console reports every folder it cannot list, the chosen one too.
    options.reportEveryUnlistableFolder = true;
    for (const QString &start : {m_dir.path(), at("shut")}) {
        sink.failures.clear();
        walkFolder(start, options, [](const QStringList &) {});
        ASSERT_EQ(sink.failures.size(), 1u);
        EXPECT_EQ(sink.failures[0], (PathFailure{at("shut"), "Permission denied"}));
    }

    // The same with the real permission, where it is enforced (not as root).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(shut.c_str(), 0), 0);
        found = walkFolder(m_dir.path(), "*.*");
        ::chmod(shut.c_str(), 0755);
        found.sort();
        EXPECT_EQ(found, (QStringList{at("open/o.txt"), at("top.txt")}));
    }
}

// Removes the folder name in parent with everything below it, each entry
// relative to its own folder: its paths may be longer than any the system
// takes whole.
void removeBelow(int parent, const char *name)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        if (DIR *listing = ::fdopendir(fd)) {
            std::vector<std::string> folders;
            while (const dirent *entry = ::readdir(listing)) {
                const std::string entryName = entry->d_name;
                if (entryName == "." || entryName == "..")
                    continue;
                if (::unlinkat(fd, entryName.c_str(), 0) != 0)
                    folders.push_back(entryName);
            }
            for (const std::string &folder : folders)
                removeBelow(fd, folder.c_str());
            ::closedir(listing);
        } else {
            ::close(fd);
        }
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// Below the longest path the system takes whole, every file is still
// reached (each folder is opened through its parent) and named by its whole
// path.
TEST_F(FolderWalkTest, WalksPathsLongerThanTheSystemTakesWhole)
{
    const std::string name(200, 'd');
    constexpr int Depth = 24;   // 24 levels of 201 bytes: past PATH_MAX
    int fd = ::open(raw({}).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string relative;
    QStringList expected;
    for (int level = 0; level < Depth; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int below = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
        ASSERT_GE(fd, 0);
        relative += name + '/';
        const std::string file = 'f' + std::to_string(level) + ".txt";
        const int created = ::openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(created, 0);
        ::close(created);
        expected << at(QString::fromStdString(relative + file));
    }
    ::close(fd);
    ASSERT_GT(raw(relative).size(), std::size_t(PATH_MAX));

    EXPECT_EQ(walkFolder(m_dir.path()), expected);
    EXPECT_EQ(GetSubDirectories2016(m_dir.path()).size(), Depth + 1);

    const int top = ::open(raw({}).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeBelow(top, name.c_str());
    ::close(top);
}

TEST_F(FolderWalkTest, AFolderRemovedBeforeItIsListedDropsOutSilently)
{
    folders({"one", "two"});
    files({"one/f.txt", "two/f.txt"});
    WalkOptions options;
    options.batchSize = 1;
    RecordingSink sink(options);
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
    RecordingSink sink(options);
    QStringList found;
    walkFolder(m_dir.path(), options, [&](const QStringList &batch) { found += batch; });
    EXPECT_EQ(found, QStringList{at("fine/f.txt")});
    ASSERT_EQ(sink.failures.size(), 1u);
    EXPECT_EQ(sink.failures[0], (PathFailure{at("busy"), "Too many open files"}));
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

// The feed's room bounds the memory of a count over any tree: with nobody
// taking, the walk stops a few folders in, and what it hands over later
// keeps the walk's order.
TEST_F(FolderWalkTest, AFeedWalksAheadOnlyAsFarAsItsRoom)
{
    for (int i = 0; i < 40; ++i) {
        const std::string folder = QStringLiteral("d%1").arg(i).toStdString();
        folders({folder});
        files({folder + "/f.txt"});
    }
    std::atomic<int> opened{0};
    WalkOptions options;
    options.openFolder = [&opened](const char *path) {
        ++opened;
        return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    };
    FolderFeed feed({{m_dir.path()}}, options, FeedLimits{2, 4, {}});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Two batches queued, one in the making: the start and six folders.
    EXPECT_LE(opened.load(), 8);
    QStringList taken;
    FeedEntry entry;
    while (feed.next(entry))
        taken.append(entry.path);
    EXPECT_EQ(taken, walkFolder(m_dir.path()));
    EXPECT_EQ(opened.load(), 41);
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
