#include "CaptionProgressBar.h"
#include "Clipboard.h"
#include "ErrorReport.h"
#include "FileListDialogs.h"
#include "MainWindow.h"
#include "ResultsCommands.h"
#include "ResultsWorkbook.h"
#include "ResultsOrder.h"
#include "SettingsStore.h"
#include "SpreadsheetPresence.h"
#include "DesktopApplications.h"
#include "SystemClipboard.h"
#include "TextListModel.h"
#include "WindowFixture.h"

#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <QApplication>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <numeric>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brinmoor;
using app::MainWindow;

namespace {

const QString Row21 = QStringLiteral("120 lines - abcdefghi");
const QString Row20 = QStringLiteral("12 lines - abcdefghi");

class RefusingClipboard final : public Clipboard
{
public:
    bool placeText(const QString &) override { return false; }
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Reads the X clipboard the way another program would. The window owns the
// selection, so the event loop must keep turning to answer xclip.
QByteArray clipboardFromOutside()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    QElapsedTimer clock;
    clock.start();
    while (xclip.state() != QProcess::NotRunning && clock.elapsed() < 10000)
        QTest::qWait(10);
    if (xclip.state() != QProcess::NotRunning || xclip.exitCode() != 0)
        return QByteArray("<xclip failed: ") + xclip.readAllStandardError() + '>';
    return xclip.readAllStandardOutput();
}

} // namespace

class ResultsWindowTest : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void textFileWorkedExample();
    void textFileOverwriteWithUncheckedAndShortRows();
    void cancelAndNoTouchNothing();
    void aTargetThatCannotBeWrittenGivesOneReport();
    void aTargetThatIsNoRegularFileIsNeverReplaced();
    void aPipeThatStallsOrClosesNeverTakesTheWindow();

    void spreadsheetAbsentShowsBothBoxesInOrder();
    void spreadsheetPresentOpensTheWorkbook();

    void copyPlacesTheTextOnTheXClipboard();
    void copyOfAnEmptyListLeavesTheClipboard();
    void aRefusedClipboardIsReportedOnce();

    void clearListDuringARun();
    void headerClicksSortAndTheExportsFollow();
    void pathOrderIsNaturalAndKeepsFoldersTogether_data();
    void pathOrderIsNaturalAndKeepsFoldersTogether();

private:
    MainWindow &makeWindow(app::ResultsServices results = {}, int countJobs = 2);
    void fill(const QList<QPair<QString, bool>> &rows);
    void press(const char *button);
    bool waitForExport();
    QString path(const QString &name) const { return QDir::toNativeSeparators(m_dir->filePath(name)); }

    std::unique_ptr<QSignalSpy> m_finished;
};

void ResultsWindowTest::init()
{
    QVERIFY(setUpFixture());
}

void ResultsWindowTest::cleanup()
{
    m_finished.reset();
    tearDownFixture();
}

MainWindow &ResultsWindowTest::makeWindow(app::ResultsServices results, int countJobs)
{
    m_finished.reset();
    app::WindowServices s = services();
    s.countJobs = countJobs;
    s.results = std::move(results);
    MainWindow &w = makeWindowWith(std::move(s));
    m_finished = std::make_unique<QSignalSpy>(&w.resultsCommands(), &app::ResultsCommands::exportFinished);
    return w;
}

void ResultsWindowTest::fill(const QList<QPair<QString, bool>> &rows)
{
    for (const auto &[text, checked] : rows)
        m_window->results().add(text, checked);
}

void ResultsWindowTest::press(const char *button)
{
    QPushButton *b = m_window->button(button);
    QVERIFY(b);
    b->click();
}

bool ResultsWindowTest::waitForExport()
{
    QElapsedTimer clock;
    clock.start();
    while (m_finished->isEmpty() && clock.elapsed() < 20000)
        QTest::qWait(5);
    return !m_finished->isEmpty() && m_window->resultsCommands().runningExports() == 0;
}

// ------------------------------------------------------------ text file

void ResultsWindowTest::textFileWorkedExample()
{
    MainWindow &w = makeWindow();
    fill({{Row21, true}, {Row20, true}});
    // The filter the user left in "Add File(s)" is where the save dialog
    // starts, and the choice made here goes back to it.
    w.fileDialogFilterIndex() = 1;
    m_fileDialogs->nextFilterIndex = 0;
    const QString target = path(QStringLiteral("results"));   // no extension: used as typed
    m_fileDialogs->savePaths = {target};
    QSignalSpy values(&w.progressBar(), &QProgressBar::valueChanged);
    bool busyAtDone = true;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &) { busyAtDone = w.busy().isBusy(); };

    press("PushButton9");
    QVERIFY(w.busy().isBusy());
    QVERIFY(waitForExport());

    QCOMPARE(m_fileDialogs->saveRequests.size(), 1);
    const ScriptedFileListDialogs::FileRequest &asked = m_fileDialogs->saveRequests.first();
    QCOMPARE(asked.title, QStringLiteral("Save"));
    QCOMPARE(asked.filters, (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}));
    QCOMPARE(asked.filterIndex, 1);
    QCOMPARE(w.fileDialogFilterIndex(), 0);
    QCOMPARE(readFile(target), QByteArray(" Results             \t\r\n") + Row21.toUtf8() + "\t\r\n" + Row20.toUtf8()
                                   + " \t\r\n");
    QVERIFY(!QFile::exists(target + QStringLiteral(".txt")));

    QCOMPARE(m_dialogs->messages.size(), 1);
    const ScriptedDialogs::Message &done = m_dialogs->messages.first();
    QCOMPARE(done.text, QStringLiteral("Done."));
    QCOMPARE(done.title, w.applicationTitle());
    QCOMPARE(done.buttons, MessageButtons::Ok);
    QCOMPARE(done.icon, MessageIcon::None);
    QVERIFY2(!busyAtDone, "the normal pointer comes back before \"Done.\"");
    QVERIFY(!w.busy().isBusy());

    QList<int> seen;
    for (const QList<QVariant> &v : std::as_const(values))
        seen.append(v.at(0).toInt());
    QCOMPARE(seen.first(), 1);
    QVERIFY(seen.contains(10) && seen.contains(20) && seen.contains(100));
    QCOMPARE(w.progressBar().value(), 0);
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
}

void ResultsWindowTest::textFileOverwriteWithUncheckedAndShortRows()
{
    MainWindow &w = makeWindow();
    const QString longUnchecked = QStringLiteral("1234567 lines - /a/very/long/path.txt");   // 37
    fill({{QStringLiteral("ab"), true}, {longUnchecked, false}, {QStringLiteral("=x"), true}});
    const QString target = path(QStringLiteral("old.txt"));
    writeFile(target, "old contents");
    m_fileDialogs->savePaths = {target};
    m_dialogs->answers = {MessageAnswer::Yes};

    press("PushButton9");
    QVERIFY(waitForExport());

    QCOMPARE(m_dialogs->messages.size(), 2);
    QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("Are you sure you wish to overwrite ") + target + QStringLiteral(" ?"));
    QCOMPARE(m_dialogs->messages[0].buttons, MessageButtons::YesNo);
    QCOMPARE(m_dialogs->messages[0].icon, MessageIcon::None);
    QCOMPARE(m_dialogs->messages[0].title, w.applicationTitle());
    QCOMPARE(m_dialogs->messages[1].text, QStringLiteral("Done."));
    // The unchecked row widens the column to 37 but leaves no line.
    const QByteArray pad = QByteArray(37, ' ');
    QCOMPARE(readFile(target), QByteArray(" Results") + pad.left(29) + "\t\r\nab" + pad.left(35) + "\t\r\n=x"
                                   + pad.left(35) + "\t\r\n");

    // An empty list still writes the header line and says "Done.".
    w.clearResultRows();
    m_dialogs->messages.clear();
    m_finished->clear();
    m_fileDialogs->savePaths = {path(QStringLiteral("empty.txt"))};
    press("PushButton9");
    QVERIFY(waitForExport());
    QCOMPARE(readFile(path(QStringLiteral("empty.txt"))), QByteArray(" Results\t\r\n"));
    QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("Done.")});
}

void ResultsWindowTest::cancelAndNoTouchNothing()
{
    MainWindow &w = makeWindow();
    fill({{Row21, true}});
    QSignalSpy busy(&w.busy(), &app::BusyState::busyChanged);

    press("PushButton9");   // the dialog is cancelled
    QCOMPARE(m_fileDialogs->saveRequests.size(), 1);

    const QString target = path(QStringLiteral("keep.txt"));
    writeFile(target, "keep");
    m_fileDialogs->savePaths = {target};
    m_dialogs->answers = {MessageAnswer::No};
    press("PushButton9");

    QTest::qWait(50);
    QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("Are you sure you wish to overwrite ") + target + QStringLiteral(" ?")});
    QCOMPARE(readFile(target), QByteArray("keep"));
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.txt"), QStringLiteral("*.xlsx")}, QDir::Files),
             (QStringList{QStringLiteral("keep.txt")}));
    QCOMPARE(busy.size(), 0);
    QCOMPARE(m_finished->size(), 0);
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
}

void ResultsWindowTest::aTargetThatCannotBeWrittenGivesOneReport()
{
    MainWindow &w = makeWindow();
    fill({{Row21, true}, {Row20, true}, {Row20, true}});

    struct Case
    {
        QString target;
        QByteArray before;   // empty: no file there
    };
    QList<Case> cases{{path(QStringLiteral("missing/folder/out.txt")), {}}};
    // A write-protected file; the super-user writes through the protection.
    if (::geteuid() != 0) {
        const QString locked = path(QStringLiteral("locked.txt"));
        writeFile(locked, "locked");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner));
        cases.append({locked, "locked"});
    }

    for (const Case &c : cases) {
        m_dialogs->messages.clear();
        m_finished->clear();
        m_fileDialogs->savePaths = {c.target};
        m_dialogs->answers = {MessageAnswer::Yes};
        press("PushButton9");
        QVERIFY(waitForExport());

        QStringList texts = m_dialogs->texts();
        if (!c.before.isEmpty())
            QVERIFY(texts.takeFirst().startsWith(QStringLiteral("Are you sure you wish to overwrite ")));
        QCOMPARE(texts.size(), 1);   // one report, no "Done."
        const QString report = texts.first();
        QVERIFY2(report.startsWith(c.target + QStringLiteral(": ")), qPrintable(report));
        const qsizetype end = report.indexOf(QStringLiteral("\r\n"));
        QCOMPARE(report, reportText(report.left(end), location::SaveListviewProperlySpaced, 106));
        QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("Application Error"));
        QCOMPARE(m_dialogs->messages.last().icon, MessageIcon::Warning);
        if (c.before.isEmpty())
            QVERIFY(!QFile::exists(c.target));
        else
            QCOMPARE(readFile(c.target), c.before);
        QVERIFY(!w.busy().isBusy());
        QCOMPARE(w.progressBar().value(), 0);
        QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
    }
}

void ResultsWindowTest::aTargetThatIsNoRegularFileIsNeverReplaced()
{
    makeWindow();
    fill({{Row21, true}, {Row20, true}});
    const QByteArray table = QByteArray(" Results             \t\r\n") + Row21.toUtf8() + "\t\r\n" + Row20.toUtf8() + " \t\r\n";
    const auto modeOf = [](const QString &file) {
        struct stat st {};
        return ::lstat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0u;
    };
    const auto save = [&](const QString &target) {
        m_dialogs->messages.clear();
        m_finished->clear();
        m_fileDialogs->savePaths = {target};
        m_dialogs->answers = {MessageAnswer::Yes};
        press("PushButton9");
        if (!waitForExport())
            return QStringList{QStringLiteral("<no end>")};
        QStringList texts = m_dialogs->texts();
        if (!texts.isEmpty() && texts.first().startsWith(QStringLiteral("Are you sure you wish to overwrite ")))
            texts.removeFirst();
        return texts;
    };
    const auto report = [](const QString &description, int step) {
        return QStringList{reportText(description, location::SaveListviewProperlySpaced, step)};
    };
    const QStringList done{QStringLiteral("Done.")};

    // Devices are written in place, as a shell's redirection would.
    QCOMPARE(save(QStringLiteral("/dev/null")), done);
    QCOMPARE(modeOf(QStringLiteral("/dev/null")), unsigned(S_IFCHR));
    QCOMPARE(save(QStringLiteral("/dev/full")), report(QStringLiteral("/dev/full: No space left on device"), 108));
    QCOMPARE(modeOf(QStringLiteral("/dev/full")), unsigned(S_IFCHR));

    // A pipe: through to its reader; without one, refused at once.
    const QString fifo = path(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(save(fifo), report(fifo + QStringLiteral(": no program is reading from this pipe"), 106));
    QByteArray piped;
    std::unique_ptr<QThread> reader(QThread::create([&] {
        QFile in(fifo);
        if (in.open(QIODevice::ReadOnly))
            piped = in.readAll();
    }));
    reader->start();
    QStringList texts;
    for (int tries = 0; tries < 200 && texts != done; ++tries) {
        // The reader may not have opened its end yet.
        texts = save(fifo);
        if (texts != done)
            QTest::qWait(10);
    }
    QCOMPARE(texts, done);
    QVERIFY(reader->wait(10000));
    QCOMPARE(piped, table);
    QCOMPARE(modeOf(fifo), unsigned(S_IFIFO));

    // A link to a file: the file is replaced, the link stays.
    const QString real = writeFile(QStringLiteral("real.txt"), "old");
    const QString link = path(QStringLiteral("link.txt"));
    QVERIFY(QFile::link(QStringLiteral("real.txt"), link));
    QCOMPARE(save(link), done);
    QCOMPARE(modeOf(link), unsigned(S_IFLNK));
    QCOMPARE(readFile(real), table);

    // A folder is refused and left as it was.
    const QString folder = path(QStringLiteral("folder"));
    writeFile(QStringLiteral("folder/inside.txt"));
    QCOMPARE(save(folder), report(folder + QStringLiteral(": this is a folder, not a file, so the results were not written there."), 106));
    QCOMPARE(modeOf(folder), unsigned(S_IFDIR));
    QVERIFY(QFile::exists(folder + QStringLiteral("/inside.txt")));
}

void ResultsWindowTest::aPipeThatStallsOrClosesNeverTakesTheWindow()
{
    // As a program started from a shell finds it: a broken pipe kills.
    std::signal(SIGPIPE, SIG_DFL);
    MainWindow &w = makeWindow();
    struct sigaction installed {};
    QCOMPARE(::sigaction(SIGPIPE, nullptr, &installed), 0);
    QVERIFY(installed.sa_handler == SIG_IGN);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QApplication::setActiveWindow(&w);

    // Far more than a pipe holds, so the save waits for its reader.
    QList<QPair<QString, bool>> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({QStringLiteral("%1 lines - /data/some/longer/folder/file%1.txt").arg(i), true});
    fill(rows);
    const QString fifo = path(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto *stop = child<QPushButton>("StopButton");

    enum class Reader { Leaves, StopControl, Escape, WindowCloses };
    for (const Reader reader : {Reader::Leaves, Reader::StopControl, Reader::Escape, Reader::WindowCloses}) {
        // The reader's end, opened first so the save finds a reader; it
        // reads nothing until told.
        const int readEnd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(readEnd >= 0);
        m_dialogs->messages.clear();
        m_finished->clear();
        m_fileDialogs->savePaths = {fifo};
        m_dialogs->answers = {MessageAnswer::Yes};
        press("PushButton9");
        pollfd data{readEnd, POLLIN, 0};
        QTRY_VERIFY(::poll(&data, 1, 0) == 1);
        QTest::qWait(50);
        QVERIFY(m_finished->isEmpty());
        QVERIFY(stop->isVisible());

        switch (reader) {
        case Reader::Leaves:
            ::close(readEnd);
            break;
        case Reader::StopControl:
            stop->click();
            break;
        case Reader::Escape:
            QTest::keyClick(&w, Qt::Key_Escape);
            break;
        case Reader::WindowCloses:
            w.close();
            break;
        }
        QVERIFY(waitForExport());
        if (reader != Reader::Leaves)
            ::close(readEnd);

        QStringList texts = m_dialogs->texts();
        texts.removeFirst();   // "Are you sure you wish to overwrite"
        if (reader == Reader::Leaves)
            QCOMPARE(texts, QStringList{reportText(fifo + QStringLiteral(": Broken pipe"),
                                                   location::SaveListviewProperlySpaced, 112)});
        else
            QCOMPARE(texts, QStringList{});   // stopped on purpose: no report, no "Done."
        QVERIFY(!w.busy().isBusy());
        QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
        QTRY_VERIFY(!stop->isVisible());
    }
}

// ---------------------------------------------------------- spreadsheet

void ResultsWindowTest::spreadsheetAbsentShowsBothBoxesInOrder()
{
    const QStringList bothBoxes{
        QStringLiteral("Excel is not installed on this computer. You need to have it installed to use this software "
                       "without error."),
        QStringLiteral("Excel is not installed on this computer. You need to have it installed to use this feature."),
    };
    int opened = 0;
    const auto open = [&](const DesktopApplication &, const QString &) { return bool(++opened); };
    {
        // The desktop is asked on another thread, and the window goes on
        // while it answers: here it answers only when the test lets it.
        QSemaphore answer;
        std::atomic<QThread *> askedOn = nullptr;
        MainWindow &w = makeWindow({.findSpreadsheet =
                                        [&]() -> std::optional<DesktopApplication> {
                                            askedOn = QThread::currentThread();
                                            answer.tryAcquire(1, 10000);
                                            return std::nullopt;
                                        },
                                    .openWorkbook = open});
        fill({{Row21, true}});
        press("PushButton10");
        QVERIFY(w.busy().isBusy());
        QTRY_VERIFY(askedOn.load() != nullptr);
        QVERIFY(askedOn.load() != QThread::currentThread());
        QCOMPARE(m_dialogs->messages.size(), 0);
        answer.release();
        QVERIFY(waitForExport());
        QCOMPARE(m_dialogs->texts(), bothBoxes);
        for (const ScriptedDialogs::Message &m : std::as_const(m_dialogs->messages)) {
            QCOMPARE(m.title, w.applicationTitle());
            QCOMPARE(m.buttons, MessageButtons::Ok);
            QCOMPARE(m.icon, MessageIcon::None);
        }
        QCOMPARE(opened, 0);
        QVERIFY(!w.busy().isBusy());
    }

    // The desktop's own answer; with an empty list a present application
    // means no box and nothing made.
    m_dialogs->messages.clear();
    makeWindow({.openWorkbook = open});
    const bool present = defaultApplication(QString::fromLatin1(exports::WorkbookMimeType)).has_value();
    press("PushButton10");
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->texts(), present ? QStringList() : bothBoxes);
    QCOMPARE(opened, 0);
}

void ResultsWindowTest::spreadsheetPresentOpensTheWorkbook()
{
    const DesktopApplication sheets{QStringLiteral("sheets.desktop"), QStringLiteral("sheets %f")};
    QStringList opened;
    bool openerAnswer = true;
    MainWindow &w = makeWindow({.findSpreadsheet = [&] { return std::optional(sheets); },
                                .openWorkbook =
                                    [&](const DesktopApplication &application, const QString &file) {
                                        opened.append(application.id == sheets.id ? file : QStringLiteral("?"));
                                        return openerAnswer;
                                    }});

    // An empty list: no box, no workbook.
    press("PushButton10");
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->messages.size(), 0);
    QCOMPARE(opened.size(), 0);
    QVERIFY(!w.busy().isBusy());

    fill({{Row21, true}, {Row20, false}, {QStringLiteral("=1"), true}});
    m_finished->clear();
    press("PushButton10");
    QVERIFY(w.busy().isBusy());
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->messages.size(), 0);
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened.first().endsWith(QStringLiteral(".xlsx")));
    QVERIFY2(opened.first().startsWith(exports::workbookFolder() + QLatin1Char('/')), qPrintable(opened.first()));
    QFile workbook(opened.first());
    QVERIFY(workbook.open(QIODevice::ReadOnly));
    QCOMPARE(workbook.read(2), QByteArray("PK"));   // a zip package, as workbooks are
    workbook.close();
    QVERIFY(!w.busy().isBusy());
    QDir(QFileInfo(opened.first()).path()).removeRecursively();

    // A desktop that will not open it: one report, and the pointer comes back.
    openerAnswer = false;
    m_finished->clear();
    press("PushButton10");
    QVERIFY(waitForExport());
    QCOMPARE(opened.size(), 2);
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(QStringLiteral("The desktop could not open %1.").arg(opened.last()),
                                    location::SaveExcelFile, 112)});
    QVERIFY(!w.busy().isBusy());
    QDir(QFileInfo(opened.last()).path()).removeRecursively();
}

// ------------------------------------------------------------ clipboard

void ResultsWindowTest::copyPlacesTheTextOnTheXClipboard()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("The X clipboard is read from outside: run under xvfb with QT_QPA_PLATFORM=xcb.");
    MainWindow &w = makeWindow();
    fill({{Row21, true},
          {QStringLiteral("=x"), false},
          {QStringLiteral("1234567 lines - /a/very/long/path.txt"), false},
          {Row20, true},
          {QStringLiteral("3 lines - blanks at the end   "), true},
          {QStringLiteral("Zürich ünd 日本"), true}});
    bool busyAtBox = false;
    QString captionAtBox;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &) {
        busyAtBox = w.busy().isBusy();
        captionAtBox = w.progressBar().caption();
    };

    press("PushButton18");
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Copying text to clipboard.. please wait.."));
    QVERIFY(w.busy().isBusy());
    QVERIFY(waitForExport());

    QCOMPARE(m_dialogs->messages.size(), 1);
    const ScriptedDialogs::Message &box = m_dialogs->messages.first();
    QCOMPARE(box.text, QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where you "
                                      "normally type and press Ctrl+V to paste the clipboard."));
    QCOMPARE(box.title, w.applicationTitle());
    QCOMPARE(box.buttons, MessageButtons::Ok);
    QCOMPARE(box.icon, MessageIcon::None);
    QVERIFY2(busyAtBox, "the box comes while the busy pointer shows");
    QCOMPARE(captionAtBox, QStringLiteral("Copying text to clipboard.. please wait.."));
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));

    // No header; trailing blanks trimmed; CR LF after every line.
    const QByteArray expected = Row21.toUtf8() + "\r\n" + Row20.toUtf8() + "\r\n3 lines - blanks at the end\r\n"
        + QStringLiteral("Zürich ünd 日本").toUtf8() + "\r\n";
    QCOMPARE(clipboardFromOutside(), expected);

    // No row checked: the clipboard is emptied and the box still shows.
    for (int row = 0; row < w.results().count(); ++row)
        w.results().setChecked(row, false);
    m_dialogs->messages.clear();
    m_finished->clear();
    press("PushButton18");
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(clipboardFromOutside(), QByteArray());
}

void ResultsWindowTest::copyOfAnEmptyListLeavesTheClipboard()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("The X clipboard is read from outside: run under xvfb with QT_QPA_PLATFORM=xcb.");
    MainWindow &w = makeWindow();
    SystemClipboard clipboard;
    QVERIFY(clipboard.placeText(QStringLiteral("earlier text")));
    bool busyAtBox = false;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &) { busyAtBox = w.busy().isBusy(); };

    press("PushButton18");
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("There are no results to copy.")});
    QCOMPARE(m_dialogs->messages.first().icon, MessageIcon::None);
    QVERIFY(busyAtBox);
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
    QCOMPARE(clipboardFromOutside(), QByteArray("earlier text"));
}

void ResultsWindowTest::aRefusedClipboardIsReportedOnce()
{
    RefusingClipboard refusing;
    MainWindow &w = makeWindow({.clipboard = &refusing});
    fill({{Row21, true}, {Row20, true}});
    press("PushButton18");
    QVERIFY(waitForExport());
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(
                 QStringLiteral("The clipboard did not take the text: another program may be holding it."),
                 location::CopyToClipboard, 104)});
    QCOMPARE(m_dialogs->messages.first().title, QStringLiteral("Application Error"));
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(w.progressBar().caption(), QStringLiteral("Progress Bar"));
}

// ------------------------------------------------------------ Clear List

void ResultsWindowTest::clearListDuringARun()
{
    // One worker, so the files are counted in list order: the rows of the
    // first file are handed over before the missing second one is reported,
    // and the third file's after it. At the report the first file's rows
    // may still wait to be shown; the clear must take those too.
    MainWindow &w = makeWindow({}, 1);
    QDir().mkpath(m_dir->filePath(QStringLiteral("in")));
    const QString first = path(QStringLiteral("in/first.txt"));
    const QString third = path(QStringLiteral("in/third.txt"));
    writeFile(first, "a\rb\r");
    // The third file is long and listed many times, so the run still works
    // when the report (which never holds it up) comes.
    writeFile(third, QByteArray("c\rd\re\r").repeated(1 << 16));
    w.fileList().append(QStringList{first, path(QStringLiteral("in/missing.txt"))} + QStringList(500, third));
    w.findChild<QRadioButton *>(QStringLiteral("Option2"))->click();

    int rowsAtClear = -1;
    bool busyAtClear = false;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &m) {
        if (m.title != QLatin1String("Application Error") || rowsAtClear >= 0)
            return;
        busyAtClear = w.busy().isBusy();
        rowsAtClear = w.results().count();
        w.button("PushButton14")->click();
    };
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    w.button("PushButton12")->click();
    QVERIFY(finished.wait(60000) || !finished.isEmpty());

    QVERIFY(busyAtClear);
    QVERIFY(rowsAtClear >= 0);
    // Nothing of the first file survives the clear, shown or not; the third
    // file's rows come after it.
    const QStringList rows = w.results().texts();
    QVERIFY2(!rows.join(QLatin1Char('\n')).contains(QStringLiteral("first.txt")), qPrintable(rows.join(u'\n')));
    QVERIFY2(rows.join(QLatin1Char('\n')).contains(QStringLiteral("third.txt")), qPrintable(rows.join(u'\n')));

    // Also when nothing runs, and on an empty list, without a box.
    m_dialogs->messages.clear();
    w.button("PushButton14")->click();
    QCOMPARE(w.results().count(), 0);
    w.button("PushButton14")->click();
    QCOMPARE(w.results().count(), 0);
    QCOMPARE(m_dialogs->messages.size(), 0);
}

// ------------------------------------------------------------- sorting

void ResultsWindowTest::headerClicksSortAndTheExportsFollow()
{
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QStringList rows{"10 lines - /b/Two", "9 lines - /c/one", "100 lines - /a/three", "9 lines - /A/four",
                           "Total Lines Counted For All Files: 5"};
    w.results().append(rows, true);
    auto *view = child<QTreeView>("ListView3");
    QSignalSpy sorted(&w.resultsOrder(), &app::ResultsOrder::sorted);
    // Counts by value, not as text; equal counts keep their order; paths
    // without regard to case. The total row stays last throughout.
    const QList<QList<int>> expected = {{1, 3, 0, 2, 4}, {2, 0, 1, 3, 4}, {3, 2, 0, 1, 4}, {1, 0, 2, 3, 4}};
    const QStringList captions = {" Results (by count)", " Results (by count)", " Results (by path)",
                                  " Results (by path)"};
    QCOMPARE(w.resultsOrder().headerCaption(), QStringLiteral(" Results"));
    for (const QList<int> &order : expected) {
        const qsizetype before = sorted.size();
        QTest::qWait(QApplication::doubleClickInterval() + 20);   // clicks, not a double-click
        QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {}, QPoint(20, view->header()->height() / 2));
        QTRY_COMPARE_WITH_TIMEOUT(sorted.size(), before + 1, 5000);
        QStringList shown;
        for (const int row : order)
            shown.append(rows.at(row));
        QCOMPARE(w.results().texts(), shown);
        const qsizetype step = sorted.size() - 1;
        QCOMPARE(w.resultsOrder().headerCaption(), captions.at(step % 4));
        QVERIFY(view->header()->isSortIndicatorShown());
        QCOMPARE(view->header()->sortIndicatorOrder(), step % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }

    // The file written is the list as shown.
    const QString target = path(QStringLiteral("sorted.txt"));
    m_fileDialogs->savePaths = {target};
    press("PushButton9");
    QVERIFY(waitForExport());
    const QList<QByteArray> lines = readFile(target).split('\n');
    QVERIFY(lines.size() > 5);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(lines.at(i + 1).startsWith(w.results().text(i).toUtf8()), lines.at(i + 1).constData());

    // An order overtaken by a removal is dropped, not applied to other rows.
    w.clearResultRows();
    QVERIFY(!view->header()->isSortIndicatorShown());
    QCOMPARE(w.resultsOrder().headerCaption(), QStringLiteral(" Results"));
    w.results().append(rows, true);
    const qsizetype before = sorted.size();
    emit view->header()->sectionClicked(0);
    w.results().removeAt(0);
    QTRY_COMPARE_WITH_TIMEOUT(sorted.size(), before + 1, 5000);
    QCOMPARE(w.results().texts(), rows.mid(1));
}

void ResultsWindowTest::pathOrderIsNaturalAndKeepsFoldersTogether_data()
{
    QTest::addColumn<QStringList>("rows");
    // Most pairs are decided on a few bytes after the start all paths
    // share; these rows differ only past them, end inside them, are equal
    // but for case, hold numbers, leave ASCII, or share nothing at all.
    const QString deep = QStringLiteral("/home/user/project/src/");
    QTest::newRow("past the shared start")
        << QStringList{"1 lines - " + deep + "module/alpha.c", "2 lines - " + deep + "module/Alpha.c",
                       "3 lines - " + deep + "module/alph.c", "4 lines - " + deep + "modulex",
                       "5 lines - " + deep + "module", "6 lines - " + deep + "module/alpha.cc",
                       "7 lines - " + deep + "MODULE/alpha.c", "8 lines - " + deep + "module/",
                       "9 lines - " + deep + "module-2/a", "10 lines - " + deep + "module.c"};
    QTest::newRow("numbers by value")
        << QStringList{"1 lines - /t/c10", "2 lines - /t/c9", "3 lines - /t/c09", "4 lines - /t/c100/x",
                       "5 lines - /t/c9/x", "6 lines - /t/b", "7 lines - /t/c"};
    QTest::newRow("shared start ends inside a number")
        << QStringList{"1 lines - /q/v1000", "2 lines - /q/v19", "3 lines - /q/v10", "4 lines - /q/v1/z"};
    QTest::newRow("beyond ASCII")
        << QStringList{"1 lines - /x/\u00c4rger", "2 lines - /x/\u00e4rger", "3 lines - /x/Zeta",
                       "4 lines - /x/\u00e9t\u00e9", "5 lines - /x/k", "6 lines - /x/f2", "7 lines - /x/f10",
                       "8 lines - /x/a"};
    QTest::newRow("nothing shared, total row inside")
        << QStringList{"1 lines - b", "Total Lines Counted For All Files: 9", "2 lines - A", "3 lines - ",
                       "4 lines - a", "99999999999999999999999 lines - c", "5 lines - B"};
    QStringList many;
    for (int i = 0; i < 3000; ++i)
        many.append(QString::number(i % 7) + " lines - " + deep + (i % 3 ? "Dir" : "dir")
                    + QString::number(i * 7919 % 1000) + (i % 5 ? "/f" : ".f") + QString::number(i % 11));
    QTest::newRow("many alike") << many;
}

void ResultsWindowTest::pathOrderIsNaturalAndKeepsFoldersTogether()
{
    QFETCH(QStringList, rows);
    // The oracle: the collator itself, numbers by value and case ignored,
    // with the separator turned into a tab, which it puts before every
    // printable character.
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QString separator = QStringLiteral(" lines - ");
    const auto path = [&](const QString &row) { return row.mid(row.indexOf(separator) + separator.size()); };
    const auto isTotal = [](const QString &row) { return !row.front().isDigit(); };
    for (const Qt::SortOrder direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        QList<int> expected(rows.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            if (isTotal(rows[a]) || isTotal(rows[b]))
                return !isTotal(rows[a]) && isTotal(rows[b]);
            QString pa = path(rows[a]), pb = path(rows[b]);
            int c = collator.compare(QString(pa).replace(u'/', u'\t'), QString(pb).replace(u'/', u'\t'));
            if (c == 0)
                c = pa.compare(pb);
            return direction == Qt::AscendingOrder ? c < 0 : c > 0;
        });
        QCOMPARE(app::ResultsOrder::sortedOrder(rows, app::ResultsOrder::Key::Path, direction), expected);
    }
}

QTEST_MAIN(ResultsWindowTest)
#include "ResultsWindowTest.moc"
