#include "CountCommand.h"
#include "FolderWalk.h"
#include "Paths.h"
#include "ResultRows.h"
#include "TestFiles.h"
#include "../export/FailingDevice.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using brinmoor::nativePath;
using brinmoor::pathFromNative;
using brinmoor::counting::fileRow;
using brinmoor::counting::totalRow;

namespace {

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;

    QStringList lines() const
    {
        QStringList rows = QString::fromUtf8(out).split(QLatin1Char('\n'));
        if (!rows.isEmpty() && rows.last().isEmpty())
            rows.removeLast();
        return rows;
    }
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the program with each argument's own bytes (nativePath): QProcess
// would encode them as UTF-8 and lose the bytes of names that are not.
Result runProgram(const QStringList &arguments, const QByteArray &input = {}, bool closeOutput = false)
{
    QTemporaryDir io;
    const QString in = io.filePath("in"), out = io.filePath("out"), err = io.filePath("err");
    QFile inFile(in);
    if (!inFile.open(QIODevice::WriteOnly) || inFile.write(input) != input.size())
        qFatal("cannot write the program's input");
    inFile.close();

    std::vector<QByteArray> bytes{QByteArrayLiteral(BRINMOOR_COUNT_EXE)};
    for (const QString &argument : arguments)
        bytes.push_back(nativePath(argument));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, QFile::encodeName(in).constData(), O_RDONLY, 0);
    if (closeOutput)
        posix_spawn_file_actions_addclose(&actions, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(out).constData(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, QFile::encodeName(err).constData(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        qFatal("cannot start brinmoor-count");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

} // namespace

class CountCliTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_a, m_b, m_blanks, m_tree;
    QString m_bytes, m_badName, m_bomName, m_deep;   // names that are not UTF-8 or start with a byte-order mark
    QHash<QString, quint64> m_treeLines;   // by the path the walk gives

    QString write(const QString &relative, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(relative);
        touch(path, bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_a = write("a.txt", "alpha\nbeta\ngamma\n");          // 3
        m_b = write("b.log", "one\r\nTWO\r\nthree");           // 3
        m_blanks = write("blanks.txt", "x\n   \n\ny\n");      // 4, 2 without blanks
        m_tree = m_dir.filePath("tree");
        for (const auto &[name, lines] : std::initializer_list<std::pair<QString, int>>{
                 {"top.txt", 2}, {"top.md", 1}, {"sub/inner.txt", 3}, {"sub/deeper/last.txt", 1},
                 {"other/o.md", 2}, {"odd/c,om\"ma.txt", 1}}) {
            const QString path = write("tree/" + name, QByteArray("1\n").repeated(lines));
            m_treeLines.insert(QDir::toNativeSeparators(path), quint64(lines));
        }
        m_bytes = m_dir.filePath("bytes");
        m_badName = write(pathFromNative("bytes/bad\xffname.txt"), "a\nK\n\xef\xbb\xbfz\n");
        m_bomName = write(pathFromNative("bytes/\xef\xbb\xbf" "bom.txt"), "a\nb\n");
        m_deep = write(pathFromNative("bytes/sub/deep\xfe/f\xe9.txt"), "1\n2\n3\n");
        write("list-of-bytes", nativePath(m_deep + '\n' + m_badName + '\n'));
    }

    // QTemporaryDir cannot remove names that are not UTF-8.
    void cleanupTestCase() { std::filesystem::remove_all(nativePath(m_bytes).toStdString()); }

    void totalAndSeparateRows()
    {
        Result r = runProgram({m_a, m_b, m_a});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), QStringList{totalRow(9)});
        QVERIFY(r.err.isEmpty());

        r = runProgram({QStringLiteral("--separate"), m_a, m_b, m_a});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), (QStringList{fileRow(3, m_a), fileRow(3, m_b), fileRow(3, m_a)}));
    }

    void countOptions()
    {
        QCOMPARE(runProgram({QStringLiteral("-s"), m_blanks}).lines(), QStringList{fileRow(4, m_blanks)});
        QCOMPARE(runProgram({QStringLiteral("-s"), QStringLiteral("-b"), m_blanks}).lines(),
                 QStringList{fileRow(2, m_blanks)});
        QCOMPARE(runProgram({QStringLiteral("--exclude-blank"), m_blanks}).lines(), QStringList{totalRow(2)});
        // Repeatable, case-insensitive, a substring anywhere in the line.
        QCOMPARE(runProgram({QStringLiteral("-x"), QStringLiteral("ET"), QStringLiteral("--exclude=two"), m_a, m_b})
                     .lines(),
                 QStringList{totalRow(4)});
        QCOMPARE(runProgram({QStringLiteral("-sbx"), QStringLiteral("y"), m_blanks}).lines(),
                 QStringList{fileRow(1, m_blanks)});
        // Words are taken as given: a quoted leading space is part of the
        // word ("alpha" has "ph" but no " ph").
        QCOMPARE(runProgram({QStringLiteral("-x"), QStringLiteral(" ph"), m_a}).lines(), QStringList{totalRow(3)});
        QCOMPARE(runProgram({QStringLiteral("-x"), QStringLiteral("ph "), m_a}).lines(), QStringList{totalRow(3)});
        QCOMPARE(runProgram({QStringLiteral("-x"), QStringLiteral("ph"), m_a}).lines(), QStringList{totalRow(2)});
    }

    // A folder adds its files in the walk's order and with its filter; the
    // argument order around it is kept.
    void folderArguments()
    {
        const QStringList all = brinmoor::filelist::walkFolder(m_tree);
        QVERIFY(all.size() >= 5);
        QStringList expected{fileRow(3, m_a)};
        for (const QString &path : all) {
            QVERIFY2(m_treeLines.contains(path), qPrintable(path));
            expected << fileRow(m_treeLines.value(path), path);
        }
        expected << fileRow(3, m_b);
        Result r = runProgram({QStringLiteral("-s"), m_a, m_tree, m_b});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), expected);

        const QStringList txt = brinmoor::filelist::walkFolder(m_tree, QStringLiteral("*.txt"));
        QVERIFY(!txt.isEmpty() && txt.size() < all.size());
        for (const QString &ext : {QStringLiteral("txt"), QStringLiteral(".txt")}) {
            r = runProgram({QStringLiteral("-s"), QStringLiteral("-e"), ext, m_tree});
            QCOMPARE(r.lines().size(), txt.size());
            for (int i = 0; i < txt.size(); ++i)
                QVERIFY(r.lines().at(i).endsWith(QStringLiteral(" - ") + txt.at(i)));
        }
        // -e filters folders only; a file argument is taken as given.
        QCOMPARE(runProgram({QStringLiteral("-s"), QStringLiteral("-e"), QStringLiteral("md"), m_a}).lines(),
                 QStringList{fileRow(3, m_a)});
    }

    void pathLists()
    {
        const QStringList expected{fileRow(3, m_b), fileRow(3, m_a)};
        Result r = runProgram({QStringLiteral("-s"), QStringLiteral("--files-from"), QStringLiteral("-")},
                              (m_b + "\n\n" + m_a + "\r\n").toUtf8());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), expected);

        // NUL-separated, so a name may hold a line break.
        const QString odd = write("line\nbreak.txt", "1\n2\n3\n4\n5\n");
        r = runProgram({QStringLiteral("-s0"), QStringLiteral("--files-from"), QStringLiteral("-")},
                       (m_b + QChar(0) + odd + QChar(0)).toUtf8());
        QCOMPARE(r.status, 0);
        QCOMPARE(QString::fromUtf8(r.out), fileRow(3, m_b) + "\n" + fileRow(5, odd) + "\n");

        const QString list = write("list.txt", (m_a + "\n" + m_tree + "\n").toUtf8());
        r = runProgram({QStringLiteral("--files-from"), list, m_b});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), QStringList{totalRow(3 + 3 + 10)});

        r = runProgram({QStringLiteral("--files-from"), m_dir.filePath("no-such-list")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.startsWith("brinmoor-count: " + m_dir.filePath("no-such-list").toUtf8() + ": "));
    }

    // A list is read as it arrives: the first row, or the first failure,
    // comes out while the list is still open (failures are not held back).
    void listCountedWhileRead_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("status");
        QTest::newRow("row") << QStringList{"-s"} << m_a << fileRow(3, m_a) + "\n" << 0;
        const QString missing = m_dir.filePath("missing.txt");
        QTest::newRow("json failure") << QStringList{"--format=json"} << missing
                                      << "{\"files\":[\n{\"path\":\"" + missing + "\",\"reason\":\"No such file or directory\"}"
                                      << 1;
    }
    void listCountedWhileRead()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        QFETCH(int, status);
        QProcess process;
        process.start(QStringLiteral(BRINMOOR_COUNT_EXE), arguments + QStringList{"--files-from", "-"});
        QVERIFY(process.waitForStarted());
        process.write((entry + "\n").toUtf8());
        QByteArray out;
        while (out.size() < expected.toUtf8().size() && process.waitForReadyRead(10000))
            out += process.readAllStandardOutput();
        QCOMPARE(QString::fromUtf8(out), expected);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), status);
    }

    // Whatever stops the program on its own, what it wrote is whole: after
    // input that is no list of paths, JSON still closes and CSV and the
    // total row still give the total of what was counted before.
    void outputWholeAfterAnInputError_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("text") << "text";
        QTest::newRow("csv") << "csv";
        QTest::newRow("json") << "json";
    }
    void outputWholeAfterAnInputError()
    {
        QFETCH(QString, format);
        const Result r = runProgram({"--format", format, "--files-from", "-"},
                                    (m_a + "\n").toUtf8() + QByteArray("x\0y\n", 4) + (m_b + "\n").toUtf8());
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("holds a NUL byte"), r.err.constData());
        if (format == "text") {
            QCOMPARE(r.lines(), QStringList{totalRow(3)});
        } else if (format == "csv") {
            QCOMPARE(parseCsv(r.out), (QList<QStringList>{{"kind", "path", "lines"}, {"file", m_a, "3"}, {"total", "", "3"}}));
        } else {
            QJsonParseError error;
            const QJsonObject doc = QJsonDocument::fromJson(r.out, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(doc.value("files").toArray().size(), 1);
            QCOMPARE(doc.value("total").toInteger(), 3);
        }
    }

    // Output that cannot be written stops the run at the write that fails,
    // with a message and status 1; never a silent success or a death by
    // signal.
    void standardOutputClosed()
    {
        for (const QStringList &arguments : {QStringList{"-s", m_a}, QStringList{"--help"}}) {
            const Result r = runProgram(arguments, {}, /*closeOutput=*/true);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.endsWith(": standard output is closed\n"), r.err.constData());
            QVERIFY(r.err.startsWith("brinmoor-count: cannot write the "));
        }
    }

    void fullOutputStopsTheRun_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<qint64>("room");
        QTest::newRow("text, nothing fits") << "text" << qint64(0);
        QTest::newRow("json, part fits") << "json" << qint64(100);
        QTest::newRow("csv, part fits") << "csv" << qint64(30);
    }
    void fullOutputStopsTheRun()
    {
        QFETCH(QString, format);
        QFETCH(qint64, room);
        brinmoor::cli::CountCommand command;
        command.separate = true;
        command.format = format == "text" ? brinmoor::cli::OutputFormat::Text
            : format == "csv"             ? brinmoor::cli::OutputFormat::Csv
                                          : brinmoor::cli::OutputFormat::Json;
        command.paths = {m_a, m_b};
        FailingDevice out(room);
        QBuffer err, in;
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        QCOMPARE(brinmoor::cli::runCount(command, out, err, in), 1);
        QCOMPARE(err.data(), QByteArray("brinmoor-count: cannot write the results: No space left on device\n"));
        QVERIFY(out.written().size() <= room);
    }

    // A reader that leaves (`| head`) ends the program, quietly and with a
    // failure status, though its list is still coming: it does not die of
    // the broken pipe, nor count on into the void.
    void readerLeavingEndsTheRun()
    {
        int in[2], out[2];
        QVERIFY(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0);
        QTemporaryDir io;
        const QByteArray err = QFile::encodeName(io.filePath("err"));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT, 0600);
        QByteArray program(BRINMOOR_COUNT_EXE), s("-s"), from("--files-from"), dash("-");
        char *argv[] = {program.data(), s.data(), from.data(), dash.data(), nullptr};
        pid_t pid = 0;
        QCOMPARE(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::fcntl(in[1], F_SETFL, O_NONBLOCK);
        ::signal(SIGPIPE, SIG_IGN);

        // One row read, then the reader leaves while the list goes on.
        const QByteArray entries = (m_a + "\n").toUtf8().repeated(100);
        QVERIFY(::write(in[1], entries.constData(), entries.size()) > 0);
        char row[64];
        QVERIFY(::read(out[0], row, sizeof row) > 0);
        ::close(out[0]);
        int status = 0;
        pid_t ended = 0;
        QDeadlineTimer deadline(30000);
        while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && !deadline.hasExpired()) {
            (void)!::write(in[1], entries.constData(), entries.size());
            QThread::msleep(10);
        }
        ::close(in[1]);
        if (ended == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            QFAIL("the program went on counting for its vanished reader");
        }
        QVERIFY2(WIFEXITED(status), "ended by a signal");
        QCOMPARE(WEXITSTATUS(status), 1);
        QCOMPARE(readAll(QFile::decodeName(err)), QByteArray());
    }

    // Input that cannot be a list of paths stops the program with status 2
    // and says why, after the entries before it; endless input of that kind
    // stops too. An entry of the longest length a path may have is a path.
    void notAListOfPaths_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QStringList lines{"-s", "--files-from", "-"};
        const QStringList nul{"-s0", "--files-from", "-"};
        const QByteArray first = (m_a + "\n").toUtf8();
        QTest::newRow("NUL inside a line") << lines << first + QByteArray("x\0y\n", 4) << 2 << "entry 2 holds a NUL byte";
        QTest::newRow("device by lines") << QStringList{"--files-from", "/dev/zero"} << QByteArray() << 2 << "holds a NUL byte";
        QTest::newRow("endless empty entries") << QStringList{"-0", "--files-from", "/dev/zero"} << QByteArray() << 2
                                               << "empty entries in a row";
        QTest::newRow("entry over the path limit") << lines << first + QByteArray(4096, 'a') + "\n" << 2
                                                   << "entry 2 is longer than the longest path";
        QTest::newRow("endless entry") << nul << (m_a + QChar(0)).toUtf8() + QByteArray(1 << 20, 'a') << 2
                                       << "entry 2 is longer than the longest path";
        QTest::newRow("entry at the path limit") << lines << first + QByteArray(4095, 'a') + "\r\n" << 1
                                                 << "File name too long";
    }
    void notAListOfPaths()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, message);
        const Result r = runProgram(arguments, input);
        QCOMPARE(r.status, status);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QVERIFY2(r.err.count('\n') == 1, r.err.constData());
        if (!input.isEmpty())
            QCOMPARE(r.lines(), QStringList{fileRow(3, m_a)});
    }

    // Both modes give per-file counts and the total; a failed file is
    // missing from the records but named in json's failures.
    void csvAndJson_data()
    {
        QTest::addColumn<QStringList>("mode");
        QTest::newRow("one total") << QStringList{};
        QTest::newRow("separate") << QStringList{QStringLiteral("-s")};
    }
    void csvAndJson()
    {
        QFETCH(QStringList, mode);
        const QString odd = m_dir.filePath("tree/odd/c,om\"ma.txt");
        const QString missing = m_dir.filePath("missing.txt");

        Result r = runProgram(mode + QStringList{QStringLiteral("--format"), QStringLiteral("csv"), m_a, odd, missing, m_b});
        QCOMPARE(r.status, 1);
        QCOMPARE(parseCsv(r.out), (QList<QStringList>{{"kind", "path", "lines"},
                                                      {"file", m_a, "3"},
                                                      {"file", odd, "1"},
                                                      {"file", m_b, "3"},
                                                      {"total", "", "7"}}));

        r = runProgram(mode + QStringList{QStringLiteral("--format=json"), m_a, odd, missing, m_b});
        QCOMPARE(r.status, 1);
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(r.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        // One entry per path, in order; the failed one has its reason.
        const QJsonArray files = doc.value("files").toArray();
        QCOMPARE(files.size(), 4);
        QCOMPARE(files.at(1).toObject().value("path").toString(), odd);
        QCOMPARE(files.at(1).toObject().value("lines").toInteger(), 1);
        QCOMPARE(files.at(2).toObject().value("path").toString(), missing);
        QVERIFY(!files.at(2).toObject().contains("lines"));
        QVERIFY(!files.at(2).toObject().value("reason").toString().isEmpty());
        QCOMPARE(files.at(3).toObject().value("path").toString(), m_b);
        QCOMPARE(doc.value("total").toInteger(), 7);
        QCOMPARE(doc.value("failed").toInteger(), 1);
    }

    // The same numbers in every format; -s puts the file rows first.
    void summaryTables()
    {
        const QString tree = m_tree;
        Result r = runProgram({"--summary", "ext", tree});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), (QStringList{"Extension  Files  Lines   Share  Lines/File",
                                         "txt            4      7   70.0%         1.8",
                                         "md             2      3   30.0%         1.5",
                                         "Total          6     10  100.0%         1.7"}));

        r = runProgram({"-s", "--summary", "folder=1", tree});
        QStringList lines = r.lines();
        QCOMPARE(lines.size(), 6 + 1 + 6);   // rows, blank, header + 4 folders + total
        QCOMPARE(lines.at(0), fileRow(m_treeLines.value(brinmoor::filelist::walkFolder(tree).at(0)),
                                      brinmoor::filelist::walkFolder(tree).at(0)));
        QCOMPARE(lines.at(6), QString());
        QCOMPARE(lines.at(8).simplified(), tree + " 6 10 100.0%");
        QCOMPARE(lines.at(9).simplified(), "sub 2 4 40.0%");   // deeper/ is below the depth asked for

        r = runProgram({"--format=csv", "--summary=folder", tree});
        QCOMPARE(r.status, 0);
        const QList<QStringList> csv = parseCsv(r.out);
        QCOMPARE(csv.size(), 7);
        QCOMPARE(csv.at(0), (QStringList{"kind", "name", "files", "lines", "share", "lines_per_file"}));
        QCOMPARE(csv.at(2), (QStringList{"folder", tree + "/sub", "2", "4", "40.00", "2.00"}));
        QCOMPARE(csv.at(3), (QStringList{"folder", tree + "/sub/deeper", "1", "1", "10.00", "1.00"}));
        QCOMPARE(csv.last(), (QStringList{"total", "", "6", "10", "100.00", "1.67"}));

        r = runProgram({"--format=csv", "-s", "--summary=ext", m_a, m_b});
        QCOMPARE(parseCsv(r.out), (QList<QStringList>{{"kind", "name", "files", "lines", "share", "lines_per_file"},
                                                      {"file", m_a, "1", "3", "", ""},
                                                      {"file", m_b, "1", "3", "", ""},
                                                      {"extension", "log", "1", "3", "50.00", "3.00"},
                                                      {"extension", "txt", "1", "3", "50.00", "3.00"},
                                                      {"total", "", "2", "6", "100.00", "3.00"}}));

        for (const bool separate : {false, true}) {
            r = runProgram(QStringList{"--format=json", "--summary=ext", tree} + (separate ? QStringList{"-s"} : QStringList{}));
            QJsonParseError error;
            const QJsonObject doc = QJsonDocument::fromJson(r.out, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            // Without -s the files array holds only failures, streamed as they come.
            QCOMPARE(doc.value("files").toArray().size(), separate ? 6 : 0);
            QCOMPARE(doc.value("failed").toInteger(), 0);
            const QJsonArray rows = doc.value("summary").toObject().value("rows").toArray();
            QCOMPARE(rows.size(), 2);
            QCOMPARE(rows.at(0).toObject().value("extension").toString(), "txt");
            QCOMPARE(rows.at(0).toObject().value("lines").toInteger(), 7);
            QCOMPARE(rows.at(1).toObject().value("files").toInteger(), 2);
            QCOMPARE(doc.value("total").toInteger(), 10);
        }
    }

    // A path is bytes: it is opened, walked and printed exactly as the file
    // system names it, and a word is taken as given (a leading byte-order
    // mark is part of it).
    void bytesAsGiven_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("out");
        const auto row = [](quint64 lines, const QString &path) { return nativePath(fileRow(lines, path)) + '\n'; };
        const QString bom = pathFromNative("\xef\xbb\xbf");
        QTest::newRow("name not UTF-8") << QStringList{"-s", m_badName} << row(3, m_badName);
        QTest::newRow("name starting with a byte-order mark") << QStringList{"-s", m_bomName} << row(2, m_bomName);
        QTest::newRow("word that is a byte-order mark") << QStringList{"-s", "-x", bom, m_badName} << row(2, m_badName);
        QTest::newRow("word starting with a byte-order mark")
            << QStringList{"-s", "-x", bom + "K", m_badName} << row(3, m_badName);
        QTest::newRow("folder with such names") << QStringList{"-s", m_bytes}
                                                << row(3, m_badName) + row(2, m_bomName) + row(3, m_deep);
        QTest::newRow("names in a list") << QStringList{"-s", "--files-from", m_dir.filePath("list-of-bytes")}
                                         << row(3, m_deep) + row(3, m_badName);
        QTest::newRow("csv") << QStringList{"--format=csv", m_badName}
                             << "kind,path,lines\r\nfile," + nativePath(m_badName) + ",3\r\ntotal,,3\r\n";
        // JSON text is UTF-8: each stray byte is the escape \udcXX.
        QTest::newRow("json") << QStringList{"--format=json", m_deep}
                              << "{\"files\":[\n{\"path\":\"" + nativePath(m_bytes).replace('\\', "\\\\")
                                     + "/sub/deep\\udcfe/f\\udce9.txt\",\"lines\":3}\n],\"total\":3,\"failed\":0}\n";
    }
    void bytesAsGiven()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, out);
        const Result r = runProgram(arguments);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, out);
    }

    // A sub-folder that cannot be listed is a failure, as an unreadable file
    // is; the rest is counted. (Run in-process: as root no permission stops
    // a listing, so the folder is refused through the walk's seam.)
    void unlistableSubFolderFails()
    {
        brinmoor::cli::CountCommand command;
        command.separate = true;
        command.paths = {m_bytes};
        const QByteArray refused = nativePath(m_bytes + "/sub");
        command.openFolder = [refused](const char *path) {
            if (refused == path) {
                errno = EACCES;
                return -1;
            }
            return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        };
        QBuffer out, err, in;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        QCOMPARE(brinmoor::cli::runCount(command, out, err, in), 1);
        QCOMPARE(err.data(), "brinmoor-count: " + refused + ": Permission denied\n");
        QCOMPARE(out.data(), nativePath(fileRow(3, m_badName) + '\n' + fileRow(2, m_bomName) + '\n'));

        // JSON names the folder in the failure's path, apart from the reason.
        command.format = brinmoor::cli::OutputFormat::Json;
        QBuffer json;
        json.open(QIODevice::WriteOnly);
        QCOMPARE(brinmoor::cli::runCount(command, json, err, in), 1);
        const QJsonArray files = QJsonDocument::fromJson(json.data()).object().value("files").toArray();
        QCOMPARE(files.size(), 3);
        QCOMPARE(files.at(2).toObject().value("path").toString(), pathFromNative(refused));
        QCOMPARE(files.at(2).toObject().value("reason").toString(), QStringLiteral("Permission denied"));
    }

    void failingFileKeepsTheOthers()
    {
        const QString missing = m_dir.filePath("missing.txt");
        Result r = runProgram({QStringLiteral("-s"), m_a, missing, m_tree + "/top.txt", m_b});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines().size(), 3);
        QCOMPARE(r.lines().first(), fileRow(3, m_a));
        QCOMPARE(r.lines().last(), fileRow(3, m_b));
        const QStringList err = QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(err.size(), 1);
        QVERIFY2(err.first().startsWith(QStringLiteral("brinmoor-count: ") + missing + QStringLiteral(": "))
                     && err.first().size() > QStringLiteral("brinmoor-count: ").size() + missing.size() + 2,
                 qPrintable(err.first()));
        // The total mode counts the rest and still fails.
        r = runProgram({m_a, missing});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines(), QStringList{totalRow(3)});
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << QStringList{"--bogus", "x"} << "bogus";
        QTest::newRow("missing value") << QStringList{"x", "--exclude"} << "exclude";
        QTest::newRow("jobs not a number") << QStringList{"-j", "many", "x"} << "many";
        QTest::newRow("jobs zero") << QStringList{"--jobs=0", "x"} << "jobs";
        QTest::newRow("bad format") << QStringList{"--format", "xml", "x"} << "xml";
        QTest::newRow("no paths") << QStringList{"-s"} << "paths";
        QTest::newRow("null without list") << QStringList{"-0", "x"} << "files-from";
        QTest::newRow("bad summary") << QStringList{"--summary", "lang", "x"} << "lang";
        QTest::newRow("bad summary depth") << QStringList{"--summary=folder=-1", "x"} << "folder=-1";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        const Result r = runProgram(arguments);
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith("brinmoor-count: ") && QString::fromUtf8(r.err).contains(named),
                 r.err.constData());
    }

    // The words are taken out of the arguments before the option parser
    // sees them (it would hold each one twice more): only where the parser
    // would read a word too, in the same order, and never a path or another
    // option's value.
    void wordsReadAsTheParserReadsThem_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("extension");
        QTest::newRow("every form") << QStringList{"-xa", "-x", "b", "-x=c", "--exclude", "d", "--exclude=e", "p"}
                                    << QStringList{"a", "b", "c", "d", "e"} << QStringList{"p"} << "";
        QTest::newRow("flags and values between")
            << QStringList{"-sb", "-xa", "--separate", "-j", "2", "p", "--format=json", "-xb", "-0", "--files-from", "-"}
            << QStringList{"a", "b"} << QStringList{"p"} << "";
        QTest::newRow("another option's value") << QStringList{"-e", "-xa", "--ext", "-x", "p"} << QStringList{}
                                                << QStringList{"p"} << "-x";
        QTest::newRow("words that look like options")
            << QStringList{"-x", "--", "--exclude", "-s", "-x", "-xb", "p"} << QStringList{"--", "-s", "-xb"}
            << QStringList{"p"} << "";
        QTest::newRow("paths after --") << QStringList{"-xa", "--", "-xb", "--exclude=c"} << QStringList{"a"}
                                        << QStringList{"-xb", "--exclude=c"} << "";
        QTest::newRow("left to the parser, order kept")
            << QStringList{"-xa", "-sxb", "-xc", "-etxt", "-x", "d", "p"} << QStringList{"a", "b", "c", "d"}
            << QStringList{"p"} << "txt";
        QTest::newRow("empty and standard input") << QStringList{"-x=", "--exclude=", "-", "-xa"}
                                                  << QStringList{"", "", "a"} << QStringList{"-"} << "";
    }
    void wordsReadAsTheParserReadsThem()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, words);
        QFETCH(QStringList, paths);
        QFETCH(QString, extension);
        const auto parsed = brinmoor::cli::parseCommandLine(QStringList{QStringLiteral("brinmoor-count")} + arguments);
        QCOMPARE(parsed.action, brinmoor::cli::ParsedCommandLine::Action::Count);
        QCOMPARE(parsed.command.options.excludeWords, words);
        QCOMPARE(parsed.command.paths, paths);
        QCOMPARE(parsed.command.extension, extension);
    }

    void helpAndVersion()
    {
        Result r = runProgram({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        for (const char *option : {"--separate", "--exclude-blank", "--exclude", "--files-from", "--null", "--ext",
                                   "--jobs", "--format", "--version"})
            QVERIFY2(r.out.contains(option), option);
        r = runProgram({QStringLiteral("--version")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("brinmoor-count "));
    }

    // Many files over several threads come out in argument order.
    void manyFilesInOrder()
    {
        QStringList paths;
        QStringList expected;
        for (int i = 0; i < 400; ++i) {
            paths << write(QStringLiteral("many/f%1.txt").arg(i), QByteArray("l\n").repeated(i % 5));
            expected << fileRow(quint64(i % 5), paths.last());
        }
        const Result r = runProgram(QStringList{QStringLiteral("-s"), QStringLiteral("-j"), QStringLiteral("3")} + paths);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines(), expected);
    }
};

QTEST_GUILESS_MAIN(CountCliTest)
#include "CountCliTest.moc"
