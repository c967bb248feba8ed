// The file list's commands through the real window: the buttons, the drops,
// removal while busy, the sample files and closing during a scan.
#include "AddFiles.h"
#include "AddFolder.h"
#include "FileListCommands.h"
#include "FileListView.h"
#include "FolderScanJob.h"
#include "MainWindow.h"
#include "Paths.h"
#include "SampleFiles.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "WindowFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>

using namespace brinmoor;
using app::MainWindow;

namespace {

// Lines as a reader of the file would see them: CR LF, CR and LF each end a
// line, a last line without an ending counts too. UTF-16 files carry a BOM.
int linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray bytes = file.readAll();
    QString text;
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff"))
        text = QStringDecoder(QStringDecoder::Utf16)(bytes);
    else
        text = QString::fromLatin1(bytes);
    int lines = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r')) {
            ++lines;
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else if (text[i] == QLatin1Char('\n')) {
            ++lines;
        }
    }
    if (!text.isEmpty() && text.back() != QLatin1Char('\r') && text.back() != QLatin1Char('\n'))
        ++lines;
    return lines;
}

} // namespace

class FileListWindowTest : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addFiles();
    void addAllFilesInFolder();
    void addAllFilesInFolderCancelled();
    void dropsOfFilesAndFolders();
    void aDropIsSeenAndStoppedLikeAScan();
    void removalAndClearingWaitWhileBusy();
    void sampleFiles();
    void unshowableNamesAreToldOncePerCommand();
    void newcomersFirstRun();
    void closingDuringAScan();

private:
    MainWindow &makeWindow() { return makeWindowWith(services()); }
    QString native(const QString &name) const { return QDir::toNativeSeparators(m_dir->filePath(name)); }
    QPushButton *button(const char *name) const
    {
        QPushButton *b = m_window->button(name);
        if (!b)
            qFatal("no button %s", name);
        return b;
    }
    filelist::FileListView *view() const { return static_cast<filelist::FileListView *>(m_window->fileView()); }
    bool waitUntilIdle();
};

void FileListWindowTest::init()
{
    QVERIFY(setUpFixture());
}

void FileListWindowTest::cleanup()
{
    tearDownFixture();
    // No command may leave its busy pointer behind.
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

bool FileListWindowTest::waitUntilIdle()
{
    return QTest::qWaitFor([this] { return !m_window->busy().isBusy() && m_window->fileListCommands().runningScans() == 0; },
                           10000);
}

// ------------------------------------------------------------ Add File(s)

void FileListWindowTest::addFiles()
{
    MainWindow &w = makeWindow();
    const QString a = writeFile(QStringLiteral("in/a.txt"));
    const QString b = writeFile(QStringLiteral("in/b.txt"));
    const QString missing = native(QStringLiteral("in/missing.txt"));
    const QString folder = native(QStringLiteral("in"));

    // One file is taken as delivered, even one that is not there.
    m_fileDialogs->selections.append({{missing}, false});
    m_fileDialogs->nextFilterIndex = 1;
    button("PushButton1")->click();
    QCOMPARE(w.fileList().texts(), QStringList{missing});
    QCOMPARE(m_fileDialogs->fileRequests.size(), 1);
    QCOMPARE(m_fileDialogs->fileRequests[0].title, QString::fromLatin1(filelist::AddFilesTitle));
    QCOMPARE(m_fileDialogs->fileRequests[0].filters,
             filelist::qtFileFilters(QString::fromLatin1(filelist::AddFilesFilter)));
    QCOMPARE(m_fileDialogs->fileRequests[0].filterIndex, 0);
    // The filter the user left chosen is the window's, for the next dialog
    // and the text export's save dialog.
    QCOMPARE(w.fileDialogFilterIndex(), 1);
    QVERIFY(m_dialogs->messages.isEmpty());

    // Several: the rejected name gets its box after the rows before it.
    w.fileList().clear();
    m_fileDialogs->nextFilterIndex = -1;
    m_fileDialogs->selections.append(
        {{folder + QDir::separator() + QStringLiteral("a.txt"), missing, b}, false});
    QStringList rowsWhenAsked;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &) { rowsWhenAsked = w.fileList().texts(); };
    button("PushButton1")->click();
    QCOMPARE(m_fileDialogs->fileRequests.last().filterIndex, 1);
    QCOMPARE(w.fileList().texts(), QStringList({a, b}));
    QCOMPARE(rowsWhenAsked, QStringList{a});
    QCOMPARE(m_dialogs->texts(),
             QStringList{missing + QStringLiteral("\r\r") + QString::fromLatin1(filelist::BadCharactersText)});
    QCOMPARE(m_dialogs->messages[0].title, w.applicationTitle());
    QCOMPARE(m_dialogs->messages[0].buttons, MessageButtons::Ok);
    QCOMPARE(m_dialogs->messages[0].icon, MessageIcon::None);

    // Cancel adds and shows nothing and keeps the chosen filter.
    button("PushButton1")->click();
    QCOMPARE(m_fileDialogs->fileRequests.size(), 3);
    QCOMPARE(w.fileList().count(), 2);
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(w.fileDialogFilterIndex(), 1);
}

// ------------------------------------------------- Add All File(s) In Folder

void FileListWindowTest::addAllFilesInFolder()
{
    // Written out of order: the scan lists names naturally (f2 before f10,
    // case ignored), not in the order the file system keeps them.
    const QString f10 = writeFile(QStringLiteral("tree/f10.txt"));
    const QString a = writeFile(QStringLiteral("tree/a.txt"));
    const QString f2 = writeFile(QStringLiteral("tree/F2.txt"));
    writeFile(QStringLiteral("tree/b.log"));
    writeFile(QStringLiteral("tree/~skipped.txt"));
    const QString c = writeFile(QStringLiteral("tree/sub/c.txt"));
    const QString tree = native(QStringLiteral("tree"));
    m_settings->write(QLatin1String(settings::LastFolder), native(QStringLiteral("program")));
    MainWindow &w = makeWindow();
    w.fileList().add(QStringLiteral("before"));

    QSignalSpy busyChanged(&w.busy(), &app::BusyState::busyChanged);
    m_dialogs->inputAnswers.append(QStringLiteral("txt"));
    m_fileDialogs->folders.append(tree);
    button("PushButton5")->click();
    QCOMPARE(m_dialogs->inputs.size(), 1);
    QCOMPARE(m_dialogs->inputs[0].prompt, QString::fromLatin1(filelist::ExtensionPrompt));
    QCOMPARE(m_dialogs->inputs[0].title, w.applicationTitle());
    QCOMPARE(m_dialogs->inputs[0].defaultText, QStringLiteral("txt"));
    QCOMPARE(m_fileDialogs->folderRequests.size(), 1);
    QCOMPARE(m_fileDialogs->folderRequests[0].prompt, QString::fromLatin1(filelist::FolderPrompt));
    QCOMPARE(m_fileDialogs->folderRequests[0].startFolder, native(QStringLiteral("program")));
    QCOMPARE(stored(settings::Extension), QStringLiteral("txt"));
    QCOMPARE(stored(settings::LastFolder), tree);
    // The busy pointer from the start of the walk to its end.
    QVERIFY(w.busy().isBusy());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QVERIFY(waitUntilIdle());
    QCOMPARE(busyChanged.size(), 2);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(w.fileList().texts(), QStringList({QStringLiteral("before"), a, f2, f10, c}));

    // The typed extension is the next default; a second scan may start while
    // the first runs, and both finish.
    w.fileList().clear();
    m_dialogs->inputAnswers = {QStringLiteral("*"), QStringLiteral("*")};
    m_fileDialogs->folders = {native(QStringLiteral("tree/sub")), native(QStringLiteral("tree/sub"))};
    button("PushButton5")->click();
    button("PushButton5")->click();
    QCOMPARE(m_dialogs->inputs[1].defaultText, QStringLiteral("txt"));
    QCOMPARE(m_dialogs->inputs[2].defaultText, QStringLiteral("*"));
    QCOMPARE(w.fileListCommands().runningScans(), 2);
    QVERIFY(waitUntilIdle());
    QCOMPARE(w.fileList().texts(), QStringList({c, c}));
    QVERIFY(m_dialogs->messages.isEmpty());
}

void FileListWindowTest::addAllFilesInFolderCancelled()
{
    writeFile(QStringLiteral("tree/a.txt"));
    MainWindow &w = makeWindow();

    // Cancelling the input box saves nothing and opens no browser.
    button("PushButton5")->click();
    QCOMPARE(m_dialogs->inputs.size(), 1);
    QVERIFY(m_fileDialogs->folderRequests.isEmpty());
    QCOMPARE(stored(settings::Extension), QStringLiteral("<missing>"));

    // Cancelling the browser keeps the new extension, not a folder.
    m_dialogs->inputAnswers.append(QStringLiteral("log"));
    button("PushButton5")->click();
    QCOMPARE(m_fileDialogs->folderRequests.size(), 1);
    QCOMPARE(m_fileDialogs->folderRequests[0].startFolder, QString());
    QCOMPARE(stored(settings::Extension), QStringLiteral("log"));
    QCOMPARE(stored(settings::LastFolder), QStringLiteral("<missing>"));
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(w.fileListCommands().runningScans(), 0);
    QCOMPARE(w.fileList().count(), 0);
    QVERIFY(m_dialogs->messages.isEmpty());
}

// ------------------------------------------------------------ list editing

void FileListWindowTest::dropsOfFilesAndFolders()
{
    const QString file = writeFile(QStringLiteral("~loose.txt"));
    const QString one = writeFile(QStringLiteral("drop/one.md"));
    writeFile(QStringLiteral("drop/~hidden.md"));
    const QString two = writeFile(QStringLiteral("drop/deep/two.bin"));
    MainWindow &w = makeWindow();
    w.resize(1064, 386);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *target = view()->viewport();

    // Text from another program is refused while it is dragged over.
    QMimeData text;
    text.setText(QStringLiteral("just text"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &refused);
    QVERIFY(!refused.isAccepted());

    // A file as delivered, then every file of the folder's tree.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("~loose.txt"))),
                  QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("drop")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QSignalSpy added(view(), &filelist::FileListView::dropAdded);
    QDropEvent drop(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QVERIFY(added.wait(10000));
    QCOMPARE(w.fileList().texts(), QStringList({file, one, two}));
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(stored(settings::Extension), QStringLiteral("<missing>"));
    QCOMPARE(stored(settings::LastFolder), QStringLiteral("<missing>"));
    QVERIFY(m_dialogs->messages.isEmpty());

    // A walk that fails again and again: its first failure in a box, the
    // others gathered into one box at the end with the list in its details.
    // (Tests run as root, so folders are refused through the walk's seam.)
    // One of them may not be read: passed over, and told in the last box.
    QStringList subs;
    for (int i = 1; i <= 4; ++i) {
        subs.append(native(QStringLiteral("drop/sub%1").arg(i)));
        writeFile(QStringLiteral("drop/sub%1/f.txt").arg(i));
    }
    const QMetaObject::Connection seam = connect(view(), &filelist::FileListView::dropWalkStarting, this,
                                                 [](filelist::FolderScanJob *job) {
        job->setOpenFolder([](const char *path) {
            if (QByteArray(path).contains("/sub")) {
                errno = QByteArray(path).endsWith("/sub4") ? EACCES : EMFILE;
                return -1;
            }
            return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        });
    });
    w.fileList().clear();
    QDragEnterEvent again(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &again);
    QDropEvent failing(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &failing);
    QVERIFY(added.wait(10000));
    disconnect(seam);
    QCOMPARE(w.fileList().texts(), QStringList({file, one, two}));
    const QString reason = QStringLiteral(": ") + QString::fromStdString(std::generic_category().message(EMFILE));
    QTRY_COMPARE(m_dialogs->texts(), QStringList({
        reportText(subs[0] + reason, location::GetSubDirectories2016, 112),
        reportText(QStringLiteral("2 more failures while adding the dropped files.\r"
                                  "1 folder could not be read and was passed over."),
                   location::GetSubDirectories2016, 112),
    }));
    QCOMPARE(m_dialogs->messages[1].title, QStringLiteral("Application Error"));
    QCOMPARE(m_dialogs->messages[1].details.split(QLatin1Char('\n')),
             QStringList({subs[1] + reason + QStringLiteral(" (") + QLatin1String(location::GetSubDirectories2016)
                              + QStringLiteral("at line 112)"),
                          subs[2] + reason + QStringLiteral(" (") + QLatin1String(location::GetSubDirectories2016)
                              + QStringLiteral("at line 112)"),
                          subs[3] + QStringLiteral(": Permission denied")}));
}

void FileListWindowTest::aDropIsSeenAndStoppedLikeAScan()
{
    writeFile(QStringLiteral("drop/a/one.txt"));
    writeFile(QStringLiteral("drop/b/two.txt"));
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Another window holds the focus, as the program the drag came from
    // would.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    auto *stop = w.findChild<QPushButton *>(QStringLiteral("StopButton"));

    // The walk waits at its first sub-folder until the test lets it go.
    QSemaphore held;
    const QMetaObject::Connection seam = connect(view(), &filelist::FileListView::dropWalkStarting, this,
                                                 [&held](filelist::FolderScanJob *job) {
        job->setOpenFolder([&held](const char *path) {
            if (QByteArray(path).contains("/drop/a"))
                held.tryAcquire(1, 10000);
            return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        });
    });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("drop")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view()->viewport(), &enter);
    QSignalSpy added(view(), &filelist::FileListView::dropAdded);
    QDropEvent drop(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view()->viewport(), &drop);
    disconnect(seam);

    QVERIFY(w.busy().isBusy());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTRY_VERIFY(stop->isVisible());
    QTRY_VERIFY(w.isActiveWindow());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Escape);
    held.release();
    QTRY_COMPARE_WITH_TIMEOUT(added.size(), 1, 10000);
    QTRY_VERIFY(!stop->isVisible());
    QVERIFY(!w.busy().isBusy());
    // Stopped before the held folder's file came in.
    QVERIFY2(w.fileList().count() < 2, qPrintable(w.fileList().texts().join(u',')));
}

void FileListWindowTest::removalAndClearingWaitWhileBusy()
{
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.fileList().append({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    filelist::FileListView *list = view();
    // Over the list the pointer is the default one, unless busy.
    QCOMPARE(list->viewport()->cursor().shape(), Qt::ArrowCursor);
    const auto select = [&](int row) {
        list->selectionModel()->setCurrentIndex(w.fileList().index(row),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    const QPoint rowC = list->visualRect(w.fileList().index(2)).center();

    {
        app::BusyState::Lease lease = w.busy().acquire();
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        select(1);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowC);
        button("PushButton3")->click();
        QCOMPARE(w.fileList().count(), 4);
    }

    select(1);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(w.fileList().texts(), QStringList({"a", "c", "d"}));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(w.fileList().index(1)).center());
    QCOMPARE(w.fileList().texts(), QStringList({"a", "d"}));
    button("PushButton3")->click();
    QCOMPARE(w.fileList().count(), 0);
    QVERIFY(m_dialogs->messages.isEmpty());
}

// ---------------------------------------------------------- sample files

void FileListWindowTest::sampleFiles()
{
    const QString samples = m_dir->filePath(QStringLiteral("program/Samples"));
    QVERIFY(QDir().mkpath(samples));
    QStringList expected;
    for (const QString &name : QDir(QStringLiteral(BRINMOOR_SOURCE_SAMPLES)).entryList(QDir::Files)) {
        QVERIFY(QFile::copy(QStringLiteral(BRINMOOR_SOURCE_SAMPLES "/") + name, samples + QLatin1Char('/') + name));
        expected.append(QDir::toNativeSeparators(samples + QLatin1Char('/') + name));
    }
    QVERIFY(expected.size() >= 4);
    MainWindow &w = makeWindow();

    m_dialogs->answers.append(MessageAnswer::No);
    button("PushButton11")->click();
    QStringList loaded = w.fileList().texts();
    QCOMPARE(loaded.size(), expected.size());
    loaded.sort();
    expected.sort();
    QCOMPARE(loaded, expected);
    QCOMPARE(m_dialogs->texts(), QStringList{QString::fromLatin1(filelist::OpenSampleFolderQuestion)});
    QCOMPARE(m_dialogs->messages[0].buttons, MessageButtons::YesNo);
    QCOMPARE(m_dialogs->messages[0].icon, MessageIcon::None);
    QCOMPARE(m_dialogs->messages[0].title, w.applicationTitle());
    QVERIFY(m_opened.isEmpty());

    // Twice loads once; Yes opens the sample folder.
    m_dialogs->answers.append(MessageAnswer::Yes);
    button("PushButton11")->click();
    QCOMPARE(w.fileList().count(), expected.size());
    QCOMPARE(m_dialogs->messages.size(), 2);
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(QDir::toNativeSeparators(samples) + QDir::separator())});
}

// Names that are not UTF-8 cannot be shown as text: the files are added (they
// count right) and the folders passed over, and each command says so in one
// box, whether it is a folder scan, a drop or a sample load.
void FileListWindowTest::unshowableNamesAreToldOncePerCommand()
{
    const QString badFile = writeFile(pathFromNative("scan/bad\xff.txt"));
    writeFile(pathFromNative("scan/dir\xfd/inside.txt"));
    const QString ok = writeFile(QStringLiteral("scan/ok.txt"));
    const QString badFolder = native(pathFromNative("scan/dir\xfd"));
    const QString badSample = writeFile(pathFromNative("program/Samples/sample\xfe.txt"));
    MainWindow &w = makeWindow();
    // The warnings a command gave, in order, each the program's own box.
    const auto warnings = [this, &w] {
        QStringList texts;
        for (const ScriptedDialogs::Message &m : std::exchange(m_dialogs->messages, {})) {
            if (m.icon == MessageIcon::Warning && m.buttons == MessageButtons::Ok && m.title == w.applicationTitle())
                texts << m.text;
            else
                texts << QStringLiteral("other box: ") + m.text;
        }
        return texts;
    };

    m_dialogs->inputAnswers.append(QStringLiteral("txt"));
    m_fileDialogs->folders.append(native(QStringLiteral("scan")));
    button("PushButton5")->click();
    QVERIFY(waitUntilIdle());
    QCOMPARE(w.fileList().texts(), (QStringList{badFile, ok}));
    QCOMPARE(warnings(), QStringList{
        "1 file name(s) cannot be shown as text (they hold bytes that are not UTF-8). The files were added and "
        "count as usual; the list shows those bytes as stand-in characters. 1 folder name(s) cannot be shown as "
        "text (they hold bytes that are not UTF-8). Those folders were passed over with everything in them.\r\r"
        + badFolder + u'\r' + badFile});

    // A drop of the file itself and of the folder: one box for both.
    w.fileList().clear();
    QMimeData data;
    const auto url = [](const QString &path) {
        return QUrl::fromEncoded("file://" + nativePath(path).toPercentEncoding("/"));
    };
    data.setUrls({url(badFile), url(native(QStringLiteral("scan")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view()->viewport(), &enter);
    QSignalSpy added(view(), &filelist::FileListView::dropAdded);
    QDropEvent drop(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view()->viewport(), &drop);
    QVERIFY(added.wait(10000));
    QCOMPARE(w.fileList().texts(), (QStringList{badFile, badFile, ok}));
    QCOMPARE(warnings(), QStringList{filelist::unshowableNamesText({2, 1, {badFile, badFolder, badFile}})});

    // The sample files, recorded when the window started: the box, then the
    // usual question.
    w.fileList().clear();
    button("PushButton11")->click();
    QVERIFY(w.fileList().texts().contains(badSample));
    QCOMPARE(warnings(), (QStringList{filelist::unshowableNamesText({1, 0, {badSample}}),
                                      QStringLiteral("other box: ") + filelist::OpenSampleFolderQuestion}));

    // QTemporaryDir cannot remove names that are not UTF-8.
    std::filesystem::remove_all(nativePath(native(QStringLiteral("scan"))).toStdString());
    std::filesystem::remove(nativePath(badSample).toStdString());
}

void FileListWindowTest::newcomersFirstRun()
{
    // The samples as the build puts them beside the program.
    app::WindowServices s = services();
    s.programFolder = QStringLiteral(BRINMOOR_BUILT_PROGRAM_FOLDER);
    MainWindow &w = makeWindowWith(std::move(s));
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    button("PushButton11")->click();
    QVERIFY(w.fileList().count() >= 4);
    button("PushButton12")->click();
    QVERIFY(finished.wait(10000));

    int expected = 0;
    for (const QString &path : w.fileList().texts())
        expected += linesOf(path);
    QCOMPARE(w.results().texts(), QStringList{QStringLiteral("Total Lines Counted For All Files: %1").arg(expected)});
    QCOMPARE(m_dialogs->texts().last(), QStringLiteral("Done."));
}

// ------------------------------------------------------------- shutdown

void FileListWindowTest::closingDuringAScan()
{
    // Enough folders that the walks are still going when the window closes.
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 25; ++f)
            writeFile(QStringLiteral("big/d%1/f%2.txt").arg(d).arg(f));
    const QString big = native(QStringLiteral("big"));

    for (const bool closeFirst : {true, false}) {
        MainWindow &w = makeWindow();
        m_dialogs->inputAnswers.append(QStringLiteral("txt"));
        m_fileDialogs->folders.append(big);
        button("PushButton5")->click();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(big)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view()->viewport(), &enter);
        QDropEvent drop(QPointF(12, 12), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view()->viewport(), &drop);
        QCOMPARE(w.fileListCommands().runningScans(), 2);
        QVERIFY(w.busy().isBusy());
        if (closeFirst) {
            QVERIFY(w.close());
            QCOMPARE(w.fileListCommands().runningScans(), 0);
            QVERIFY(!w.busy().isBusy());
            QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
            QCoreApplication::processEvents();
        }
        // Destroying the window with the scans still running stops them
        // before the busy state they hold goes.
        m_window.reset();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // The window closed by whatever the end of a scan sets off (here the
    // busy pointer going): the scan that is just finishing must not be
    // touched after the close took it away.
    MainWindow &w = makeWindow();
    m_dialogs->inputAnswers.append(QStringLiteral("txt"));
    m_fileDialogs->folders.append(big);
    QSignalSpy busyChanges(&w.busy(), &app::BusyState::busyChanged);
    connect(&w.busy(), &app::BusyState::busyChanged, &w, [&w](bool busy) {
        if (!busy)
            w.close();
    });
    button("PushButton5")->click();
    QVERIFY(QTest::qWaitFor([&] { return busyChanges.count() == 2; }, 10000));
    QCoreApplication::processEvents();
    QCOMPARE(w.fileList().count(), 1000);
    QCOMPARE(w.fileListCommands().runningScans(), 0);
}

QTEST_MAIN(FileListWindowTest)
#include "FileListWindowTest.moc"
