// The console program under faults the machine imposes: a sandbox that
// refuses io_uring submissions or new threads, a low limit on open files.
// Each runs in a process of its own through fault-exec, since neither a
// seccomp filter nor a lowered hard limit can be lifted again.

#include "TestFiles.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Outcome run(const QStringList &faults, const QStringList &arguments)
{
    QProcess process;
    // The batched reads are what the faults are aimed at.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("BRINMOOR_READER"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(FAULT_EXEC), faults + QStringList{QStringLiteral("--"), QStringLiteral(BRINMOOR_COUNT_EXE)} + arguments);
    if (!process.waitForFinished(60000))
        qFatal("brinmoor-count did not finish under %s", qPrintable(faults.join(' ')));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

} // namespace

class RunFaultTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_list;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // More files than a few workers' batches hold at once, a folder
        // among them, a big file and a missing one.
        QByteArray list;
        for (int i = 0; i < 400; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("f%1.txt").arg(i));
            touch(path, QByteArray("line\n").repeated(i % 9));
            list += path.toUtf8() + '\n';
        }
        for (int i = 0; i < 60; ++i)
            touch(m_dir.filePath(QStringLiteral("folder/g%1.txt").arg(i)), QByteArray("x\n").repeated(i % 4 + 1));
        list += m_dir.filePath(QStringLiteral("folder")).toUtf8() + '\n';
        touch(m_dir.filePath(QStringLiteral("big.txt")), QByteArray("a longer line of text\n").repeated(20000));
        list += m_dir.filePath(QStringLiteral("big.txt")).toUtf8() + '\n';
        list += m_dir.filePath(QStringLiteral("missing.txt")).toUtf8() + '\n';
        m_list = m_dir.filePath(QStringLiteral("list"));
        touch(m_list, list);
    }

    // The run falls back to reading file by file, or makes do with the
    // descriptors it has: the same rows, failures and status as a run
    // without the fault, never an abort.
    void sameRowsUnderTheFault_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("jobs");
        QTest::newRow("io_uring_enter refused") << QStringList{"--refuse-uring=EPERM"} << "4";
        QTest::newRow("io_uring_enter busy for ever") << QStringList{"--refuse-uring=EAGAIN"} << "2";
        QTest::newRow("io_uring_enter interrupted for ever") << QStringList{"--refuse-uring=EINTR"} << "4";
        QTest::newRow("soft limit 16, hard 4096") << QStringList{"--nofile=16:4096"} << "8";
#if !defined(__SANITIZE_ADDRESS__)
        // The sanitizers' runtime tests memory through a pipe, and reports
        // a bad object when no descriptor is left for it; their shadow
        // memory needs terabytes of address space.
        QTest::newRow("16 descriptors") << QStringList{"--nofile=16"} << "4";
        QTest::newRow("16 descriptors, 64 workers") << QStringList{"--nofile=16"} << "64";
        QTest::newRow("200 MB of address space, 8 workers") << QStringList{"--address-space=209715200"} << "8";
#endif
    }
    void sameRowsUnderTheFault()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, jobs);
        const QStringList arguments{"-s", "-j", jobs, "--files-from", m_list};
        const Outcome reference = run({}, arguments);
        QCOMPARE(reference.status, 1);   // the missing file
        QCOMPARE(reference.out.count('\n'), 400 + 60 + 1);
        const Outcome faulty = run(faults, arguments);
        QCOMPARE(faulty.err, reference.err);
        QCOMPARE(faulty.out, reference.out);
        QCOMPARE(faulty.status, reference.status);
    }

    // With no thread to count with the program says so and ends with
    // status 2 rather than dying.
    void noThreadStarts()
    {
        const Outcome faulty = run({"--refuse-threads"}, {"-s", "--files-from", m_list});
        QCOMPARE(faulty.status, 2);
        QVERIFY(faulty.out.isEmpty());
        QVERIFY2(faulty.err.contains("Could not start a thread to count with: Resource temporarily unavailable"),
                 faulty.err.constData());
    }
};

QTEST_GUILESS_MAIN(RunFaultTest)
#include "RunFaultTest.moc"
