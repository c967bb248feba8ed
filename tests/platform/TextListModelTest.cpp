#include "TextListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using brinmoor::TextListModel;

class TextListModelTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsAreAppendedRemovedAndCleared()
    {
        TextListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append({"a", "b", "c", "d"});
        QCOMPARE(inserted.size(), 1);   // one batch, one insertion
        model.add(QStringLiteral("b"));
        QVERIFY(model.removeAt(1));
        QCOMPARE(model.texts(), QStringList({"a", "c", "d", "b"}));
        QVERIFY(!model.removeAt(4));
        QVERIFY(!model.removeAt(-1));
        QVERIFY(model.contains(QStringLiteral("b")));
        QVERIFY(!model.contains(QStringLiteral("B")));
        QCOMPARE(model.text(9), QString());
        model.clear();
        QCOMPARE(model.count(), 0);
    }

    void aRowsTextIsReplacedInPlace()
    {
        TextListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.append({"a", "b", "c"});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QVERIFY(model.setText(1, QStringLiteral("x")));
        QCOMPARE(model.texts(), QStringList({"a", "x", "c"}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].value<QModelIndex>().row(), 1);
        QCOMPARE(changed[0][1].value<QModelIndex>().row(), 1);
        QVERIFY(model.setText(1, QStringLiteral("x")));   // same text: nothing to repaint
        QCOMPARE(changed.size(), 1);
        QVERIFY(!model.setText(3, QStringLiteral("y")));
        QVERIFY(!model.setText(-1, QStringLiteral("y")));
        QCOMPARE(model.count(), 3);
        QCOMPARE(reset.size(), 0);
    }

    void checkMarks()
    {
        TextListModel plain;
        plain.add(QStringLiteral("x"));
        QVERIFY(!plain.data(plain.index(0), Qt::CheckStateRole).isValid());
        QVERIFY(!(plain.flags(plain.index(0)) & Qt::ItemIsUserCheckable));

        TextListModel results(true);
        QAbstractItemModelTester tester(&results, QAbstractItemModelTester::FailureReportingMode::QtTest);
        results.add(QStringLiteral("new"));
        QVERIFY(!results.isChecked(0));   // a new row is unmarked unless asked
        results.append({QStringLiteral("r1"), QStringLiteral("r2")}, true);
        QVERIFY(results.isChecked(1) && results.isChecked(2));
        QVERIFY(results.flags(results.index(0)) & Qt::ItemIsUserCheckable);
        QVERIFY(results.setData(results.index(2), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!results.isChecked(2));
        QCOMPARE(results.data(results.index(1), Qt::CheckStateRole).toInt(), int(Qt::Checked));
        results.setHeader(QStringLiteral(" Results"));
        QCOMPARE(results.headerData(0, Qt::Horizontal).toString(), QStringLiteral(" Results"));
    }

    void aMillionRowsInBatches()
    {
        TextListModel model(true);
        QStringList batch;
        for (int i = 0; i < 10000; ++i)
            batch.append(QString::number(i) + QStringLiteral(" lines - /some/path/file.txt"));
        for (int i = 0; i < 100; ++i)
            model.append(batch, true);
        QCOMPARE(model.count(), 1000000);
        QVERIFY(model.removeAt(0));
        QCOMPARE(model.text(0), QStringLiteral("1 lines - /some/path/file.txt"));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TextListModelTest)
#include "TextListModelTest.moc"
