#include "Clipboard.h"
#include "ContextMenuCommands.h"
#include "CountRun.h"
#include "FileListDialogs.h"
#include "RunSummary.h"
#include "SharedOptions.h"
#include "SummaryCommands.h"
#include "SummaryModels.h"
#include "SummaryTable.h"
#include "SummaryWindow.h"
#include "TextListModel.h"
#include "WindowFixture.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QBarSet>
#include <QHorizontalBarSeries>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

#include <chrono>
#include <thread>

using namespace brinmoor;
using app::MainWindow;

namespace {

class RecordingClipboard final : public Clipboard
{
public:
    bool placeText(const QString &text) override
    {
        texts << text;
        return !refuse;
    }
    QStringList texts;
    bool refuse = false;
};

// Makes every read block take a while, so a run lasts long enough to be
// watched.
class SlowOptions final : public counting::OptionsSource
{
public:
    std::shared_ptr<const counting::PreparedOptions> current() const override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return m_inner.current();
    }

private:
    counting::FixedOptions m_inner{counting::CountOptions{}};
};

void doubleClick(QTreeView *view, const QModelIndex &index)
{
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

QMenu *openMenu(QTreeView *view, int row)
{
    view->setCurrentIndex(view->model()->index(row, 0));
    emit view->customContextMenuRequested(view->visualRect(view->currentIndex()).center());
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? "" : " (off)"));
    return texts;
}

void trigger(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            a->trigger();
    menu->close();
}

// The texts of one column of a view, top to bottom.
QStringList column(const QTreeView *view, int c, const QModelIndex &parent = {})
{
    QStringList texts;
    for (int r = 0; r < view->model()->rowCount(parent); ++r)
        texts << view->model()->index(r, c, parent).data().toString();
    return texts;
}

} // namespace

class SummaryWindowTest : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QVERIFY(setUpFixture()); }
    void cleanup() { tearDownFixture(); }

    void resultsAndFileListMenus();
    void summaryViewsSortFilterAndChart();
    void changeAgainstThePreviousRunAndExports();
    void followsARunAsItGoes();

private:
    MainWindow &makeWindow()
    {
        brinmoor::app::WindowServices s = services();
        s.results.clipboard = &m_clipboard;
        s.showInFolder = [this](const QString &path) {
            m_shown << path;
            return m_fileManager;
        };
        MainWindow &w = makeWindowWith(std::move(s));
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            qFatal("window not shown");
        return w;
    }

    void count(MainWindow &w, const QStringList &paths, bool separate)
    {
        w.fileList().clear();
        w.fileList().append(paths);
        child<QRadioButton>(separate ? "Option2" : "Option1")->click();
        QSignalSpy finished(&w, &MainWindow::countingFinished);
        child<QPushButton>("PushButton12")->click();
        QVERIFY(finished.wait(10000));
    }

    app::SummaryWindow *openSummary(MainWindow &w)
    {
        QMenu *menu = openMenu(w.resultView(), 0);
        if (!menu)
            return nullptr;
        trigger(menu, QStringLiteral("Summary…"));
        return w.summaryCommands().summaryWindow();
    }

    RecordingClipboard m_clipboard;
    QStringList m_shown;
    bool m_fileManager = false;
};

void SummaryWindowTest::resultsAndFileListMenus()
{
    MainWindow &w = makeWindow();
    const QString a = writeFile("src/a.cpp", "1\n2\n");
    const QString b = writeFile("b.h", "1\n");
    count(w, {a, b}, true);

    QMenu *menu = openMenu(w.resultView(), 0);
    QVERIFY(menu);
    QCOMPARE(actionTexts(menu), (QStringList{"Open", "Open Containing Folder", "Copy Path", "-", "Summary…"}));
    trigger(menu, "Open");
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(a)});

    // No file manager that selects: the folder opens instead.
    trigger(openMenu(w.resultView(), 0), "Open Containing Folder");
    QCOMPARE(m_shown, QStringList{a});
    QCOMPARE(m_opened.last(), QUrl::fromLocalFile(QFileInfo(a).absolutePath()));
    m_fileManager = true;
    trigger(openMenu(w.resultView(), 1), "Open Containing Folder");
    QCOMPARE(m_shown.last(), b);
    QCOMPARE(m_opened.size(), 2);

    trigger(openMenu(w.resultView(), 1), "Copy Path");
    QCOMPARE(m_clipboard.texts, QStringList{b});
    QTest::keyClick(w.resultView(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_clipboard.texts.last(), b);
    m_clipboard.refuse = true;
    QTest::keyClick(w.resultView(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_dialogs->texts().last(), QStringLiteral("The path could not be put on the clipboard."));
    m_clipboard.refuse = false;

    // Shift+F10 opens the menu at the current row.
    w.resultView()->setFocus();
    QTest::keyClick(w.resultView(), Qt::Key_F10, Qt::ShiftModifier);
    menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("resultsMenu"));
    menu->close();

    // The total row names no file.
    count(w, {a, b}, false);
    menu = openMenu(w.resultView(), 0);
    QCOMPARE(actionTexts(menu),
             (QStringList{"Open (off)", "Open Containing Folder (off)", "Copy Path (off)", "-", "Summary…"}));
    menu->close();

    menu = openMenu(w.fileView(), 1);
    QCOMPARE(actionTexts(menu), (QStringList{"Open", "Open Containing Folder", "Copy Path", "-", "Remove"}));
    trigger(menu, "Remove");
    QCOMPARE(w.fileList().texts(), QStringList{a});
}

void SummaryWindowTest::summaryViewsSortFilterAndChart()
{
    MainWindow &w = makeWindow();
    QStringList paths;
    for (int i = 0; i < 2; ++i)
        paths << writeFile(QStringLiteral("t%1.txt").arg(i), QByteArray("x\n").repeated(50));
    for (int i = 0; i < 10; ++i)
        paths << writeFile(QStringLiteral("sub/m%1.md").arg(i), "x\n");
    paths << writeFile("sub/deep/z.C", QByteArray("x\n").repeated(9)) << writeFile("w.c", "x\nx\n");
    count(w, paths, false);   // one total: the run still knows every file

    app::SummaryWindow *s = openSummary(w);
    QVERIFY(s);
    QVERIFY(QTest::qWaitForWindowExposed(s));
    QTreeView *ext = s->extensionView();
    // Most lines first, by value: 100, 11, 10.
    QCOMPARE(column(ext, summary::ExtensionModel::Name), (QStringList{"txt", "C", "md"}));
    QCOMPARE(column(ext, summary::ExtensionModel::Lines), (QStringList{"100", "11", "10"}));
    ext->sortByColumn(summary::ExtensionModel::Files, Qt::AscendingOrder);
    QCOMPARE(column(ext, summary::ExtensionModel::Files), (QStringList{"2", "2", "10"}));
    QVERIFY(ext->isColumnHidden(summary::ExtensionModel::Change));   // no run before this one

    // The chart: one bar per row, the most lines on top; a bar selects its row.
    QCOMPARE(s->chartSeries()->barSets().size(), 1);
    QCOMPARE(s->chartSeries()->barSets().at(0)->count(), 3);
    QCOMPARE(s->chartRows().at(0).data().toString(), QStringLiteral("txt"));
    s->selectBar(2);
    QCOMPARE(ext->currentIndex().data().toString(), QStringLiteral("md"));
    QVERIFY(ext->selectionModel()->isRowSelected(ext->currentIndex().row(), {}));

    // Double-click on an extension lists its files.
    doubleClick(ext, ext->currentIndex());
    QVERIFY(s->filesView()->isVisible());
    QCOMPARE(s->filesView()->model()->rowCount(), 10);

    s->filter()->setText("M");
    QCOMPARE(column(ext, summary::ExtensionModel::Name), QStringList{"md"});
    QCOMPARE(s->chartSeries()->barSets().at(0)->count(), 1);
    s->filter()->clear();

    // By folder: the common root open, its folders summed below them.
    s->setCurrentView(summary::SummaryView::Folder);
    QTreeView *tree = s->folderView();
    const QModelIndex root = tree->model()->index(0, 0);
    QCOMPARE(root.data().toString(), m_dir->path());
    QVERIFY(tree->isExpanded(root));
    QCOMPARE(column(tree, summary::FolderModel::Name, root), QStringList{"sub"});
    QCOMPARE(column(tree, summary::FolderModel::Lines, root), QStringList{"19"});
    const QModelIndex sub = tree->model()->index(0, 0, root);
    QVERIFY(!tree->isExpanded(sub));
    doubleClick(tree, sub);
    QVERIFY(tree->isExpanded(sub));
    QCOMPARE(column(tree, summary::FolderModel::Name, sub), QStringList{"deep"});
    // Open folders' rows are in the chart; the open root is not.
    QCOMPARE(s->chartSeries()->barSets().at(0)->count(), 2);
    s->filter()->setText("dee");
    QCOMPARE(column(tree, summary::FolderModel::Name, sub), QStringList{"deep"});   // the way to it stays

    // One window per main window; its place is kept.
    QCOMPARE(openSummary(w), s);
    s->close();
    QVERIFY(stored("Summary Window") != QStringLiteral("<missing>"));
}

void SummaryWindowTest::changeAgainstThePreviousRunAndExports()
{
    MainWindow &w = makeWindow();
    const QString a = writeFile("a.txt", "1\n2\n3\n");
    const QString b = writeFile("b.log", "1\n");
    count(w, {a, b}, true);
    app::SummaryWindow *s = openSummary(w);
    QVERIFY(s);
    writeFile("a.txt", "1\n");
    count(w, {a, b}, true);
    QTreeView *ext = s->extensionView();
    QVERIFY(!ext->isColumnHidden(summary::ExtensionModel::Change));
    QCOMPARE(column(ext, summary::ExtensionModel::Change), (QStringList{QString(QChar(0x2212)) + "2", "0"}));

    const QString text = QDir(m_dir->path()).filePath("summary.txt");
    const QString csv = QDir(m_dir->path()).filePath("summary.csv");
    m_fileDialogs->savePaths << text << csv;
    s->findChild<QPushButton *>("saveSummaryText")->click();
    s->findChild<QPushButton *>("saveSummaryCsv")->click();
    QFile t(text), c(csv);
    QVERIFY(t.open(QIODevice::ReadOnly) && c.open(QIODevice::ReadOnly));
    const QByteArray aligned = t.readAll();
    QVERIFY2(aligned.startsWith("Extension  Files  Lines   Share  Lines/File  Change\n"), aligned.constData());
    QVERIFY(aligned.contains("\ntxt            1      1   50.0%         1.0      " + QString(QChar(0x2212)).toUtf8() + "2\n"));
    QVERIFY(c.readAll().startsWith("Extension,Files,Lines,Share,Lines/File,Change\r\n"));

    s->findChild<QPushButton *>("copySummary")->click();
    QCOMPARE(m_clipboard.texts.last().section('\n', 0, 0), QStringLiteral("Extension\tFiles\tLines\tShare\tLines/File\tChange"));

    // A file that cannot be written keeps nothing half-done and says so.
    m_fileDialogs->savePaths << QDir(m_dir->path()).filePath("missing/summary.txt");
    s->findChild<QPushButton *>("saveSummaryText")->click();
    QVERIFY2(m_dialogs->texts().last().startsWith(QStringLiteral("The summary could not be saved as\r")),
             qPrintable(m_dialogs->texts().last()));
}

// Rows and numbers come in while the run goes on, not only at its end.
void SummaryWindowTest::followsARunAsItGoes()
{
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << writeFile(QStringLiteral("f%1.txt").arg(i), "x\n");
    app::RunSummary summary;
    app::SummaryWindow window(summary);
    window.show();
    counting::CountRun run(paths, counting::CountMode::Separate, std::make_shared<SlowOptions>());
    run.setJobs(1);
    summary.watch(run);
    QSignalSpy finished(&run, &counting::CountRun::finished);
    run.start();
    QTreeView *ext = window.extensionView();
    QTRY_VERIFY_WITH_TIMEOUT(ext->model()->rowCount() == 1, 5000);
    const quint64 early = ext->model()->index(0, summary::ExtensionModel::Lines).data().toULongLong();
    QVERIFY(finished.isEmpty());
    QVERIFY(early > 0 && early < 30);
    QVERIFY(finished.wait(10000));
    QCOMPARE(ext->model()->index(0, summary::ExtensionModel::Lines).data().toString(), QStringLiteral("30"));
}

QTEST_MAIN(SummaryWindowTest)
#include "SummaryWindowTest.moc"
