#include "EngineTestSupport.h"
#include "FileBatch.h"
#include "kernels/Kernels.h"
#include "PreparedOptions.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

// The engine on files and many words: failures, cancel, progress, the
// split into two streams, batched reads.

using namespace brinmoor::counting;
using namespace brinmoor::counting::testing;

namespace {

// --- Many words ----------------------------------------------------------

TEST(EngineWordsTest, ManyWordsAgreeWithTheReference)
{
    // Hundreds of words, a few over the look-behind, over lines that hold
    // some of them in any case: the automaton reads every byte, four
    // stretches of a block side by side.
    std::mt19937 rng(99);
    const QString letters = QStringLiteral("abcdeksox\u00E9");
    auto randomWord = [&](int minLength, int maxLength) {
        QString word;
        for (int n = std::uniform_int_distribution<int>(minLength, maxLength)(rng); n > 0; --n)
            word += letters[static_cast<qsizetype>(rng() % letters.size())];
        return word;
    };
    QStringList mixed;
    for (int i = 0; i < 400; ++i)
        mixed.append(randomWord(5, 10));
    for (int i = 0; i < 5; ++i)
        mixed.append(randomWord(80, 120));
    QStringList ascii;
    for (const QString &word : std::as_const(mixed))
        if (!word.contains(u'\u00E9'))
            ascii.append(word);

    QString text;
    const QStringList breaks = {"\n", "\r\n", "\r"};
    for (int line = 0; line < 3000; ++line) {
        for (int n = static_cast<int>(rng() % 8); n > 0; --n) {
            QString word = rng() % 5 == 0 ? mixed[static_cast<qsizetype>(rng() % mixed.size())] : randomWord(2, 9);
            if (rng() % 3 == 0)
                word = word.toUpper();
            if (rng() % 10 == 0)
                word.replace(u's', u'\u017F').replace(u'k', u'\u212A');
            text += word + u' ';
        }
        text += breaks[static_cast<qsizetype>(rng() % breaks.size())];
    }
    const QByteArray bytes = text.toUtf8();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("words.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    for (const CountOptions &options : {opts(false, mixed), opts(true, ascii)}) {
        const std::uint64_t expected = referenceCount(bytes, options);
        ASSERT_GT(expected, 500u);
        ASSERT_LT(expected, 2500u);
        TestOptions fixed(options);
        for (const kernels::Kernel *kernel : allKernels()) {
            for (std::size_t block : {std::size_t{64}, std::size_t{4096}, std::size_t{512} * 1024}) {
                for (std::int64_t readSize : {std::int64_t{7}, std::int64_t{1000}, std::int64_t{1} << 40}) {
                    MemorySource source(bytes, [=] { return readSize; });
                    EXPECT_EQ(countSourceWith(source, fixed, {}, {kernel, block, 0}).lines, expected)
                        << kernel->name << ", block " << block << ", reads " << readSize;
                }
            }
        }
        EXPECT_EQ(countFileWith(path, fixed, {}, {nullptr, 4096, 1}).lines, expected) << "split";
    }
}

TEST(EngineWordsTest, TwoHundredThousandWordsPrepareAtOnce)
{
    // Duplicates go by sorting, not by a search per word: this list took
    // minutes to prepare when each word was looked up among those before.
    QStringList words;
    for (int i = 0; i < 200000; ++i) {
        const QString word = QStringLiteral("w%1").arg(i * 7919 % 1000003, 7, 10, QChar(u'0'));
        words << word << word.toUpper();
    }
    const CountOptions options = opts(false, words);
    EXPECT_EQ(prepareOptions(options)->wordCount(), 200000u);
    MemorySource source("w0007919 x\nx0007919\nW0015838\n");
    TestOptions fixed(options);
    EXPECT_EQ(countSource(source, fixed).lines, 1u);
}

// --- Files, failures, cancel, progress --------------------------------------

class EngineFileTest : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(EngineFileTest, FilesThatCannotBeCountedFailWithAReason)
{
    TestOptions options(opts(false));
    FileCount missing = countFile(m_dir.filePath("missing.txt"), options);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.cancelled);
    EXPECT_EQ(missing.error, "No such file or directory");
    EXPECT_EQ(countFile(m_dir.path(), options).error, "Is a directory");

    // A FIFO without a writer: refused at once instead of waiting for one.
    const QString fifo = m_dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(countFile(fifo, options).error, "Not a regular file");
    EXPECT_EQ(countFile("/dev/null", options).error, "Not a regular file");

    MemorySource failing(QByteArray(5000, 'x'), [] { return 100; }, 1000);
    const FileCount broken = countSource(failing, options);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.error, "Input/output error");

    if (::geteuid() != 0) {
        const QString locked = write("locked.txt", "a\n");
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
        EXPECT_EQ(countFile(locked, options).error, "Permission denied");
    }
}

TEST_F(EngineFileTest, SplitFileMatchesOneStream)
{
    // Lines of every kind around the middle, where the second thread starts.
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += (i % 7 == 0 ? "  \r\n" : i % 5 == 0 ? "foo\r" : i % 3 == 0 ? "\xC3\xA9t\xC3\xA9\n" : "line\n");
    bytes += "tail";
    const QString path = write("big.txt", bytes);
    for (const CountOptions &options : {opts(false), opts(true), opts(true, {"FOO", "\u00C9"})}) {
        TestOptions fixed(options);
        std::atomic<std::uint64_t> reached{0};
        const FileCount split = countFileWith(path, fixed, {nullptr, &reached}, {nullptr, 4096, 1});
        EXPECT_TRUE(split.ok);
        EXPECT_EQ(split.lines, referenceCount(bytes, options));
        // The progress is the line position: every line passed, excluded or not.
        EXPECT_EQ(reached.load(), 20000u);
        EXPECT_EQ(countFile(path, fixed).lines, split.lines);
    }
    // Also where every line is excluded, and in a UTF-16 file.
    TestOptions storm(opts(false, {"storm"}));
    for (const QByteArray &text : {QByteArray("storm\nstorm\r\nstorm\r"), utf16(QStringLiteral("storm\r\nstorm\n\n"), true)}) {
        std::atomic<std::uint64_t> reached{0};
        const FileCount none = countFile(write("storm.txt", text), storm, {nullptr, &reached});
        EXPECT_EQ(none.lines, text.startsWith("\xFF") ? 1u : 0u);   // the empty line of the second
        EXPECT_EQ(reached.load(), 3u);
    }
}

// A file is counted up to the size it had when it was opened: a writer
// appending faster than the count reads must not keep it going, and a file
// cut short while it is read still ends. The file changes before every read
// block (the engine asks for the options then), so no timing is involved.
TEST_F(EngineFileTest, FileChangedWhileReadEndsAtItsOpeningSize)
{
    class Changing final : public OptionsSource
    {
    public:
        Changing(QString path, bool grow) : m_path(std::move(path)), m_grow(grow) {}
        std::shared_ptr<const PreparedOptions> current() const override
        {
            std::lock_guard lock(m_mutex);
            QFile file(m_path);
            if (m_grow && m_calls++ < 2000) {   // bounded, so a fault fails instead of hanging
                EXPECT_TRUE(file.open(QIODevice::Append));
                file.write(QByteArray("more\n").repeated(400));
            } else if (!m_grow && m_calls++ == 0) {
                EXPECT_TRUE(file.resize(2500));
            }
            return m_options.current();
        }

    private:
        const QString m_path;
        const bool m_grow;
        mutable std::mutex m_mutex;
        mutable int m_calls = 0;
        TestOptions m_options{opts(false)};
    };
    for (const bool grow : {true, false}) {
        for (const std::int64_t split : {0, 1}) {
            const QString path = write("changing.txt", QByteArray("line\n").repeated(1000));
            Changing options(path, grow);
            const FileCount got = countFileWith(path, options, {}, {nullptr, 1000, split});
            SCOPED_TRACE(grow ? "growing" : "shrinking");
            EXPECT_TRUE(got.ok) << got.error.toStdString();
            if (grow)
                EXPECT_EQ(got.lines, 1000u);
            else if (split == 0)
                EXPECT_EQ(got.lines, 500u);
            else
                EXPECT_LE(got.lines, 1000u);
        }
    }
}

// A file that is not cached is read the other way (a first read that does
// not wait, then the usual one): the count is the same, and the caller
// learns that the disk was waited for.
TEST_F(EngineFileTest, UncachedFileCountsTheSameAndSaysSo)
{
    QByteArray bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += (i % 3 == 0 ? "  \r\n" : i % 2 == 0 ? "foo\r" : "line\n");
    const QString path = write("uncached.txt", bytes);
    TestOptions options(opts(true, {"FOO"}));
    for (const bool cached : {true, false}) {
        const bool evicted = !cached && evictFromCache(path);
        std::atomic<bool> waited{false};
        const FileCount got = countFileWith(path, options, {nullptr, nullptr, &waited}, {nullptr, 4096, 0});
        EXPECT_TRUE(got.ok);
        EXPECT_EQ(got.lines, referenceCount(bytes, opts(true, {"FOO"})));
        EXPECT_EQ(waited.load(), evicted);
    }
}

TEST_F(EngineFileTest, CancelStopsAndProgressGrows)
{
    const QString path = write("lines.txt", QByteArray(1 << 20, '\n'));
    TestOptions options(opts(false));
    std::atomic<bool> cancel{true};
    const FileCount cancelled = countFile(path, options, {&cancel, nullptr});
    EXPECT_FALSE(cancelled.ok);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(countFileWith(path, options, {&cancel, nullptr}, {nullptr, 4096, 1}).cancelled);

    // Cancel from the progress of the first block.
    class Watcher final : public ByteSource
    {
    public:
        explicit Watcher(std::atomic<bool> &cancel) : m_cancel(cancel) {}
        std::int64_t read(char *buffer, std::int64_t max) override
        {
            if (m_reads++ == 1)
                m_cancel = true;
            std::memset(buffer, '\n', static_cast<std::size_t>(max));
            return max;
        }
        QString errorString() const override { return {}; }
        int m_reads = 0;

    private:
        std::atomic<bool> &m_cancel;
    };
    cancel = false;
    std::atomic<std::uint64_t> reached{0};
    Watcher endless(cancel);
    const FileCount stopped = countSourceWith(endless, options, {&cancel, &reached}, {nullptr, 1000, 0});
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(endless.m_reads, 2);
    EXPECT_EQ(reached.load(), 2000u);
}

TEST_F(EngineFileTest, BatchReaderKeepsToItsArena)
{
    // More than the arena holds: what does not fit is left open for the
    // caller, never read past the arena's end.
    const std::unique_ptr<FileBatchReader> reader = FileBatchReader::create(16 * 1024);
    if (!reader)
        GTEST_SKIP() << "no batched reads on this system";
    std::vector<QByteArray> contents;
    std::vector<BatchFile> files;
    for (int i = 0; i < 12; ++i) {
        contents.push_back(QByteArray(5000, char('a' + i)) + "\n");
        files.push_back(BatchFile{QFile::encodeName(write(QStringLiteral("f%1").arg(i), contents.back()))});
    }
    ASSERT_TRUE(reader->load(files));
    std::size_t arenaUsed = 0;
    int read = 0;
    for (std::size_t k = 0; k < files.size(); ++k) {
        BatchFile &file = files[k];
        EXPECT_EQ(file.error, 0);
        if (file.data) {
            ++read;
            arenaUsed += kernels::kLookBehind + contents[k].size() + 64;
            EXPECT_TRUE(QByteArray(reinterpret_cast<const char *>(file.data), file.got) == contents[k]) << k;
            EXPECT_EQ(file.fd, -1) << k;
        } else {
            EXPECT_GE(file.fd, 0) << k;
        }
        if (file.fd >= 0)
            ::close(file.fd);
    }
    EXPECT_GE(read, 1);
    EXPECT_LE(arenaUsed, 16u * 1024);
}


} // namespace
