#include "FileListView.h"
#include "FolderWalk.h"
#include "TestFiles.h"
#include "TextListModel.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace brinmoor;
using namespace brinmoor::filelist;

namespace {

QMimeData *urlData(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

} // namespace

class FileListViewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *name : {"a/one.txt", "a/~temp.txt", "a/sub/two.log", "b/three.txt", "b/c/d/four.txt",
                                 "loose.txt", "~dropped.txt"})
            touch(m_dir.filePath(QLatin1String(name)));
    }

    void init()
    {
        m_list = new TextListModel;
        m_view = new FileListView;
        m_view->setFileList(m_list);
        m_busy = false;
        m_view->setBusyCheck([this] { return m_busy; });
        m_view->resize(300, 200);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
    }

    void cleanup()
    {
        delete m_view;
        delete m_list;
    }

    void refusesEverythingButLocalFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("plain text") << "text";
        QTest::newRow("web address") << "web";
    }
    void refusesEverythingButLocalFiles()
    {
        QFETCH(QString, kind);
        QMimeData data;
        if (kind == QLatin1String("text"))
            data.setText(m_dir.filePath(QStringLiteral("loose.txt")));
        else
            data.setUrls({QUrl(QStringLiteral("https://example.org/file.txt"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        QDragMoveEvent move(QPoint(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view->viewport(), &move);
        QVERIFY(!move.isAccepted());
        QDropEvent drop(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view->viewport(), &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(m_view->runningDrops(), 0);
        QCOMPARE(m_list->count(), 0);
    }

    void aDropAddsFilesAsDeliveredAndWalksFoldersInOrder()
    {
        const QString tilde = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("~dropped.txt")));
        const QString loose = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("loose.txt")));
        const QString a = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("a")));
        const QString b = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("b")));
        m_list->add(QStringLiteral("already there"));
        QScopedPointer<QMimeData> data(urlData({tilde, b, loose, a}));

        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::LinkAction, data.data(), Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(m_view->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);   // as the platform proposed
        QSignalSpy added(m_view, &FileListView::dropAdded);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.data(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(added.wait());
        QCOMPARE(m_view->runningDrops(), 0);

        const QStringList expected = QStringList{QStringLiteral("already there"), tilde}
                                     + walkFolder(b, QStringLiteral("*.*")) + QStringList{loose}
                                     + walkFolder(a, QStringLiteral("*.*"));
        QCOMPARE(m_list->texts(), expected);
        QCOMPARE(m_list->count(), 7);   // one.txt and two.log of a; three and four of b
    }

    void deleteAndDoubleClickRemoveTheSelectedRowUnlessBusy()
    {
        // Nothing to remove yet: neither may fail.
        QTest::keyClick(m_view, Qt::Key_Delete);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));

        m_list->append({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        select(1);
        m_busy = true;
        QTest::keyClick(m_view, Qt::Key_Delete);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, centre(2));
        QCOMPARE(m_list->count(), 4);

        m_busy = false;
        select(1);
        QTest::keyClick(m_view, Qt::Key_Delete);
        QCOMPARE(m_list->texts(), QStringList({"a", "c", "d"}));
        // The first click of a double-click selects the row.
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centre(2));
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, centre(2));
        QCOMPARE(m_list->texts(), QStringList({"a", "c"}));
        // Anywhere in the list: below the rows the selected row goes too.
        select(0);
        const QPoint below(20, m_view->viewport()->height() - 5);
        QVERIFY(!m_view->indexAt(below).isValid());
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, below);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(m_list->texts(), QStringList({"c"}));
        m_list->append({QStringLiteral("a")});
        // Other keys are the list's own: Down moves the selection.
        select(0);
        QTest::keyClick(m_view, Qt::Key_Down);
        QCOMPARE(m_view->currentIndex().row(), 1);
        QCOMPARE(m_list->count(), 2);
    }

    void draggingTheThirdOfFiveDownCarriesItToTheEnd()
    {
        m_list->append({"first", "second", "third", "fourth", "fifth"});
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(2));
        QCOMPARE(m_view->viewport()->cursor().shape(), m_view->dragCursor().shape());
        QTest::mouseMove(m_view->viewport(), centre(2) + QPoint(3, 1));
        QTest::mouseMove(m_view->viewport(), centre(3));
        QTest::mouseMove(m_view->viewport(), centre(4));
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centre(4));
        QCOMPARE(m_list->texts(), QStringList({"first", "second", "fourth", "fifth", "third"}));
        QCOMPARE(m_view->selectionModel()->selectedRows().value(0).row(), 4);
        QCOMPARE(m_view->viewport()->cursor().shape(), Qt::ArrowCursor);

        // A quick jump over rows exchanges only the two ends.
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(0));
        QTest::mouseMove(m_view->viewport(), centre(3));
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centre(3));
        QCOMPARE(m_list->texts(), QStringList({"fifth", "second", "fourth", "first", "third"}));
    }

    void aRowWithTheSameTextIsNotPassed()
    {
        m_list->append({"x", "same", "same", "y"});
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(1));
        QTest::mouseMove(m_view->viewport(), centre(2));
        QCOMPARE(m_list->texts(), QStringList({"x", "same", "same", "y"}));
        QCOMPARE(m_view->selectionModel()->selectedRows().value(0).row(), 1);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centre(2));
    }

    void aDragAtTheBottomEdgeScrollsTheList()
    {
        QStringList rows;
        for (int i = 0; i < 100; ++i)
            rows.append(QStringLiteral("row %1").arg(i));
        m_list->append(rows);
        const int last = m_view->indexAt(QPoint(5, m_view->viewport()->height() - 2)).row();
        QVERIFY(last > 1);
        QCOMPARE(m_view->verticalScrollBar()->value(), 0);
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(last - 1));
        QTest::mouseMove(m_view->viewport(), QPoint(20, m_view->viewport()->height() - 2));
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centre(last - 1));
        QCOMPARE(m_list->text(last), QStringLiteral("row %1").arg(last - 1));
        QVERIFY(m_view->verticalScrollBar()->value() > 0);
        QVERIFY(m_view->visualRect(m_list->index(last + 1)).bottom() <= m_view->viewport()->height());

        // And the same upwards at the top edge.
        m_view->scrollToBottom();
        const int top = m_view->indexAt(QPoint(5, 2)).row();
        const int scrolled = m_view->verticalScrollBar()->value();
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(top + 1));
        QTest::mouseMove(m_view->viewport(), QPoint(20, 2));
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, QPoint(20, 2));
        QCOMPARE(m_list->text(top), QStringLiteral("row %1").arg(top + 1));
        QVERIFY(m_view->verticalScrollBar()->value() < scrolled);
        QVERIFY(m_view->visualRect(m_list->index(top - 1)).top() >= 0);
    }

    void theDragCursorComesFromItsFileOrIsBuiltIn()
    {
        QCOMPARE(FileListView::dragCursorFrom(m_dir.filePath(QStringLiteral("none.ico"))).shape(),
                 Qt::DragMoveCursor);
        const QString icon = m_dir.filePath(QStringLiteral("drag.ico"));
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::black);
        QVERIFY(image.save(icon, "ICO"));
        const QCursor cursor = FileListView::dragCursorFrom(icon);
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        m_view->setDragCursor(cursor);
        m_list->add(QStringLiteral("only"));
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, centre(0));
        QCOMPARE(m_view->viewport()->cursor().shape(), Qt::BitmapCursor);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centre(0));
        QCOMPARE(m_view->viewport()->cursor().shape(), Qt::ArrowCursor);
    }

    void takesAMillionRowsInBatchesAndClearsThem()
    {
        QStringList batch;
        int next = 0;
        for (int b = 0; b < 125; ++b) {
            batch.clear();
            for (int i = 0; i < 8000; ++i)
                batch.append(QStringLiteral("/data/file%1.txt").arg(next++));
            m_list->append(batch);
            QCoreApplication::processEvents();
        }
        QCOMPARE(m_list->count(), 1000000);
        QCOMPARE(m_list->text(999999), QStringLiteral("/data/file999999.txt"));
        m_view->scrollToBottom();
        select(999999);
        QTest::keyClick(m_view, Qt::Key_Delete);
        QCOMPARE(m_list->count(), 999999);
        m_list->clear();
        QCoreApplication::processEvents();
        QCOMPARE(m_list->count(), 0);
    }

private:
    QPoint centre(int row) const { return m_view->visualRect(m_list->index(row)).center(); }
    void select(int row)
    {
        m_view->selectionModel()->setCurrentIndex(m_list->index(row), QItemSelectionModel::ClearAndSelect);
    }

    QTemporaryDir m_dir;
    TextListModel *m_list = nullptr;
    FileListView *m_view = nullptr;
    bool m_busy = false;
};

QTEST_MAIN(FileListViewTest)
#include "FileListViewTest.moc"
