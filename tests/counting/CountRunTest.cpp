#include "CountRun.h"
#include "FileBatch.h"
#include "Paths.h"
#include "PreparedOptions.h"
#include "ResultRows.h"
#include "SharedOptions.h"
#include "TestFiles.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <stdexcept>
#include <thread>

#include <fcntl.h>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace brinmoor::counting;
using brinmoor::nativePath;
using brinmoor::pathFromNative;

namespace {

// Everything a run reported, in arrival order.
struct Recorder
{
    QStringList rows;
    QList<int> counted;             // indices of fileCounted
    QList<quint64> countedLines;
    QList<QPair<int, QString>> failed;
    QStringList reasons;
    QList<quint64> totals;
    QList<bool> finished;
    int progress = 0;

    void attach(CountRun &run)
    {
        QObject::connect(&run, &CountRun::rowReady, &run, [this](const QString &r) { rows << r; });
        QObject::connect(&run, &CountRun::fileCounted, &run, [this](int i, const QString &, quint64 n) {
            counted << i;
            countedLines << n;
        });
        QObject::connect(&run, &CountRun::fileFailed, &run,
                         [this](int i, const QString &p, const QString &why) {
                             failed << qMakePair(i, p);
                             reasons << why;
                         });
        QObject::connect(&run, &CountRun::totalCounted, &run, [this](quint64 t) { totals << t; });
        QObject::connect(&run, &CountRun::finished, &run, [this](bool c) { finished << c; });
        QObject::connect(&run, &CountRun::progress, &run, [this] { ++progress; });
    }
};

// Hands out the first options for the first read block only, then the
// second: a change "in the middle" that does not depend on timing.
class SwitchingSource final : public OptionsSource
{
public:
    SwitchingSource(const CountOptions &first, const CountOptions &then)
        : m_first(prepareOptions(first))
        , m_then(prepareOptions(then))
    {
    }
    std::shared_ptr<const PreparedOptions> current() const override
    {
        return m_calls.fetch_add(1) == 0 ? m_first : m_then;
    }

private:
    std::shared_ptr<const PreparedOptions> m_first, m_then;
    mutable std::atomic<int> m_calls{0};
};

// Makes every read block take a while, so a run lasts long enough to be
// cancelled, destroyed or watched, whatever the engine's speed.
class SlowSource final : public OptionsSource
{
public:
    explicit SlowSource(std::chrono::milliseconds delay)
        : m_delay(delay)
    {
    }
    std::shared_ptr<const PreparedOptions> current() const override
    {
        ++reads;
        std::this_thread::sleep_for(m_delay);
        return m_inner.current();
    }
    mutable std::atomic<int> reads{0};   // read blocks begun

private:
    std::chrono::milliseconds m_delay;
    FixedOptions m_inner{CountOptions{}};
};

// Hands out options for the first `open` reads; later reads wait until
// the run is cancelled, so a cancel lands at a known point of the run.
class CancelGate final : public OptionsSource
{
public:
    explicit CancelGate(int open)
        : m_open(open)
    {
    }
    std::shared_ptr<const PreparedOptions> current() const override { return m_inner.current(); }
    std::shared_ptr<const PreparedOptions> currentUnless(const std::atomic<bool> *cancel) const override
    {
        if (m_calls.fetch_add(1) >= m_open)
            for (int i = 0; i < 10000 && !(cancel && cancel->load()); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return m_inner.current();
    }

private:
    const int m_open;
    mutable std::atomic<int> m_calls{0};
    FixedOptions m_inner{CountOptions{}};
};

#ifdef __linux__
// The nice value of the threads that read options: the workers.
class NiceRecorder final : public OptionsSource
{
public:
    std::shared_ptr<const PreparedOptions> current() const override
    {
        workerNice.store(::getpriority(PRIO_PROCESS, id_t(::gettid())));
        return m_inner.current();
    }
    mutable std::atomic<int> workerNice{-100};

private:
    FixedOptions m_inner{CountOptions{}};
};
#endif

// An endless list: the same few files over and over, with a failure now
// and then, and a fatal entry after `fatalAt` entries (never when < 0).
// Records how far the run pulled ahead of what it delivered.
class EndlessSource final : public PathSource
{
public:
    EndlessSource(QStringList files, qint64 fatalAt, const std::atomic<qint64> &delivered)
        : m_files(std::move(files))
        , m_fatalAt(fatalAt)
        , m_delivered(delivered)
    {
    }
    PathEntry next() override
    {
        const qint64 n = m_pulled++;
        maxAhead.store(std::max(maxAhead.load(), n - m_delivered.load()));
        if (n == m_fatalAt)
            return PathEntry::fatal(QStringLiteral("not a list"));
        if (n % 100 == 99)
            return PathEntry::failure(QStringLiteral("entry %1").arg(n), QStringLiteral("refused"));
        return PathEntry::file(m_files.at(n % m_files.size()));
    }
    std::atomic<qint64> maxAhead{0};

private:
    const QStringList m_files;
    const qint64 m_fatalAt;
    const std::atomic<qint64> &m_delivered;
    qint64 m_pulled = 0;
};

} // namespace

class CountRunTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Small files that each take one read block.
    QStringList smallFiles(int count)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << write(QStringLiteral("small%1.txt").arg(i), QByteArray("x\n").repeated(i % 7 + 1));
        return paths;
    }

    static std::shared_ptr<const OptionsSource> plain() { return std::make_shared<FixedOptions>(CountOptions{}); }

    static bool runToEnd(CountRun &run, int timeoutMs = 20000)
    {
        QSignalSpy done(&run, &CountRun::finished);
        run.start();
        return done.wait(timeoutMs);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Rows, counts and failures arrive in list order; an empty file and a
    // duplicate get their rows; what cannot be counted fails with its reason
    // and the run goes on. A file larger than a batch reads whole and one
    // with a byte-order mark count as any other.
    void bothModesKeepListOrder_data()
    {
        QTest::addColumn<bool>("separate");
        QTest::newRow("separate counts") << true;
        QTest::newRow("one total") << false;
    }
    void bothModesKeepListOrder()
    {
        QFETCH(bool, separate);
        const QString a = write("a.txt", "one\r\ntwo\r\nthree\r\n");
        const QString empty = write("empty.txt", "");
        const QString missing = m_dir.filePath("missing.txt");
        const QString b = write("b.txt", "x\ny");
        const QString big = write("big.txt", QByteArray("line\n").repeated(100000));
        const QString marked = write("marked.txt", "\xEF\xBB\xBF\nx");
        const QString fifo = m_dir.filePath("fifo");
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QStringList paths{a, empty, missing, a, b, m_dir.path(), big, fifo, marked};

        CountRun run(paths, separate ? CountMode::Separate : CountMode::OneTotal, plain());
        run.setJobs(2);
        Recorder rec;
        rec.attach(run);
        QVERIFY(runToEnd(run));

        QCOMPARE(rec.counted, (QList<int>{0, 1, 3, 4, 6, 8}));
        QCOMPARE(rec.countedLines, (QList<quint64>{3, 0, 3, 2, 100000, 2}));
        QCOMPARE(rec.failed, (QList<QPair<int, QString>>{{2, missing}, {5, m_dir.path()}, {7, fifo}}));
        QCOMPARE(rec.reasons, (QStringList{"No such file or directory", "Is a directory", "Not a regular file"}));
        QCOMPARE(rec.totals, QList<quint64>{100010});
        QCOMPARE(rec.finished, QList<bool>{false});
        if (separate)
            QCOMPARE(rec.rows, (QStringList{fileRow(3, a), fileRow(0, empty), fileRow(3, a), fileRow(2, b),
                                             fileRow(100000, big), fileRow(2, marked)}));
        else
            QCOMPARE(rec.rows, QStringList{totalRow(100010)});
        QVERIFY(!run.isRunning());
    }

    // Low-priority workers leave the owner's (the GUI's) priority alone and
    // yield to it; by default they run as the owner does.
    void lowPriorityWorkersYieldToTheOwner_data()
    {
        QTest::addColumn<bool>("low");
        QTest::newRow("low") << true;
        QTest::newRow("default") << false;
    }
    void lowPriorityWorkersYieldToTheOwner()
    {
#ifdef __linux__
        QFETCH(bool, low);
        auto options = std::make_shared<NiceRecorder>();
        const int ownNice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
        if (low && ownNice >= 19)
            QSKIP("already at the lowest priority");
        CountRun run(QStringList{write("n.txt", "x\n")}, CountMode::OneTotal, options);
        run.setLowPriorityWorkers(low);
        QVERIFY(runToEnd(run));
        QCOMPARE(::getpriority(PRIO_PROCESS, id_t(::gettid())), ownNice);
        if (low)
            QVERIFY(options->workerNice.load() > ownNice);
        else
            QCOMPARE(options->workerNice.load(), ownNice);
#else
        QSKIP("per-thread priorities are a Linux feature");
#endif
    }

    // A big first file finishes after the small ones behind it; files the
    // cache does not hold wait for the disk in a batch, or call in the extra
    // workers when read file by file. Either way the rows come out whole and
    // in list order, with their indices.
    void rowsKeepListOrder_data()
    {
        QTest::addColumn<bool>("bigFirst");
        QTest::newRow("big first file, two workers") << true;
        QTest::newRow("uncached files, default workers") << false;
    }
    void rowsKeepListOrder()
    {
        QFETCH(bool, bigFirst);
        QStringList paths = smallFiles(300);
        QStringList expected;
        for (int i = 0; i < paths.size(); ++i) {
            if (!bigFirst)
                evictFromCache(paths.at(i));
            expected << fileRow(quint64(i % 7 + 1), paths.at(i));
        }
        if (bigFirst) {
            paths.prepend(write("big.txt", QByteArray("line of text\n").repeated(1 << 20)));
            expected.prepend(fileRow(1 << 20, paths.first()));
        }
        CountRun run(paths, CountMode::Separate, plain());
        if (bigFirst)
            run.setJobs(2);
        Recorder rec;
        rec.attach(run);
        QVERIFY(runToEnd(run));
        QCOMPARE(rec.rows, expected);
        QList<int> indices;
        for (int i = 0; i < paths.size(); ++i)
            indices << i;
        QCOMPARE(rec.counted, indices);
    }

    // A modal error box runs an event loop inside the failure slot; the run
    // must neither repeat nor reorder what it delivers meanwhile.
    void nestedEventLoopInSlot()
    {
        QStringList paths = smallFiles(50);
        paths.insert(10, m_dir.filePath("gone1"));
        paths.insert(30, m_dir.filePath("gone2"));
        CountRun run(paths, CountMode::Separate, plain());
        run.setJobs(2);
        Recorder rec;
        rec.attach(run);
        connect(&run, &CountRun::fileFailed, &run, [] {
            QEventLoop modal;
            QTimer::singleShot(30, &modal, &QEventLoop::quit);
            modal.exec();
        });
        QVERIFY(runToEnd(run));
        QTest::qWait(50);
        QCOMPARE(rec.finished, QList<bool>{false});
        QCOMPARE(rec.failed.size(), 2);
        QCOMPARE(rec.counted.size(), 50);
        for (int i = 1; i < rec.counted.size(); ++i)
            QVERIFY(rec.counted.at(i - 1) < rec.counted.at(i));
    }

    // The run reads its options source for every block, not once.
    void optionsChangeAppliesMidFile()
    {
        // 4M lines, every other one blank: 4M before, 2M after the change.
        const QString path = write("halfblank.txt", QByteArray("text\n\n").repeated(1 << 21));
        CountOptions before;
        CountOptions after;
        after.excludeBlank = true;
        CountRun run({path}, CountMode::OneTotal, std::make_shared<SwitchingSource>(before, after));
        Recorder rec;
        rec.attach(run);
        QVERIFY(runToEnd(run));
        QCOMPARE(rec.totals.size(), 1);
        QVERIFY2(rec.totals.first() > 2u << 20 && rec.totals.first() < 4u << 20,
                 qPrintable(QString::number(rec.totals.first())));
    }

    // Files too large to be read with a batch are read and closed one by
    // one, also those a cancel skips: no descriptor outlives the run.
    void largeFilesGiveTheirDescriptorsBack_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("to the end") << false;
        QTest::newRow("cancelled") << true;
    }
    void largeFilesGiveTheirDescriptorsBack()
    {
#ifdef __linux__
        QFETCH(bool, cancel);
        // The cancel comes while the rest of the batch waits: after the
        // small file's reads (one in a batch, two file by file), every read
        // waits for it.
        QStringList paths{write("small.txt", "x\n")};
        for (int i = 0; i < 40; ++i)
            paths << write(QStringLiteral("large%1.txt").arg(i), QByteArray("line\n").repeated(40000));
        auto countRun = [&] {
            auto gate = std::make_shared<CancelGate>(cancel ? 2 : INT_MAX);
            CountRun run(paths, CountMode::Separate, gate);
            run.setJobs(1);
            Recorder rec;
            rec.attach(run);
            if (cancel)
                connect(&run, &CountRun::fileCounted, &run, &CountRun::cancel);
            QVERIFY(runToEnd(run));
            QCOMPARE(rec.counted.size(), cancel ? 1 : int(paths.size()));
        };
        auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        countRun();   // whatever a first run sets up for good
        const auto before = openDescriptors();
        countRun();
        QCOMPARE(openDescriptors(), before);
#else
        QSKIP("needs /proc/self/fd");
#endif
    }

    void sharedOptionsSwapSnapshots()
    {
        CountOptions words;
        words.excludeWords = {QStringLiteral(" foo ")};
        SharedOptions shared;
        const auto first = shared.current();
        shared.set(words);
        QCOMPARE(shared.options(), words);
        QVERIFY(shared.current() != first);   // a new snapshot...
        QVERIFY(first);                       // ...while the old one stays usable
        QCOMPARE(shared.current(), shared.current());

        // The live source counts what was set last.
        const QString path = write("foo.txt", "foo\nbar\nxFOOy\n");
        auto source = std::make_shared<SharedOptions>();
        source->set(words);
        CountRun run({path}, CountMode::OneTotal, source);
        Recorder rec;
        rec.attach(run);
        QVERIFY(runToEnd(run));
        QCOMPARE(rec.totals, QList<quint64>{1});
    }

    void cancelStopsPromptly()
    {
        const QStringList paths = smallFiles(400);
        const auto source = std::make_shared<SlowSource>(std::chrono::milliseconds(5));
        const int jobs = 2;
        CountRun run(paths, CountMode::Separate, source);
        run.setJobs(jobs);
        Recorder rec;
        rec.attach(run);
        int readsAtCancel = -1;
        connect(&run, &CountRun::fileCounted, &run, [&] {
            readsAtCancel = source->reads.load();
            run.cancel();
        });
        QVERIFY(runToEnd(run));
        // After the cancel a worker finishes at most the block it reads, or
        // the batch it holds; otherwise it reads on through the whole list.
        const bool batches = FileBatchReader::available() && qgetenv("BRINMOOR_READER") != "threads";
        const int readsAfter = source->reads.load() - readsAtCancel;
        QVERIFY2(readsAtCancel >= 0 && readsAfter <= jobs * (batches ? int(FileBatchReader::MaxFiles) + 2 : 3),
                 qPrintable(QStringLiteral("%1 reads after the cancel").arg(readsAfter)));
        QCOMPARE(rec.finished, QList<bool>{true});
        QCOMPARE(rec.counted.size(), 1);   // nothing after the cancel
        QCOMPARE(rec.rows.size(), 1);
        QVERIFY(rec.totals.isEmpty());
        QVERIFY(!run.isRunning());
    }

    void cancelBeforeStartAndNoneMode()
    {
        const QStringList paths = smallFiles(3);
        {
            CountRun run(paths, CountMode::Separate, plain());
            Recorder rec;
            rec.attach(run);
            run.cancel();
            QVERIFY(runToEnd(run));
            QCOMPARE(rec.finished, QList<bool>{true});
            QVERIFY(rec.rows.isEmpty() && rec.counted.isEmpty() && rec.totals.isEmpty());
        }
        {
            CountRun run(paths, CountMode::None, plain());
            Recorder rec;
            rec.attach(run);
            QVERIFY(runToEnd(run));
            QCOMPARE(rec.finished, QList<bool>{false});
            QVERIFY(rec.rows.isEmpty() && rec.counted.isEmpty() && rec.totals.isEmpty());
        }
        {
            // An empty list in one-count mode still gives its total row.
            CountRun run(QStringList{}, CountMode::OneTotal, plain());
            Recorder rec;
            rec.attach(run);
            QVERIFY(runToEnd(run));
            QCOMPARE(rec.rows, QStringList{totalRow(0)});
            QCOMPARE(rec.finished, QList<bool>{false});
        }
    }

    // The window may close mid-run: the destructor cancels and joins, and
    // nothing queued by the workers is delivered to a dead object.
    void destroyMidRun()
    {
        const QStringList paths = smallFiles(200);
        auto run = std::make_unique<CountRun>(paths, CountMode::Separate,
                                              std::make_shared<SlowSource>(std::chrono::milliseconds(3)));
        run->setJobs(2);
        QSignalSpy counted(run.get(), &CountRun::fileCounted);
        run->start();
        QVERIFY(counted.wait(5000));
        run.reset();
        QTest::qWait(50);   // let any stray queued call surface

        CountRun never(paths, CountMode::Separate, plain());   // destroyed without start
    }

    // An endless source is pulled only a bounded distance ahead of the
    // delivery, failures come in their place, and a fatal entry ends the
    // run after everything before it, with no total.
    void pulledSourceStaysBounded()
    {
        const QStringList files = smallFiles(5);
        std::atomic<qint64> delivered{0};
        std::atomic<qint64> *maxAhead = nullptr;
        {
            auto source = std::make_unique<EndlessSource>(files, -1, delivered);
            maxAhead = &source->maxAhead;
            CountRun run(std::move(source), CountMode::Separate, plain());
            run.setJobs(2);
            Recorder rec;
            rec.attach(run);
            connect(&run, &CountRun::fileCounted, &run, [&](int i) {
                delivered = i + 1;
                if (i >= 60000)   // several times the distance it may pull ahead
                    run.cancel();
            });
            QVERIFY(runToEnd(run, 60000));
            QCOMPARE(rec.finished, QList<bool>{true});
            QVERIFY2(maxAhead->load() <= 20000, qPrintable(QString::number(maxAhead->load())));
            QCOMPARE(rec.failed.first(), qMakePair(99, QStringLiteral("entry 99")));
            QCOMPARE(rec.rows.at(5), fileRow(0 % 7 + 1, files.at(0)));
        }
        delivered = 0;
        CountRun run(std::make_unique<EndlessSource>(files, 250, delivered), CountMode::OneTotal, plain());
        Recorder rec;
        rec.attach(run);
        QSignalSpy input(&run, &CountRun::inputFailed);
        QVERIFY(runToEnd(run));
        QCOMPARE(rec.counted.size() + rec.failed.size(), 250);
        QCOMPARE(input.size(), 1);
        QCOMPARE(input.first().first().toString(), QStringLiteral("not a list"));
        QCOMPARE(rec.finished, QList<bool>{true});
        QVERIFY(rec.totals.isEmpty() && rec.rows.isEmpty());
    }

    // A worker the system will not start leaves the run to those that
    // did, with every row; with none the run says why and ends.
    void threadsThatCannotStart_data()
    {
        QTest::addColumn<int>("startable");
        QTest::newRow("one of four") << 1;
        QTest::newRow("none") << 0;
    }
    void threadsThatCannotStart()
    {
        QFETCH(int, startable);
        const QStringList paths = smallFiles(200);
        CountRun run(paths, CountMode::Separate, plain());
        run.setJobs(4);
        run.setThreadStartLimit(startable);
        Recorder rec;
        rec.attach(run);
        QSignalSpy failed(&run, &CountRun::runFailed);
        QVERIFY(runToEnd(run));
        if (startable > 0) {
            QCOMPARE(rec.rows.size(), paths.size());
            QCOMPARE(rec.rows.last(), fileRow(199 % 7 + 1, paths.last()));
            QCOMPARE(rec.finished, QList<bool>{false});
            QVERIFY(failed.isEmpty());
        } else {
            QVERIFY(rec.rows.isEmpty());
            QCOMPARE(rec.finished, QList<bool>{true});
            QCOMPARE(failed.size(), 1);
            QCOMPARE(failed.first().first().toString(),
                     QStringLiteral("Could not start a thread to count with: Resource temporarily unavailable"));
        }
    }

    // Words that cannot be prepared end the run with one report: every
    // worker waiting for them is woken, none prepares them again, and the
    // window can close.
    void wordsThatCannotBePrepared()
    {
        std::atomic<int> attempts{0};
        auto options = std::make_shared<SharedOptions>(CountOptions{}, [&](const CountOptions &) -> std::shared_ptr<const PreparedOptions> {
            ++attempts;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));   // the other workers queue up meanwhile
            throw std::bad_alloc();
        });
        CountRun run(smallFiles(100), CountMode::Separate, options);
        run.setJobs(4);
        Recorder rec;
        rec.attach(run);
        QSignalSpy failed(&run, &CountRun::runFailed);
        QVERIFY(runToEnd(run, 5000));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), QStringLiteral("Not enough memory for the exclusion words."));
        QCOMPARE(rec.finished, QList<bool>{true});
        QVERIFY(rec.rows.isEmpty() && rec.failed.isEmpty() && rec.totals.isEmpty());
        QCOMPARE(attempts.load(), 1);
    }

    // A worker waiting for another to finish preparing long words gives up
    // once its run is cancelled.
    void cancelWakesAWaitingWorker()
    {
        std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        SharedOptions options(CountOptions{}, [&](const CountOptions &o) {
            entered = true;
            while (!release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return prepareOptions(o);
        });
        std::thread preparing([&] { options.current(); });
        while (!entered.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::atomic<bool> cancel{false};
        std::atomic<bool> gaveUp{false};
        std::atomic<bool> returned{false};
        std::thread waiting([&] {
            gaveUp = options.currentUnless(&cancel) == nullptr;
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancel = true;
        // Without the wake-up it would wait for the preparing to end.
        for (int i = 0; i < 10000 && !returned.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool wokeByCancel = returned.load();
        release = true;
        waiting.join();
        preparing.join();
        QVERIFY(wokeByCancel);
        QVERIFY(gaveUp.load());
        QVERIFY(options.current());
    }

    // A file deeper than the system's path limit is counted (rows show the
    // whole path), and a file whose size reads 0 but holds text is read to
    // its end.
    void deepPathsAndFilesOfSizeZero()
    {
#ifdef __linux__
        // Folders made one inside the other, since no single path reaches.
        const QByteArray name(200, 'd');
        QByteArray deep = nativePath(m_dir.path());
        int folder = ::open(deep.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; deep.size() < PATH_MAX + 600; ++level) {
            QVERIFY(::mkdirat(folder, name.constData(), 0700) == 0 || errno == EEXIST);
            const int next = ::openat(folder, name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            ::close(folder);
            QVERIFY(next >= 0);
            folder = next;
            deep += '/' + name;
        }
        const int file = ::openat(folder, "deep.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        QVERIFY(file >= 0);
        QCOMPARE(::write(file, "a\nb\nc\n", 6), ssize_t(6));
        ::close(file);
        ::close(folder);
        const QString deepFile = pathFromNative(deep + "/deep.txt");

        QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
        QVERIFY(cpuinfo.open(QIODevice::ReadOnly));
        QCOMPARE(cpuinfo.size(), 0);
        const quint64 cpuLines = quint64(cpuinfo.readAll().count('\n'));
        QVERIFY(cpuLines > 0);

        const QStringList paths{deepFile, QStringLiteral("/proc/cpuinfo"), deepFile + "x"};
        CountRun run(paths, CountMode::Separate, plain());
        Recorder rec;
        rec.attach(run);
        QVERIFY(runToEnd(run));
        QCOMPARE(rec.rows, (QStringList{fileRow(3, deepFile), fileRow(cpuLines, QStringLiteral("/proc/cpuinfo"))}));
        QCOMPARE(rec.reasons, QStringList{"No such file or directory"});
        // Too deep for QTemporaryDir's own clean-up.
        QCOMPARE(QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), m_dir.filePath(QString::fromLatin1(name))}), 0);
#else
        QSKIP("Linux path limits");
#endif
    }

    void progressIsThrottled()
    {
        const QStringList paths = smallFiles(250);
        CountRun run(paths, CountMode::OneTotal, std::make_shared<SlowSource>(std::chrono::milliseconds(4)));
        run.setJobs(1);
        bool consistent = true;
        connect(&run, &CountRun::progress, &run, [&](int index, int count, const QString &path, quint64) {
            consistent = consistent && count == paths.size() && index >= 0 && index < count
                && path == paths.at(index);
        });
        Recorder rec;
        rec.attach(run);
        // A timer of the throttle's period on the same event loop: a slow
        // or busy machine delays both alike, while progress sent per file
        // or per block outruns it.
        int ticks = 0;
        QTimer period;
        period.setInterval(33);
        connect(&period, &QTimer::timeout, &run, [&] { ++ticks; });
        period.start();
        QVERIFY(runToEnd(run));
        QVERIFY(consistent);
        QVERIFY2(rec.progress >= 3, qPrintable(QString::number(rec.progress)));
        QVERIFY2(rec.progress <= 2 * ticks + 2,
                 qPrintable(QStringLiteral("%1 progress signals in %2 ticks").arg(rec.progress).arg(ticks)));
    }
};

QTEST_GUILESS_MAIN(CountRunTest)
#include "CountRunTest.moc"
