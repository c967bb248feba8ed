#include "WidgetFileListDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace brinmoor::filelist;

namespace {

// Runs act on the file dialog once it is open (it runs its own loop).
void whenDialogOpens(std::function<void(QFileDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

} // namespace

class WidgetFileListDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void theOpenDialogShowsTitleAndFiltersAndReportsTheChosenFilter()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString a = dir.filePath(QStringLiteral("a.txt"));
        QFile file(a);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        WidgetFileListDialogs dialogs;
        dialogs.setUseNativeDialogs(false);
        const QStringList filters{QStringLiteral("All Files (*)"), QStringLiteral("Text Files (*.txt)"),
                                  QStringLiteral("HTML Files (*.htm *.html)")};
        int filterIndex = 2;
        QString title, shownFilter;
        QStringList shownFilters;
        whenDialogOpens([&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            shownFilters = dialog->nameFilters();
            shownFilter = dialog->selectedNameFilter();
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
            dialog->setDirectory(dir.path());
            dialog->selectNameFilter(filters[1]);
            dialog->selectFile(a);
            static_cast<QDialog *>(dialog)->accept();   // as the Open button does
        });
        const FileSelection chosen = dialogs.chooseFiles(QStringLiteral("Pick"), filters, filterIndex);
        QCOMPARE(title, QStringLiteral("Pick"));
        QCOMPARE(shownFilters, filters);
        QCOMPARE(shownFilter, filters[2]);
        QCOMPARE(chosen.paths, QStringList{a});
        QVERIFY(!chosen.overflow);
        QCOMPARE(filterIndex, 1);

        // Cancel keeps the index the caller had.
        whenDialogOpens([](QFileDialog *dialog) { dialog->reject(); });
        QVERIFY(dialogs.chooseFiles(QStringLiteral("Pick"), filters, filterIndex).paths.isEmpty());
        QCOMPARE(filterIndex, 1);
    }

    void typedNamesComeBackWhetherOrNotTheFilesExist_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one that exists and one that does not") << QStringLiteral("\"a.txt\" \"missing.txt\"")
                                                               << QStringList{"a.txt", "missing.txt"};
        QTest::newRow("one that does not exist") << QStringLiteral("gone.txt") << QStringList{"gone.txt"};
    }

    void typedNamesComeBackWhetherOrNotTheFilesExist()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        // As the program uses it: the desktop's dialogs where it has them.
        WidgetFileListDialogs dialogs;
        int filterIndex = 0;
        QStringList shownBoxes;
        whenDialogOpens([&](QFileDialog *dialog) {
            dialog->setDirectory(dir.path());
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            // Typed by the user: the field has the focus.
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            edit->setFocus();
            QVERIFY(edit->hasFocus());
            edit->setText(typed);
            // A box of the dialog's own ("File not found") would be left open.
            // The dialog owns the timer, so it cannot fire into this test's
            // locals after the dialog has gone.
            QTimer::singleShot(200, dialog, [&shownBoxes, dialog] {
                if (QWidget *box = QApplication::activeModalWidget(); box && box != dialog) {
                    shownBoxes.append(box->windowTitle());
                    box->close();
                }
            });
            QTest::keyClick(edit, Qt::Key_Return);
        });
        const FileSelection chosen = dialogs.chooseFiles(QStringLiteral("Pick"), {QStringLiteral("All Files (*)")}, filterIndex);
        QStringList expected;
        for (const QString &name : std::as_const(names))
            expected.append(dir.filePath(name));
        QCOMPARE(chosen.paths, expected);
        QVERIFY(shownBoxes.isEmpty());
    }

    void theFolderBrowserStartsAtTheLastFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WidgetFileListDialogs dialogs;
        dialogs.setUseNativeDialogs(false);
        QString title, shownFolder;
        whenDialogOpens([&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            shownFolder = dialog->directory().absolutePath();
            static_cast<QDialog *>(dialog)->accept();   // as the Open button does
        });
        const QString chosen = dialogs.chooseFolder(QStringLiteral("Please select folder:"), dir.path());
        QCOMPARE(title, QStringLiteral("Please select folder:"));
        QCOMPARE(shownFolder, QDir(dir.path()).absolutePath());
        QCOMPARE(QDir(chosen).absolutePath(), QDir(dir.path()).absolutePath());

        whenDialogOpens([](QFileDialog *dialog) { dialog->reject(); });
        QCOMPARE(dialogs.chooseFolder(QStringLiteral("Please select folder:"), dir.path()), QString());
    }
};

QTEST_MAIN(WidgetFileListDialogsTest)
#include "WidgetFileListDialogsTest.moc"
