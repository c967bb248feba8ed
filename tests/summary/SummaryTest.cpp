#include "CountRun.h"
#include "SharedOptions.h"
#include "Summary.h"
#include "SummaryTable.h"
#include "TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brinmoor::counting;
using namespace brinmoor::summary;

namespace {

// name and its line count, in the order the run is given them.
const QList<QPair<QString, int>> Tree = {
    {QStringLiteral("a.cpp"), 3},      {QStringLiteral("README"), 1},
    {QStringLiteral("B.CPP"), 2},      {QStringLiteral(".bashrc"), 4},
    {QStringLiteral("trail."), 1},     {QStringLiteral("src/x.Cpp"), 5},
    {QStringLiteral("src/deep/y.h"), 1}, {QStringLiteral("src/deep/z.tar.gz"), 2},
    {QStringLiteral("docs/.hidden.md"), 3},
};

QStringList makeTree(const QString &root)
{
    QStringList paths;
    for (const auto &[name, lines] : Tree) {
        touch(root + QLatin1Char('/') + name, QByteArray("line\n").repeated(lines));
        paths << root + QLatin1Char('/') + name;
    }
    return paths;
}

// Counts paths the way the window does and adds up what the run delivers;
// stopAfter > 0 cancels the run after that many files.
Summary countAndSum(const QStringList &paths, int stopAfter = 0)
{
    Summary summary;
    CountRun run(paths, CountMode::Separate, std::make_shared<FixedOptions>(CountOptions{}));
    int seen = 0;
    QObject::connect(&run, &CountRun::fileCounted, &run, [&](int, const QString &path, quint64 lines) {
        summary.add(path, lines);
        if (++seen == stopAfter)
            run.cancel();
    });
    QSignalSpy finished(&run, &CountRun::finished);
    run.start();
    if (!finished.wait(10000))
        qFatal("the run did not finish");
    return summary;
}

struct Got
{
    QString name;
    quint64 files, lines;
    bool operator==(const Got &) const = default;
};

} // namespace

namespace QTest {
template<> char *toString(const Got &g)
{
    return qstrdup(QStringLiteral("%1 %2/%3").arg(g.name).arg(g.files).arg(g.lines).toUtf8().constData());
}
} // namespace QTest

class SummaryTest : public QObject
{
    Q_OBJECT
private slots:
    void extensionOfNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::newRow("plain") << "/p/a.cpp" << "cpp";
        QTest::newRow("last dot wins") << "/p/z.tar.gz" << "gz";
        QTest::newRow("case kept") << "/p/B.CPP" << "CPP";
        QTest::newRow("no dot") << "/p/README" << "";
        QTest::newRow("dotfile") << "/p/.bashrc" << "";
        QTest::newRow("dotfile with extension") << "/p/.hidden.md" << "md";
        QTest::newRow("trailing dot") << "/p/trail." << "";
        QTest::newRow("dot in folder only") << "/p/dir.d/file" << "";
        QTest::newRow("relative") << "notes.txt" << "txt";
    }
    void extensionOfNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QCOMPARE(extensionOf(path), extension);
    }

    // Hand count of the tree above.
    void summaryOfARun()
    {
        QTemporaryDir dir;
        const Summary s = countAndSum(makeTree(dir.path()));
        QCOMPARE(s.files(), 9u);
        QCOMPARE(s.lines(), 22u);

        QList<Got> ext;
        for (const SummaryRow &r : extensionRows(s))
            ext << Got{r.name, r.files, r.lines};
        const QList<Got> wantExt = {{"cpp", 3, 10}, {"", 3, 6}, {"md", 1, 3}, {"gz", 1, 2}, {"h", 1, 1}};
        QCOMPARE(ext, wantExt);
        QCOMPARE(shareText(extensionRows(s).front().share), QStringLiteral("45.5%"));

        QList<Got> folders;
        QList<int> depths;
        for (const SummaryRow &r : folderRows(s)) {
            folders << Got{r.depth == 0 ? r.path : r.name, r.files, r.lines};
            depths << r.depth;
        }
        const QList<Got> wantFolders = {{dir.path(), 9, 22}, {"src", 3, 8}, {"deep", 2, 3}, {"docs", 1, 3}};
        QCOMPARE(folders, wantFolders);
        QCOMPARE(depths, (QList<int>{0, 1, 2, 1}));
        QCOMPARE(folderRows(s, 1).size(), 3u);   // "deep" is below the limit
        QCOMPARE(folderRows(s, 0).size(), 1u);
    }

    // A stopped run shows what was counted, and its common root is the
    // folder of what was counted, not of what was asked for.
    void stoppedRun()
    {
        QTemporaryDir dir;
        QStringList paths = makeTree(dir.path());
        paths.move(paths.indexOf(dir.path() + "/src/deep/y.h"), 0);
        const Summary s = countAndSum(paths, 1);
        QCOMPARE(s.files(), 1u);
        QCOMPARE(s.lines(), 1u);
        const auto rows = folderRows(s);
        QCOMPARE(rows.size(), 1u);
        QCOMPARE(rows.front().path, dir.path() + "/src/deep");
        QCOMPARE(extensionRows(s).size(), 1u);
    }

    void changeAgainstThePreviousRun()
    {
        Summary before, now;
        before.add("/t/a.cpp", 10);
        before.add("/t/b.h", 5);
        now.add("/t/a.CPP", 12);
        now.add("/t/sub/c.py", 4);
        const auto ext = extensionRows(now, &before);
        QCOMPARE(ext.size(), 2u);
        QCOMPARE(ext[0].change, std::optional<std::int64_t>(2));    // grouped across case
        QCOMPARE(ext[1].change, std::optional<std::int64_t>(4));    // new since
        const auto folders = folderRows(now, -1, &before);
        QCOMPARE(folders[0].change, std::optional<std::int64_t>(1));
        QVERIFY(!extensionRows(now, nullptr)[0].change);
        QCOMPARE(extensionRows(now, &now)[0].change, std::optional<std::int64_t>(0));
        QCOMPARE(changeText(-3), QString(QChar(0x2212)) + "3");
    }

    void tablesAsText()
    {
        Summary s;
        s.add("/t/a.cpp", 30);
        s.add("/t/s,b/c", 10);
        const auto ext = extensionRows(s);
        QCOMPARE(alignedTable(ext, SummaryView::Extension, s),
                 QStringLiteral("Extension  Files  Lines   Share  Lines/File\n"
                                "cpp            1     30   75.0%        30.0\n"
                                "(none)         1     10   25.0%        10.0\n"
                                "Total          2     40  100.0%        20.0\n"));
        QCOMPARE(csvTable(folderRows(s), SummaryView::Folder, s),
                 QStringLiteral("Folder,Files,Lines,Share\r\n/t,2,40,100.0%\r\n\"/t/s,b\",1,10,25.0%\r\n"
                                "Total,2,40,100.0%\r\n"));
        QCOMPARE(alignedTable(folderRows(s), SummaryView::Folder, s).split('\n').at(2),
                 QStringLiteral("  s,b       1     10   25.0%"));
        QCOMPARE(tabSeparatedTable(ext, SummaryView::Extension, s).split('\n').at(1),
                 QStringLiteral("cpp\t1\t30\t75.0%\t30.0"));
    }
};

QTEST_GUILESS_MAIN(SummaryTest)
#include "SummaryTest.moc"
