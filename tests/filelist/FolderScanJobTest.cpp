#include "AddFolder.h"
#include "FolderScanJob.h"
#include "FolderWalk.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "TextListModel.h"


#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <fcntl.h>

using namespace brinmoor;
using namespace brinmoor::filelist;

namespace {

// The rows a job hands over, batch by batch.
struct Collected
{
    explicit Collected(FolderScanJob *job)
        : finished(job, &FolderScanJob::finished)
    {
        QObject::connect(job, &FolderScanJob::rowsFound, job,
                         [this](const QStringList &rows) { batches.append(rows); });
    }
    QStringList rows() const
    {
        QStringList all;
        for (const QStringList &batch : batches)
            all += batch;
        return all;
    }
    QList<QStringList> batches;
    QSignalSpy finished;
};

} // namespace

class FolderScanJobTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_one = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("one")));
        m_two = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("two")));
        for (const char *name : {"one/a.txt", "one/b.log", "one/~skip.txt", "one/x..txt", "one/sub/c.txt",
                                 "one/sub/deeper/d.txt", "one/other/e.txt", "one/other/f.log", "two/g.txt",
                                 "two/h/i.txt"})
            touch(m_dir.filePath(QLatin1String(name)));
        for (int i = 0; i < 60; ++i)
            touch(m_dir.filePath(QStringLiteral("many/%1/file%2.txt").arg(i % 6).arg(i)));
    }

    void handsTheWalkOverInWalkOrder()
    {
        FolderScanJob job(m_one, QStringLiteral("*.txt"));
        Collected got(&job);
        job.start();
        QVERIFY(job.isRunning());
        QVERIFY(got.finished.wait());
        QCOMPARE(got.finished.first().first().toBool(), false);
        QVERIFY(!job.isRunning());
        QCOMPARE(got.rows(), walkFolder(m_one, QStringLiteral("*.txt")));
        // The folder's own files first, "~" names left out.
        const QStringList rows = got.rows();
        QCOMPARE(rows.size(), 5);   // a.txt, x..txt, c.txt, d.txt, e.txt
        QVERIFY(QFileInfo(rows.first()).path() == QDir::fromNativeSeparators(m_one));
        QVERIFY(QFileInfo(rows.last()).fileName() == QLatin1String("d.txt"));
        for (const QString &row : rows)
            QVERIFY2(!row.contains(QLatin1Char('~')) && row.endsWith(QLatin1String(".txt")), qPrintable(row));
    }

    void batchesStayWithinTheirLimit()
    {
        const QString many = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("many")));
        FolderScanJob job(many, QStringLiteral("*.*"));
        job.setHandOverInterval(0);
        job.setMaxBatch(7);
        Collected got(&job);
        job.start();
        QVERIFY(got.finished.wait());
        QCOMPARE(got.rows(), walkFolder(many, QStringLiteral("*.*")));
        QCOMPARE(got.rows().size(), 60);
        QVERIFY(got.batches.size() >= 9);
        for (const QStringList &batch : got.batches)
            QVERIFY(!batch.isEmpty() && batch.size() <= 7);
    }

    void aFolderThatCannotBeListedIsToldInItsPlaceAmongTheRows()
    {
        // "one/sub" fails (through the seam: tests may run as root), and
        // "sub/deeper" with it; the files walked before it come first.
        FolderScanJob job(m_one, QStringLiteral("*.txt"));
        job.setHandOverInterval(0);
        job.setOpenFolder([](const char *path) {
            if (QByteArray(path).endsWith("/sub")) {
                errno = EMFILE;
                return -1;
            }
            return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        });
        QStringList told;
        connect(&job, &FolderScanJob::rowsFound, this, [&told](const QStringList &rows) {
            for (const QString &row : rows)
                told.append(QFileInfo(row).fileName());
        });
        connect(&job, &FolderScanJob::folderFailed, this, [&told](const QString &folder, const QString &reason) {
            told.append(folder + QStringLiteral(": ") + reason);
        });
        QSignalSpy finished(&job, &FolderScanJob::finished);
        job.start();
        QVERIFY(finished.wait());
        QCOMPARE(told, QStringList({QStringLiteral("a.txt"), QStringLiteral("x..txt"), QStringLiteral("e.txt"),
                                    m_one + QStringLiteral("/sub: Too many open files")}));
    }

    void twoScansAtOnceBothFinish()
    {
        FolderScanJob first(m_one, QStringLiteral("*.*"));
        FolderScanJob second(m_two, QStringLiteral("*.*"));
        Collected fromFirst(&first);
        Collected fromSecond(&second);
        first.start();
        second.start();
        QTRY_COMPARE(fromFirst.finished.size() + fromSecond.finished.size(), 2);
        QCOMPARE(fromFirst.rows(), walkFolder(m_one, QStringLiteral("*.*")));
        QCOMPARE(fromSecond.rows(), walkFolder(m_two, QStringLiteral("*.*")));
    }

    void aCancelledScanSaysNothingMoreAndFinishes()
    {
        FolderScanJob job(m_dir.path(), QStringLiteral("*.*"));
        job.setHandOverInterval(0);
        Collected got(&job);
        job.start();
        job.cancel();
        QVERIFY(got.finished.wait());
        QCOMPARE(got.finished.first().first().toBool(), true);
        QVERIFY(got.batches.isEmpty());
    }

    void aScanDestroyedWhileRunningWaitsForItsThread()
    {
        auto *job = new FolderScanJob(m_dir.path(), QStringLiteral("*.*"));
        bool delivered = false;
        connect(job, &FolderScanJob::rowsFound, this, [&delivered] { delivered = true; });
        job->start();
        delete job;
        QTest::qWait(20);   // nothing queued for the job may arrive now
        QVERIFY(!delivered);
    }

    void aDropIsHandledInDeliveredOrder()
    {
        // Files are passed on as delivered, even those the walk would skip
        // or that do not exist; folders are walked with every file.
        const QString tilde = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("one/~skip.txt")));
        const QString missing = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("gone.txt")));
        QScopedPointer<FolderScanJob> job(FolderScanJob::forDrop({tilde, m_two, missing, m_one}));
        Collected got(job.data());
        job->start();
        QVERIFY(got.finished.wait());
        const QStringList expected = QStringList{tilde} + walkFolder(m_two, QStringLiteral("*.*"))
                                     + QStringList{missing} + walkFolder(m_one, QStringLiteral("*.*"));
        QCOMPARE(got.rows(), expected);
    }

    // "Add All File(s) In Folder"

    void init()
    {
        m_settingsDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_settingsDir->isValid());
        m_settings = std::make_unique<SettingsStore>(m_settingsDir->filePath(QStringLiteral("s.conf")));
        m_dialogs = ScriptedDialogs();
        m_fileDialogs = ScriptedFileListDialogs();
        m_list.clear();
        m_holds = 0;
        m_hold.reset();
    }

    void addFolderAsksRemembersAndHoldsTheBusyPointerWhileScanning()
    {
        m_dialogs.inputAnswers = {QStringLiteral("txt"), QStringLiteral("log")};
        m_fileDialogs.folders = {m_one, m_one};
        QPointer<FolderScanJob> job = AddAllFilesInFolder(context());
        QVERIFY(job);
        QCOMPARE(m_holds, 1);
        QVERIFY(!m_hold.expired());
        QSignalSpy finished(job.data(), &FolderScanJob::finished);
        QVERIFY(finished.wait());
        QVERIFY(m_hold.expired());
        QCOMPARE(m_list.texts(), walkFolder(m_one, QStringLiteral("*.txt")));
        QTRY_VERIFY(job.isNull());   // it deletes itself

        QCOMPARE(m_dialogs.inputs.size(), 1);
        QCOMPARE(m_dialogs.inputs[0].prompt, QStringLiteral("Enter file extension to load:\r\r(* for all files, "
                                                            "txt for all txt files, doc for all doc files, etc.)"));
        QCOMPARE(m_dialogs.inputs[0].title, QStringLiteral("Brinmoor"));
        QCOMPARE(m_dialogs.inputs[0].defaultText, QStringLiteral("txt"));
        QCOMPARE(m_fileDialogs.folderRequests.size(), 1);
        QCOMPARE(m_fileDialogs.folderRequests[0].prompt, QStringLiteral("Please select folder:"));
        QCOMPARE(m_fileDialogs.folderRequests[0].startFolder, QString());
        QCOMPARE(setting(settings::Extension), QStringLiteral("txt"));
        QCOMPARE(setting(settings::LastFolder), m_one);

        // The next run offers what the last one chose; the same folder twice
        // lists its files twice.
        const int before = m_list.count();
        job = AddAllFilesInFolder(context());
        QVERIFY(job);
        QVERIFY(QSignalSpy(job.data(), &FolderScanJob::finished).wait());
        QCOMPARE(m_dialogs.inputs[1].defaultText, QStringLiteral("txt"));
        QCOMPARE(m_fileDialogs.folderRequests[1].startFolder, m_one);
        QCOMPARE(setting(settings::Extension), QStringLiteral("log"));
        QCOMPARE(m_list.texts().mid(before), walkFolder(m_one, QStringLiteral("*.log")));
    }

    void addFolderCancelledInTheInputBoxChangesNothing()
    {
        m_dialogs.inputAnswers = {std::nullopt, QString()};
        QVERIFY(!AddAllFilesInFolder(context()));
        QVERIFY(!AddAllFilesInFolder(context()));   // an emptied box is a cancel too
        QVERIFY(m_fileDialogs.folderRequests.isEmpty());
        QCOMPARE(setting(settings::Extension), QStringLiteral("unset"));
        QCOMPARE(m_holds, 0);
    }

    void addFolderCancelledInTheBrowserKeepsTheExtensionOnly()
    {
        m_dialogs.inputAnswers = {QStringLiteral("*")};
        QVERIFY(!AddAllFilesInFolder(context()));
        QCOMPARE(setting(settings::Extension), QStringLiteral("*"));
        QCOMPARE(setting(settings::LastFolder), QStringLiteral("unset"));
        QCOMPARE(m_holds, 0);
        QCOMPARE(m_list.count(), 0);
    }

    void addFolderUsesTheExtensionAsTyped()
    {
        // A leading dot gives two dots in a row in the pattern.
        m_dialogs.inputAnswers = {QStringLiteral(".txt")};
        m_fileDialogs.folders = {m_one};
        QPointer<FolderScanJob> job = AddAllFilesInFolder(context());
        QVERIFY(job);
        QVERIFY(QSignalSpy(job.data(), &FolderScanJob::finished).wait());
        QCOMPARE(m_list.texts(), walkFolder(m_one, QStringLiteral("*..txt")));
        QCOMPARE(m_list.count(), 1);
        QVERIFY(m_list.text(0).endsWith(QLatin1String("x..txt")));
    }

private:
    AddFolderContext context()
    {
        return {m_dialogs, m_fileDialogs, *m_settings, m_list, QStringLiteral("Brinmoor"),
                [this] {
                    ++m_holds;
                    auto hold = std::make_shared<int>(0);
                    m_hold = hold;
                    return BusyHold(hold);
                },
                nullptr, nullptr};
    }
    QString setting(const char *key) const
    {
        return m_settings->read(QLatin1String(key), QStringLiteral("unset"));
    }

    QTemporaryDir m_dir;
    QString m_one;
    QString m_two;
    std::unique_ptr<QTemporaryDir> m_settingsDir;
    std::unique_ptr<SettingsStore> m_settings;
    ScriptedDialogs m_dialogs;
    ScriptedFileListDialogs m_fileDialogs;
    TextListModel m_list;
    int m_holds = 0;
    std::weak_ptr<int> m_hold;
};

QTEST_GUILESS_MAIN(FolderScanJobTest)
#include "FolderScanJobTest.moc"
