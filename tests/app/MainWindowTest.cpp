#include "AddFiles.h"
#include "AddFolder.h"
#include "ApplicationTitle.h"
#include "CaptionProgressBar.h"
#include "ErrorReport.h"
#include "ExportTexts.h"
#include "MainWindow.h"
#include "SampleFiles.h"
#include "SampleSet.h"
#include "SettingsStore.h"
#include "SharedOptions.h"
#include "TextListModel.h"
#include "WidgetDialogs.h"
#include "WindowFixture.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QRadioButton>
#include <QScrollArea>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <sys/stat.h>
#include <unistd.h>

using namespace brinmoor;
using app::MainWindow;

class MainWindowTest : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpWithAnEmptyStore();
    void layoutMatchesTheDesign();
    void startUpWithAFilledStore();
    void storedValuesAreConverted_data();
    void storedValuesAreConverted();
    void anUnreadableOptionIsReportedAndKeepsItsDesignState();
    void aDamagedStoreGivesDefaultsAndOneReport_data();
    void aDamagedStoreGivesDefaultsAndOneReport();
    void skinAndHandPointerFromBesideTheProgram();
    void settingsThatCannotBeWritten();
    void theWebSiteOpensOnlyOnSevenWithAnAddress();
    void sampleSetIsRecordedOnce();
    void applicationTitleRule();
    void fitsTheScreenAndShrinks();
    void rowsTooltipTheirWholeText();
    void boxesShowTheirTitleWhole_data();
    void boxesShowTheirTitleWhole();

    void addOneEntry();
    void removalIsBlockedWhileBusyButAddingIsNot();
    void deleteWithoutSelectionIsReported();
    void countOptionsWriteTheirKeys();
    void closingSavesTheWordsAndStartUpRestoresThem();
    void twoCopiesOpenAtOnceKeepEachOthersWords();

    void emptyFileListSaysNoFilesAdded();
    void wholeRunInBothModes();
    void neitherModeClearsAndSaysDone();
    void duringARun();
    void stopEndsARunOrAScan_data();
    void stopEndsARunOrAScan();
    void failuresNameTheFileAndAreGathered();
    void stopStaysWithinReachBehindAFailureBox();
    void closingDuringARunCancelsIt();

    void buttonsStartTheirCommands_data();
    void buttonsStartTheirCommands();
    void keysStartTheirCommands_data();
    void keysStartTheirCommands();
    void anEmptyListShowsWhereTheFocusIs();

private:
    MainWindow &makeWindow(int draw = 1);

    QString m_address;
};

void MainWindowTest::init()
{
    QVERIFY(setUpFixture());
    m_address.clear();
}

void MainWindowTest::cleanup()
{
    tearDownFixture();
}

MainWindow &MainWindowTest::makeWindow(int draw)
{
    app::WindowServices s = services();
    s.websiteAddress = m_address;
    s.drawVisit = [draw] { return draw; };
    return makeWindowWith(std::move(s));
}

// ------------------------------------------------------------- start-up

void MainWindowTest::startUpWithAnEmptyStore()
{
    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 0);
    QCOMPARE(w.windowTitle(), QStringLiteral("Brinmoor"));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(!child<QCheckBox>("Check3")->isChecked());
    QVERIFY(child<QRadioButton>("Option1")->isChecked());
    QVERIFY(!child<QRadioButton>("Option2")->isChecked());
    QCOMPARE(w.wordList().count(), 0);
    QCOMPARE(w.fileList().header(), QStringLiteral("File(s)"));
    QCOMPARE(w.results().header(), QStringLiteral(" Results"));
    QCOMPARE(w.wordList().header(), QStringLiteral("Exclude lines that contain these word(s)"));
    for (const char *list : {"ListView1", "ListView2", "ListView3"}) {
        QVERIFY(child<QTreeView>(list)->header()->stretchLastSection());
        QCOMPARE(child<QTreeView>(list)->textElideMode(), Qt::ElideMiddle);
    }
    QCOMPARE(child<app::CaptionProgressBar>("ProgressBar1")->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(w.countOptions().options(), counting::CountOptions{});
    // Start-up only reads; options are written when the user changes them.
    QCOMPARE(stored(settings::Option1), QStringLiteral("<missing>"));
    QCOMPARE(w.applicationTitle(), QStringLiteral("Brinmoor"));
}

void MainWindowTest::layoutMatchesTheDesign()
{
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(1064, 386));

    // Design geometry in pixels (15 twips each), relative to the window.
    const struct { const char *name; QRect rect; } design[] = {
        {"ListView1", {8, 8, 520, 107}},      {"PushButton1", {8, 122, 256, 27}},
        {"PushButton5", {272, 122, 256, 27}}, {"PushButton3", {8, 156, 256, 27}},
        {"PushButton11", {272, 156, 256, 27}}, {"ListView2", {8, 190, 520, 121}},
        {"PushButton2", {8, 317, 256, 27}},   {"PushButton7", {272, 317, 256, 27}},
        {"PushButton8", {8, 351, 256, 27}},   {"PushButton13", {272, 351, 256, 27}},
        {"Frame4", {536, 6, 520, 47}},        {"Frame2", {536, 58, 520, 67}},
        {"PushButton12", {536, 133, 520, 27}}, {"ListView3", {536, 166, 520, 111}},
        {"PushButton9", {536, 283, 256, 27}}, {"PushButton10", {800, 283, 256, 27}},
        {"PushButton18", {536, 317, 256, 27}}, {"PushButton14", {800, 317, 256, 27}},
        {"ProgressBar1", {536, 351, 520, 27}},
    };
    for (const auto &[name, rect] : design) {
        const QWidget *at = child<QWidget>(name);
        const QRect inWindow(at->mapTo(&w, QPoint(0, 0)), at->size());
        QVERIFY2(inWindow == rect, qPrintable(QStringLiteral("%1 at %2,%3 %4x%5").arg(QLatin1String(name))
            .arg(inWindow.x()).arg(inWindow.y()).arg(inWindow.width()).arg(inWindow.height())));
    }
    QCOMPARE(child<QCheckBox>("Check3")->geometry(), QRect(16, 20, 163, 16));
    QCOMPARE(child<QRadioButton>("Option1")->geometry(), QRect(16, 20, 177, 17));
    QCOMPARE(child<QRadioButton>("Option2")->geometry(), QRect(16, 40, 217, 17));
    QCOMPARE(w.button("PushButton9"), child<QPushButton>("PushButton9"));
    QCOMPARE(w.button("PushButton9")->text(), QStringLiteral("Save Results As Text File"));
    QVERIFY(!child<QPushButton>("PushButton6")->isVisible());
    QVERIFY(!child<QPushButton>("PushButton4")->isVisible());

    QCOMPARE(child<QTreeView>("ListView1")->toolTip(),
             QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to right and "
                            "out of window to reveal full names."));
    for (const char *list : {"ListView2", "ListView3"})
        QCOMPARE(child<QTreeView>(list)->toolTip(),
                 QStringLiteral("Double-click item to remove it. Move | line to right and out of window to reveal "
                                "full names."));
    const QFont buttonFont = child<QPushButton>("PushButton12")->font();
    QCOMPARE(buttonFont.family(), QStringLiteral("Arial"));
    QCOMPARE(buttonFont.pointSizeF(), 11.25);
    QVERIFY(buttonFont.bold());
    const QFont listFont = child<QTreeView>("ListView2")->font();
    QCOMPARE(listFont.pointSizeF(), 9.0);
    QVERIFY(listFont.bold());
    QCOMPARE(child<QGroupBox>("Frame4")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(child<QCheckBox>("Check3")->palette().color(QPalette::Window), QColor(Qt::white));
    const QImage shot = w.grab().toImage();
    QCOMPARE(QColor(shot.pixel(710, 34)), QColor(Qt::white));   // right end of Check3
    QCOMPARE(QColor(shot.pixel(750, 106)), QColor(Qt::white));  // right end of Option2

    // The lists take what the window grows by; the buttons keep their height.
    w.resize(1264, 586);
    QTRY_COMPARE(w.size(), QSize(1264, 586));
    QVERIFY(child<QTreeView>("ListView3")->height() > 111 + 150);
    QVERIFY(child<QTreeView>("ListView1")->height() > 107 + 50);
    QCOMPARE(child<QPushButton>("PushButton12")->height(), 27);

    // Tab order of the design; the hidden buttons and the progress bar take
    // no focus.
    QStringList order;
    QWidget *at = child<QTreeView>("ListView1");
    do {
        order << at->objectName();
        do
            at = at->nextInFocusChain();
        while (!((at->focusPolicy() & Qt::TabFocus) && at->isVisibleTo(&w)) && at != &w);
    } while (at != &w && order.size() < 40 && at->objectName() != QLatin1String("ListView1"));
    QCOMPARE(order, QStringList({"ListView1", "PushButton5", "PushButton1", "PushButton12", "Option1", "Option2",
                                 "PushButton3", "Check3", "ListView3", "PushButton11", "PushButton9", "PushButton10",
                                 "PushButton14", "PushButton18", "ListView2", "PushButton2", "PushButton7",
                                 "PushButton8", "PushButton13"}));
}

void MainWindowTest::startUpWithAFilledStore()
{
    m_settings->write(QLatin1String(settings::ExcludeBlank), QStringLiteral("1"));
    m_settings->write(QLatin1String(settings::Option1), QStringLiteral("False"));
    m_settings->write(QLatin1String(settings::Option2), QStringLiteral("True"));
    m_settings->write(QLatin1String(settings::ExcludeWords), QStringLiteral("storm,,a b"));
    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 0);
    QVERIFY(child<QCheckBox>("Check3")->isChecked());
    QVERIFY(!child<QRadioButton>("Option1")->isChecked());
    QVERIFY(child<QRadioButton>("Option2")->isChecked());
    QCOMPARE(w.wordList().texts(), QStringList({"storm", "", "a b"}));
    QCOMPARE(w.countOptions().options(),
             (counting::CountOptions{.excludeBlank = true, .excludeWords = {"storm", "", "a b"}}));
}

void MainWindowTest::storedValuesAreConverted_data()
{
    QTest::addColumn<QString>("excludeBlank");
    QTest::addColumn<QString>("option1");
    QTest::addColumn<QString>("option2");
    QTest::addColumn<bool>("check3");
    QTest::addColumn<bool>("one");
    QTest::addColumn<bool>("separate");
    QTest::newRow("two ticks, numbers as truth") << "2" << "0" << "-1" << true << false << true;
    QTest::newRow("minus one ticks") << "-1" << "1" << "0" << true << true << false;
    QTest::newRow("zero, lower-case words") << "0" << "true" << "FALSE" << false << true << false;
    QTest::newRow("text reads as 0") << "yes" << "True" << "False" << false << true << false;
    QTest::newRow("both False selects neither") << " 5" << "False" << "False" << true << false << false;
    QTest::newRow("both True: the later wins") << "0" << "True" << "True" << false << false << true;
}

void MainWindowTest::storedValuesAreConverted()
{
    QFETCH(QString, excludeBlank);
    QFETCH(QString, option1);
    QFETCH(QString, option2);
    m_settings->write(QLatin1String(settings::ExcludeBlank), excludeBlank);
    m_settings->write(QLatin1String(settings::Option1), option1);
    m_settings->write(QLatin1String(settings::Option2), option2);
    makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 0);
    QTEST(child<QCheckBox>("Check3")->isChecked(), "check3");
    QTEST(child<QRadioButton>("Option1")->isChecked(), "one");
    QTEST(child<QRadioButton>("Option2")->isChecked(), "separate");
}

void MainWindowTest::anUnreadableOptionIsReportedAndKeepsItsDesignState()
{
    m_settings->write(QLatin1String(settings::Option1), QStringLiteral("maybe"));
    m_settings->write(QLatin1String(settings::ExcludeWords), QStringLiteral("kept"));
    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 1);
    const auto &box = m_dialogs->messages.first();
    QCOMPARE(box.title, QStringLiteral("Application Error"));
    QCOMPARE(box.icon, MessageIcon::Warning);
    QCOMPARE(box.buttons, MessageButtons::Ok);
    QCOMPARE(box.text, reportText(QStringLiteral("The setting \"Option1\" holds \"maybe\", which is neither True, "
                                                 "False nor a number."),
                                  location::FormLoad, 156));
    // Start-up went on: the design state stays and the later steps ran.
    QVERIFY(child<QRadioButton>("Option1")->isChecked());
    QVERIFY(!child<QRadioButton>("Option2")->isChecked());
    QCOMPARE(w.wordList().texts(), QStringList{"kept"});
}

void MainWindowTest::aDamagedStoreGivesDefaultsAndOneReport_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("unclosed section") << QByteArray("[Brinmoor\nOption1=False\n");
    QTest::newRow("line without equals") << QByteArray("[Brinmoor]\nOption1=False\nnot a setting\n");
    QTest::newRow("random bytes") << QByteArray("\x8f\x01\xfe=\x00\x9c\nOption1=False\x13\xff\n", 20);
}

void MainWindowTest::aDamagedStoreGivesDefaultsAndOneReport()
{
    QFETCH(QByteArray, content);
    // The store as the program opens it: by organisation and application.
    m_settings.reset();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
    const QString file = writeFile(QStringLiteral("Kelmarsh/Brinmoor.conf"), content);
    m_settings = std::make_unique<SettingsStore>();
    QCOMPARE(m_settings->fileName(), file);
    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(QStringLiteral("The settings file %1 is damaged; it was kept as %1.damaged and "
                                                   "defaults are used.")
                                        .arg(file),
                                    location::FormLoad, 0)});
    QVERIFY(child<QRadioButton>("Option1")->isChecked());
    QFile aside(file + QStringLiteral(".damaged"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), content);

    // The writes of start-up and shutdown land, and nothing says otherwise.
    w.wordList().add(QStringLiteral("kept"));
    QVERIFY(w.close());
    QCOMPARE(m_dialogs->messages.size(), 1);
    SettingsStore reopened;
    QVERIFY(reopened.openProblem().isEmpty());
    QCOMPARE(reopened.read(QLatin1String(settings::ExcludeWords), {}), QStringLiteral("kept"));
}

void MainWindowTest::skinAndHandPointerFromBesideTheProgram()
{
    {
        MainWindow &w = makeWindow();
        QCOMPARE(w.styleSheet(), QString());
        QCOMPARE(child<QGroupBox>("Frame2")->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(child<QPushButton>("PushButton2")->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(child<QCheckBox>("Check3")->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(child<QTreeView>("ListView3")->viewport()->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    const QByteArray sheet = "QPushButton { color: #102030; }";
    writeFile(QStringLiteral("program/x/o.cjs"), sheet);
    // A cursor file is an icon file with type 2 and the hot spot where the
    // icon keeps planes and bit count.
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QByteArray ico;
    {
        QBuffer buffer(&ico);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(QImageWriter(&buffer, "ico").write(image));
    }
    ico[2] = 2;
    ico[10] = 5;
    ico[11] = 0;
    ico[12] = 7;
    ico[13] = 0;
    writeFile(QStringLiteral("program/HAND-M.CUR"), ico);

    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 0);
    QCOMPARE(w.styleSheet(), QString::fromUtf8(sheet));
    const QColor face = w.palette().color(QPalette::Button);
    QCOMPARE(child<QGroupBox>("Frame2")->palette().color(QPalette::Window), face);
    QCOMPARE(child<QRadioButton>("Option2")->palette().color(QPalette::Window), face);
    const QCursor hand = child<QPushButton>("PushButton12")->cursor();
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.hotSpot(), QPoint(5, 7));
    QCOMPARE(child<QCheckBox>("Check3")->cursor().shape(), Qt::BitmapCursor);

    writeFile(QStringLiteral("program/HAND-M.CUR"), "not a cursor at all, long enough");
    makeWindow();
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(QStringLiteral("The pointer image %1 cannot be read.")
                                        .arg(QDir::toNativeSeparators(program(QStringLiteral("HAND-M.CUR")))),
                                    location::FormLoad, 106)});
    QCOMPARE(child<QPushButton>("PushButton12")->cursor().shape(), Qt::PointingHandCursor);

    // A skin that cannot be read: one report, and the colours already
    // changed stay. The super-user reads any file of ours, so it gets a
    // write-only one of the kernel's.
    QFile::remove(program(QStringLiteral("HAND-M.CUR")));
    const QString skin = program(QStringLiteral("x/o.cjs"));
    QVERIFY(QFile::setPermissions(skin, QFileDevice::WriteOwner));
    if (QFile(skin).open(QIODevice::ReadOnly)) {
        QVERIFY(QFile::remove(skin));
        QVERIFY(QFile::link(QStringLiteral("/proc/sys/vm/drop_caches"), skin));
        if (QFile(skin).open(QIODevice::ReadOnly))
            QSKIP("no file here that this user cannot read");
    }
    m_dialogs->messages.clear();
    MainWindow &unskinned = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 1);
    QVERIFY(m_dialogs->messages[0].text.startsWith(
        QStringLiteral("The skin file %1 cannot be read: ").arg(QDir::toNativeSeparators(skin))));
    QVERIFY(m_dialogs->messages[0].text.endsWith(reportText(QString(), location::FormLoad, 100)));
    QCOMPARE(unskinned.styleSheet(), QString());
    QCOMPARE(child<QGroupBox>("Frame2")->palette().color(QPalette::Window), face);
}

void MainWindowTest::settingsThatCannotBeWritten()
{
    const auto cannotBeWritten = [](const QString &file) {
        return QStringLiteral("The settings file %1 cannot be written, so changes will not be kept after Brinmoor "
                              "closes.")
            .arg(file);
    };
    // After a normal start, the settings folder stops taking changes (the
    // super-user is stopped only by the immutable flag).
    const QString folder = m_dir->filePath(QStringLiteral("settings"));
    writeFile(QStringLiteral("program/Samples/a.txt"));
    m_settings = std::make_unique<SettingsStore>(folder + QStringLiteral("/Brinmoor.conf"));
    makeWindow().close();
    QCOMPARE(m_dialogs->messages.size(), 0);
    QVERIFY(QFile::copy(folder + QStringLiteral("/Brinmoor.conf"), folder + QStringLiteral("/Words.conf")));
    const bool root = ::geteuid() == 0;
    const auto setImmutable = [&](bool on) {
        return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), folder});
    };
    if (root ? setImmutable(true) != 0 : !QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner))
        QSKIP("the settings folder cannot be made unwritable here");
    const auto restore = qScopeGuard([&] {
        if (root)
            setImmutable(false);
        else
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    // Start-up writes nothing; the first option click that is not kept
    // says so once, and nothing more is said, at close neither.
    m_settings = std::make_unique<SettingsStore>(folder + QStringLiteral("/Brinmoor.conf"));
    MainWindow &w = makeWindow();
    QCOMPARE(m_dialogs->messages.size(), 0);
    child<QCheckBox>("Check3")->click();
    child<QRadioButton>("Option2")->click();
    QVERIFY(child<QCheckBox>("Check3")->isChecked());
    QVERIFY(child<QRadioButton>("Option2")->isChecked());
    QCOMPARE(m_dialogs->texts(), QStringList{cannotBeWritten(m_settings->fileName())});
    QCOMPARE(m_dialogs->messages.first().title, w.applicationTitle());
    w.wordList().add(QStringLiteral("kept"));
    QVERIFY(w.close());
    QCOMPARE(m_dialogs->messages.size(), 1);

    // The same when the first change is a word: told once, then silence.
    // (A file of its own: Qt shares one file's unsaved changes between the
    // stores of a process, and the last one's would fail this one's open.)
    m_dialogs->messages.clear();
    m_settings = std::make_unique<SettingsStore>(folder + QStringLiteral("/Words.conf"));
    MainWindow &words = makeWindow();
    words.wordList().add(QStringLiteral("first"));
    QTRY_COMPARE(m_dialogs->texts(), QStringList{cannotBeWritten(m_settings->fileName())});
    child<QCheckBox>("Check3")->click();
    words.wordList().add(QStringLiteral("second"));
    QVERIFY(words.close());
    QTest::qWait(20);
    QCOMPARE(m_dialogs->messages.size(), 1);

    // A file where the settings folder should be: the sample record at
    // start-up is the first write, and the report there is the only one.
    m_dialogs->messages.clear();
    writeFile(QStringLiteral("blocker"));
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("blocker/Brinmoor.conf")));
    MainWindow &blocked = makeWindow();
    child<QCheckBox>("Check3")->click();
    blocked.wordList().add(QStringLiteral("kept"));
    QVERIFY(blocked.close());
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(cannotBeWritten(m_settings->fileName()), location::FormLoad, 108)});
}

void MainWindowTest::theWebSiteOpensOnlyOnSevenWithAnAddress()
{
    makeWindow(7);
    QVERIFY(m_opened.isEmpty());   // no address configured
    m_address = QStringLiteral("https://brinmoor.example/");
    makeWindow(6);
    QVERIFY(m_opened.isEmpty());
    makeWindow(7);
    QCOMPARE(m_opened, QList<QUrl>{QUrl(m_address)});
}

void MainWindowTest::sampleSetIsRecordedOnce()
{
    makeWindow();
    QCOMPARE(stored(settings::Snapshot), QString());   // no sample folder yet: stays empty
    const QString a = writeFile(QStringLiteral("program/Samples/a.txt"), "a\n");
    const QString b = writeFile(QStringLiteral("program/Samples/b.txt"), "b\n");
    // Only files that can be opened are recorded: no pipe, no link to nothing.
    QCOMPARE(::mkfifo(QFile::encodeName(program(QStringLiteral("Samples/pipe.txt"))).constData(), 0600), 0);
    QVERIFY(QFile::link(QStringLiteral("gone.txt"), program(QStringLiteral("Samples/dangling.txt"))));
    makeWindow();
    const QString record = filelist::unscrambleRecord(stored(settings::Snapshot));
    QStringList recorded = record.split(QLatin1Char('|'));
    recorded.sort();
    QCOMPARE(recorded, QStringList({a, b}));
    QCOMPARE(stored(settings::Snapshot).size(), record.size());
    QVERIFY(stored(settings::Snapshot) != record);
    writeFile(QStringLiteral("program/Samples/c.txt"), "c\n");
    makeWindow();
    QCOMPARE(filelist::unscrambleRecord(stored(settings::Snapshot)), record);
}

void MainWindowTest::applicationTitleRule()
{
    QCOMPARE(app::applicationTitle(QStringLiteral("Brinmoor")), QStringLiteral("Brinmoor"));
    const QString forty(40, QLatin1Char('x'));
    QCOMPARE(app::applicationTitle(forty), forty);
    // 53 characters whose last two words are 9 and 6 characters, blanks
    // included: both go, 38 remain.
    const QString base38 = QStringLiteral("Brinmoor Line Counter For Many Files X");
    QCOMPARE(base38.size(), 38);
    const QString t53 = base38 + QStringLiteral(" Editions") + QStringLiteral(" Plus!");
    QCOMPARE(t53.size(), 53);
    QCOMPARE(app::applicationTitle(t53), base38);
    QCOMPARE(app::applicationTitle(QString(45, QLatin1Char('y'))), QString(40, QLatin1Char('y')));
}

// ------------------------------------------------------------- desktop

void MainWindowTest::fitsTheScreenAndShrinks()
{
    // Also run under QT_SCALE_FACTOR=2, where the design size is wider than
    // the screen.
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect available = w.screen()->availableGeometry();
    // Every button can be brought into view (its column scrolls when the
    // window is short), lies on the screen then and shows its whole caption.
    const auto everyButtonOnScreen = [&] {
        QVERIFY2(available.contains(w.frameGeometry()), qPrintable(QStringLiteral("window %1,%2 %3x%4")
            .arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
        for (QPushButton *b : w.findChildren<QPushButton *>()) {
            if (!b->isVisibleTo(&w) || b->objectName() == QLatin1String("StopButton"))
                continue;
            QScrollArea *column = nullptr;
            for (QWidget *up = b->parentWidget(); up && !column; up = up->parentWidget())
                column = qobject_cast<QScrollArea *>(up);
            QVERIFY2(column, qPrintable(b->objectName()));
            column->ensureWidgetVisible(b, 0, 0);
            const QRect shown(b->mapTo(column->viewport(), QPoint(0, 0)), b->size());
            const QRect inWindow(b->mapTo(&w, QPoint(0, 0)), b->size());
            const QRect onScreen(b->mapToGlobal(QPoint(0, 0)), b->size());
            QVERIFY2(column->viewport()->rect().contains(shown) && w.rect().contains(inWindow)
                         && available.contains(onScreen),
                     qPrintable(b->objectName()));
            QVERIFY2(b->width() >= b->sizeHint().width() && b->height() >= 20,
                     qPrintable(QStringLiteral("%1 %2x%3").arg(b->objectName()).arg(b->width()).arg(b->height())));
        }
    };
    everyButtonOnScreen();
    QCOMPARE(w.size(), QSize(1064, 386).boundedTo(available.size()));
    const QString scale = QString::number(qRound(w.devicePixelRatioF() * 100));
    QDir().mkpath(QStringLiteral(BRINMOOR_ARTIFACTS_DIR));
    QVERIFY(w.grab().save(QStringLiteral(BRINMOOR_ARTIFACTS_DIR "/window-%1.png").arg(scale)));

    // Down to 60 % of the design size; the lists give up the height first.
    const int listHeight = child<QTreeView>("ListView3")->height();
    w.resize(638, 231);
    QTRY_COMPARE(w.size(), QSize(638, 231));
    QVERIFY(child<QTreeView>("ListView3")->height() < listHeight);
    // Scroll bars come and go a turn of the event loop after the resize;
    // the rows wrap to the width that leaves.
    QTest::qWait(50);
    for (const char *list : {"ListView1", "ListView2", "ListView3"})
        QVERIFY2(child<QTreeView>(list)->height() >= 40, list);
    everyButtonOnScreen();
    // A run shows its progress and Stop at this size too, without scrolling.
    child<QPushButton>("StopButton")->show();
    for (const char *control : {"ProgressBar1", "StopButton"}) {
        const QWidget *shown = child<QWidget>(control);
        QTRY_VERIFY2(!shown->rect().isEmpty() && shown->visibleRegion().boundingRect() == shown->rect(), control);
    }
    child<QPushButton>("StopButton")->hide();
    QVERIFY(w.grab().save(QStringLiteral(BRINMOOR_ARTIFACTS_DIR "/window-%1-smallest.png").arg(scale)));
    // And back: nothing stays scrolled or wrapped at the design size.
    w.resize(QSize(1064, 386).boundedTo(available.size()));
    QTRY_COMPARE(w.size(), QSize(1064, 386).boundedTo(available.size()));
    QTRY_COMPARE(child<QWidget>("PushButton13")->mapTo(&w, QPoint(0, 0)).y(), 351);
}

void MainWindowTest::rowsTooltipTheirWholeText()
{
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString deep = QStringLiteral("/home/user/projects/") + QString(40, QLatin1Char('d'))
        + QStringLiteral("/src/module/one-file-name.txt");
    w.fileList().add(deep);
    w.wordList().add(deep);
    w.results().add(QStringLiteral("12 lines - ") + deep);
    for (const char *name : {"ListView1", "ListView2", "ListView3"}) {
        auto *view = child<QTreeView>(name);
        // The column fills the view, however wide the window.
        QCOMPARE(view->header()->sectionSize(0), view->viewport()->width());
        const QModelIndex row = view->model()->index(0, 0);
        const auto tooltipAt = [&](QPoint at) {
            QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(view->viewport(), &help);
            const QString shown = QToolTip::text();
            QToolTip::hideText();
            return shown;
        };
        QCOMPARE(tooltipAt(view->visualRect(row).center()), row.data().toString());
        QCOMPARE(tooltipAt(QPoint(10, view->viewport()->height() - 5)), view->toolTip());
    }
}

void MainWindowTest::boxesShowTheirTitleWhole_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::newRow("Done.") << "Brinmoor" << "Done." << QString();
    QTest::newRow("No files added.") << "Brinmoor" << "No files added." << QString();
    QTest::newRow("gathered failures") << "Application Error" << "2 more files could not be counted."
                                       << "/a: gone\n/b: gone";
}

void MainWindowTest::boxesShowTheirTitleWhole()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, details);
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    WidgetDialogs dialogs(&w);
    int width = 0;
    QString shownDetails;
    QTimer::singleShot(0, &w, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        width = box->width();
        shownDetails = box->detailedText();
        box->accept();
    });
    if (details.isEmpty())
        dialogs.message(title, text, MessageButtons::Ok, MessageIcon::None);
    else
        dialogs.messageWithDetails(title, text, details, MessageIcon::Warning);
    // Room for the title in a title bar's font (bold, a size larger than
    // the box's) beside an icon and three buttons of at least 24 pixels.
    QFont titleFont = w.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    QVERIFY2(width >= QFontMetrics(titleFont).horizontalAdvance(title) + 4 * 24,
             qPrintable(QString::number(width)));
    QCOMPARE(shownDetails, details);
}

// ------------------------------------------------------------- words

void MainWindowTest::addOneEntry()
{
    MainWindow &w = makeWindow();
    m_dialogs->inputAnswers = {std::nullopt, QString(), QStringLiteral("Foo"), QStringLiteral("Foo"),
                               QStringLiteral("foo"), QStringLiteral("Foo "), QStringLiteral("  ")};
    for (int i = 0; i < 7; ++i)
        child<QPushButton>("PushButton2")->click();
    QCOMPARE(m_dialogs->inputs.size(), 7);
    QCOMPARE(m_dialogs->inputs.first().prompt, QStringLiteral("Enter word:"));
    QCOMPARE(m_dialogs->inputs.first().title, QStringLiteral("Brinmoor"));
    QCOMPARE(m_dialogs->inputs.first().defaultText, QString());
    QCOMPARE(m_dialogs->messages.size(), 0);
    QCOMPARE(w.wordList().texts(), QStringList({"Foo", "foo", "Foo ", "  "}));

    child<QPushButton>("PushButton13")->click();
    child<QPushButton>("PushButton13")->click();
    QCOMPARE(w.wordList().texts(),
             QStringList({"Foo", "foo", "Foo ", "  ", "storm", "1", "2", "storm", "1", "2"}));
    QCOMPARE(w.countOptions().options().excludeWords, w.wordList().texts());
    child<QPushButton>("PushButton8")->click();
    QCOMPARE(w.wordList().count(), 0);
    QCOMPARE(w.countOptions().options().excludeWords, QStringList());

    // The words are stored joined with commas: a word holding one would come
    // back as several, so it is refused with a box and nothing is added.
    m_dialogs->inputAnswers = {QStringLiteral("1,000")};
    child<QPushButton>("PushButton2")->click();
    QCOMPARE(w.wordList().count(), 0);
    QCOMPARE(m_dialogs->texts(),
             QStringList{QStringLiteral("\"1,000\" was not added: the exclusion words are kept separated by commas, "
                                        "so a word cannot contain a comma.")});
    QCOMPARE(m_dialogs->messages.first().title, w.applicationTitle());
    QCOMPARE(m_dialogs->messages.first().icon, MessageIcon::None);
}

void MainWindowTest::removalIsBlockedWhileBusyButAddingIsNot()
{
    MainWindow &w = makeWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *view = child<QTreeView>("ListView2");
    child<QPushButton>("PushButton13")->click();   // storm, 1, 2
    const auto select = [&](int row) { view->setCurrentIndex(w.wordList().index(row)); };

    {
        app::BusyState::Lease busy = w.busy().acquire();
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        select(1);
        child<QPushButton>("PushButton7")->click();
        QTest::keyClick(view, Qt::Key_Delete);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(w.wordList().index(0)).center());
        QTest::qWait(20);
        QCOMPARE(w.wordList().count(), 3);
        m_dialogs->inputAnswers = {QStringLiteral("new")};
        child<QPushButton>("PushButton2")->click();
        child<QPushButton>("PushButton13")->click();
        QCOMPARE(w.wordList().count(), 7);
        child<QPushButton>("PushButton8")->click();
        QCOMPARE(w.wordList().count(), 0);
        child<QPushButton>("PushButton13")->click();
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    select(1);
    child<QPushButton>("PushButton7")->click();
    QCOMPARE(w.wordList().texts(), QStringList({"storm", "2"}));
    select(1);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(w.wordList().texts(), QStringList({"storm"}));
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(w.wordList().texts(), QStringList({"storm"}));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(w.wordList().index(0)).center());
    QTRY_COMPARE(w.wordList().count(), 0);
    QCOMPARE(m_dialogs->messages.size(), 0);
}

void MainWindowTest::deleteWithoutSelectionIsReported()
{
    MainWindow &w = makeWindow();
    child<QPushButton>("PushButton7")->click();   // empty list: nothing
    QCOMPARE(m_dialogs->messages.size(), 0);
    child<QPushButton>("PushButton13")->click();
    child<QPushButton>("PushButton7")->click();
    QCOMPARE(m_dialogs->texts(),
             QStringList{reportText(QStringLiteral("No entry is selected."), location::DeleteSelectedEntry, 100)});
    QCOMPARE(w.wordList().count(), 3);
    // The gestures without a report of their own remove nothing either.
    QTest::keyClick(child<QTreeView>("ListView2"), Qt::Key_Delete);
    QCOMPARE(w.wordList().count(), 3);
    QCOMPARE(m_dialogs->messages.size(), 1);
}

void MainWindowTest::countOptionsWriteTheirKeys()
{
    MainWindow &w = makeWindow();
    w.results().append({QStringLiteral("row")}, true);
    child<QCheckBox>("Check3")->click();
    QCOMPARE(stored(settings::ExcludeBlank), QStringLiteral("1"));
    QVERIFY(w.countOptions().options().excludeBlank);
    QCOMPARE(w.results().count(), 1);
    child<QCheckBox>("Check3")->click();
    QCOMPARE(stored(settings::ExcludeBlank), QStringLiteral("0"));
    QVERIFY(!w.countOptions().options().excludeBlank);

    child<QRadioButton>("Option2")->click();
    QCOMPARE(w.results().count(), 0);
    QCOMPARE(stored(settings::Option1), QStringLiteral("False"));
    QCOMPARE(stored(settings::Option2), QStringLiteral("True"));
    w.results().append({QStringLiteral("row")}, true);
    child<QRadioButton>("Option1")->click();
    QCOMPARE(w.results().count(), 0);
    QCOMPARE(stored(settings::Option1), QStringLiteral("True"));
    QCOMPARE(stored(settings::Option2), QStringLiteral("False"));
}

void MainWindowTest::closingSavesTheWordsAndStartUpRestoresThem()
{
    MainWindow &w = makeWindow();
    w.wordList().append({QStringLiteral("a,b"), QString(), QStringLiteral(" c ")});
    // Written at once, so a program killed now loses nothing.
    QCOMPARE(stored(settings::ExcludeWords), QStringLiteral("a,b,, c "));
    w.wordList().removeAt(2);
    QCOMPARE(stored(settings::ExcludeWords), QStringLiteral("a,b,"));
    w.wordList().add(QStringLiteral(" c "));
    w.close();
    QCOMPARE(stored(settings::ExcludeWords), QStringLiteral("a,b,, c "));
    // The comma form splits the first word in two on the way back.
    MainWindow &again = makeWindow();
    QCOMPARE(again.wordList().texts(), QStringList({"a", "b", "", " c "}));
    again.wordList().clear();
    again.close();
    QCOMPARE(stored(settings::ExcludeWords), QString());
    QCOMPARE(makeWindow().wordList().count(), 0);
    QCOMPARE(m_dialogs->messages.size(), 0);

    // Words written by hand come back exactly, blanks and empty ones too,
    // and are saved again the same.
    m_settings.reset();
    const QString file = writeFile(QStringLiteral("Hand.conf"), "[Brinmoor]\nExclude%20Words=storm, x ,,y\n");
    m_settings = std::make_unique<SettingsStore>(file);
    MainWindow &hand = makeWindow();
    QCOMPARE(hand.wordList().texts(), QStringList({"storm", " x ", "", "y"}));
    hand.close();
    QCOMPARE(stored(settings::ExcludeWords), QStringLiteral("storm, x ,,y"));
}

void MainWindowTest::twoCopiesOpenAtOnceKeepEachOthersWords()
{
    const QString file = writeFile(QStringLiteral("Shared.conf"), "[Brinmoor]\nExclude%20Words=a,b,d\n");
    m_settings = std::make_unique<SettingsStore>(file);
    MainWindow &first = makeWindow();
    // The second copy: a window of its own on a store of its own, same file.
    SettingsStore secondStore(file);
    app::WindowServices s = services();
    s.settings = &secondStore;
    auto second = std::make_unique<MainWindow>(std::move(s));
    second->startUp();

    first.wordList().add(QStringLiteral("c"));        // added here...
    second->wordList().removeAt(0);                   // ...while "a" goes there
    second->wordList().add(QStringLiteral("e"));
    first.wordList().removeAt(2);                     // and "d" here
    second->close();
    first.close();
    second.reset();
    QCOMPARE(SettingsStore(file).read(QLatin1String(settings::ExcludeWords), {}), QStringLiteral("b,c,e"));
    QCOMPARE(m_dialogs->messages.size(), 0);
}

// ------------------------------------------------------------- the run

void MainWindowTest::emptyFileListSaysNoFilesAdded()
{
    MainWindow &w = makeWindow();
    w.results().append({QStringLiteral("old")}, true);
    child<QPushButton>("PushButton12")->click();
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(m_dialogs->messages.first().text, QStringLiteral("No files added."));
    QCOMPARE(m_dialogs->messages.first().title, QStringLiteral("Brinmoor"));
    QCOMPARE(m_dialogs->messages.first().icon, MessageIcon::None);
    QCOMPARE(m_dialogs->messages.first().buttons, MessageButtons::Ok);
    QVERIFY(!w.isCounting());
    QCOMPARE(w.results().texts(), QStringList{"old"});
    QVERIFY(!w.busy().isBusy());
}

void MainWindowTest::wholeRunInBothModes()
{
    MainWindow &w = makeWindow();
    const QString one = writeFile(QStringLiteral("one.txt"), "a\r\nb\r\n\r\n");
    const QString two = writeFile(QStringLiteral("two.txt"), "storm here\nx\n");
    const QString empty = writeFile(QStringLiteral("empty.txt"), "");
    w.fileList().append({one, two, one});
    QSignalSpy finished(&w, &MainWindow::countingFinished);

    child<QRadioButton>("Option2")->click();
    child<QPushButton>("PushButton12")->click();
    QVERIFY(w.isCounting());
    QVERIFY(w.busy().isBusy());
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_dialogs->texts(), QStringList{"Done."});
    QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("Brinmoor"));
    QVERIFY(!w.isCounting());
    QVERIFY(!w.busy().isBusy());
    const QStringList separate = w.results().texts();
    QCOMPARE(separate, QStringList({QStringLiteral("3 lines - ") + one, QStringLiteral("2 lines - ") + two,
                                    QStringLiteral("3 lines - ") + one}));
    for (int i = 0; i < w.results().count(); ++i)
        QVERIFY(w.results().isChecked(i));
    auto *bar = child<app::CaptionProgressBar>("ProgressBar1");
    QCOMPARE(bar->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(bar->value(), 0);

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QDir().mkpath(QStringLiteral(BRINMOOR_ARTIFACTS_DIR));
    QVERIFY(w.grab().save(QStringLiteral(BRINMOOR_ARTIFACTS_DIR "/main-window-after-run.png")));

    child<QCheckBox>("Check3")->click();
    w.wordList().add(QStringLiteral("STORM"));
    child<QRadioButton>("Option1")->click();
    w.fileList().add(empty);
    child<QPushButton>("PushButton12")->click();
    QVERIFY(finished.wait(10000));
    QCOMPARE(w.results().texts(), QStringList{"Total Lines Counted For All Files: 5"});
    QVERIFY(w.results().isChecked(0));
    QCOMPARE(m_dialogs->texts(), QStringList({"Done.", "Done."}));
}

void MainWindowTest::neitherModeClearsAndSaysDone()
{
    m_settings->write(QLatin1String(settings::Option1), QStringLiteral("False"));
    m_settings->write(QLatin1String(settings::Option2), QStringLiteral("False"));
    MainWindow &w = makeWindow();
    w.fileList().add(writeFile(QStringLiteral("one.txt"), "a\n"));
    w.results().add(QStringLiteral("old"));
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    child<QPushButton>("PushButton12")->click();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(w.results().count(), 0);
    QCOMPARE(m_dialogs->texts(), QStringList{"Done."});
    QVERIFY(!w.isCounting());
}

void MainWindowTest::duringARun()
{
    // The report of the missing file opens while the run goes on: that is
    // where the user acts in the middle of it.
    MainWindow &w = makeWindow();
    const QString first = writeFile(QStringLiteral("first.txt"), "1\n2\n");
    const QString missing = QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("missing.txt")));
    // Long and listed many times: the run still works when the report
    // comes, which never holds it up.
    const QString later = writeFile(QStringLiteral("later.txt"), QByteArray("1\n\n3\n").repeated(1 << 16));
    w.fileList().append(QStringList{first, missing} + QStringList(500, later));
    child<QRadioButton>("Option2")->click();
    QSignalSpy finished(&w, &MainWindow::countingFinished);

    bool acted = false;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &box) {
        if (box.title != QLatin1String("Application Error") || acted)
            return;
        acted = true;
        QVERIFY(w.isCounting());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        child<QPushButton>("PushButton12")->click();   // a second press does nothing
        child<QCheckBox>("Check3")->click();
        w.wordList().add(QStringLiteral("3"));
        child<QRadioButton>("Option2")->click();        // empties the list; the run goes on
        w.fileList().add(first);                        // not part of the running set
    };
    child<QPushButton>("PushButton12")->click();
    QVERIFY(finished.wait(60000));
    QVERIFY(acted);

    QCOMPARE(m_dialogs->messages.size(), 2);
    const QString report = m_dialogs->messages[0].text;
    QVERIFY2(report.endsWith(QStringLiteral("\r\n") + QLatin1String(location::StartCounting)
                             + QStringLiteral("at line 108\r\rPlease email screenshot of this message to ")
                             + supportAddress()),
             qPrintable(report));
    QCOMPARE(m_dialogs->messages[1].text, QStringLiteral("Done."));
    // The rows before the mode click are gone, later rows were appended.
    const QStringList rows = w.results().texts();
    QVERIFY(!rows.isEmpty());
    QVERIFY(!rows.contains(QStringLiteral("2 lines - ") + first));
    QVERIFY(rows.last().endsWith(QStringLiteral(" lines - ") + later));
    QCOMPARE(w.countOptions().options(), (counting::CountOptions{.excludeBlank = true, .excludeWords = {"3"}}));
    QVERIFY(!w.isCounting());
}

void MainWindowTest::stopEndsARunOrAScan_data()
{
    QTest::addColumn<bool>("scan");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("run, stop button") << false << false;
    QTest::newRow("run, Esc") << false << true;
    QTest::newRow("folder scan, stop button") << true << false;
}

void MainWindowTest::stopEndsARunOrAScan()
{
    QFETCH(bool, scan);
    QFETCH(bool, byEscape);
    MainWindow &w = makeWindow();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // Without a window manager the application may still hold the window of
    // an earlier test as its active one; the shortcut goes to the active one.
    QApplication::setActiveWindow(&w);
    auto *stop = child<QPushButton>("StopButton");
    QVERIFY(!stop->isVisible());
    const int Files = scan ? 400 : 2000;
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    if (scan) {
        for (int i = 0; i < Files; ++i)
            writeFile(QStringLiteral("tree/%1/%2/f.txt").arg(i % 40).arg(i));
        m_dialogs->inputAnswers = {QStringLiteral("txt")};
        m_fileDialogs->folders = {m_dir->filePath(QStringLiteral("tree"))};
        child<QPushButton>("PushButton5")->click();
        // A walk this small may end before the control shows; stop it at once.
        stop->click();
    } else {
        const QString big = writeFile(QStringLiteral("big.txt"), QByteArray(1 << 20, '\n'));
        w.fileList().append(QStringList(Files, big));
        child<QRadioButton>("Option2")->click();
        child<QPushButton>("PushButton12")->click();
        // Stopped in the middle: at the first progress.
        bool visible = false;
        QMetaObject::Connection pressed = connect(&w.progressBar(), &QProgressBar::valueChanged, this, [&] {
            disconnect(pressed);
            visible = stop->isVisible();
            if (byEscape)
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                stop->click();
        });
        QTRY_VERIFY(!w.isCounting());
        QVERIFY(visible);
    }
    QTRY_VERIFY(!w.busy().isBusy());
    QTRY_VERIFY(!stop->isVisible());
    const QStringList rows = scan ? w.fileList().texts() : w.results().texts();
    QVERIFY2(rows.size() < Files, qPrintable(QString::number(rows.size())));
    if (!scan) {
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(!w.isCounting());
        for (const QString &row : rows)
            QVERIFY(row.endsWith(QStringLiteral(" lines - ") + w.fileList().text(0)));
        QCOMPARE(child<app::CaptionProgressBar>("ProgressBar1")->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(child<app::CaptionProgressBar>("ProgressBar1")->value(), 0);
    }
    QTest::qWait(50);   // nothing of the stopped work arrives later
    QCOMPARE(scan ? w.fileList().texts() : w.results().texts(), rows);
    QCOMPARE(m_dialogs->messages.size(), 0);   // no "Done."
}

void MainWindowTest::failuresNameTheFileAndAreGathered()
{
    MainWindow &w = makeWindow();
    QStringList missing;
    for (int i = 0; i < 40; ++i)
        missing.append(QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("gone%1.txt").arg(i))));
    const QString real = writeFile(QStringLiteral("real.txt"), "a\n");
    w.fileList().append(missing);
    w.fileList().add(real);
    child<QRadioButton>("Option2")->click();
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    // The run comes to its end while the first box is still open.
    bool endedUnderTheBox = false;
    m_dialogs->onMessage = [&](const ScriptedDialogs::Message &box) {
        if (m_dialogs->messages.size() == 1 && box.title == QLatin1String("Application Error")) {
            QTRY_VERIFY(!w.busy().isBusy());
            endedUnderTheBox = w.results().count() == 1;
        }
    };
    child<QPushButton>("PushButton12")->click();
    QVERIFY(finished.wait(10000));
    QVERIFY(endedUnderTheBox);

    const QString reason = QStringLiteral(": No such file or directory");
    QCOMPARE(m_dialogs->texts(), QStringList({
        reportText(missing.first() + reason, location::StartCounting, 108),
        reportText(QStringLiteral("39 more files could not be counted."), location::StartCounting, 108),
        QStringLiteral("Done."),
    }));
    QCOMPARE(m_dialogs->messages[1].title, QStringLiteral("Application Error"));
    QCOMPARE(m_dialogs->messages[1].icon, MessageIcon::Warning);
    const QStringList details = m_dialogs->messages[1].details.split(QLatin1Char('\n'));
    QCOMPARE(details.size(), 39);
    for (int i = 0; i < 39; ++i)
        QCOMPARE(details[i], missing[i + 1] + reason + QStringLiteral(" (") + QLatin1String(location::StartCounting)
                                 + QStringLiteral("at line 108)"));
    QCOMPARE(w.results().texts(), QStringList{QStringLiteral("1 lines - ") + real});
}

void MainWindowTest::stopStaysWithinReachBehindAFailureBox()
{
    WidgetDialogs boxes;
    app::WindowServices s = services();
    s.dialogs = &boxes;
    MainWindow &w = makeWindowWith(std::move(s));
    const auto closeWindowFirst = qScopeGuard([this] { m_window.reset(); });
    boxes.setParent(&w);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QApplication::setActiveWindow(&w);
    const QString missing = QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("missing.txt")));
    const QString big = writeFile(QStringLiteral("big.txt"), QByteArray(1 << 20, '\n'));
    w.fileList().append(QStringList{missing} + QStringList(3000, big));
    child<QRadioButton>("Option2")->click();
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    child<QPushButton>("PushButton12")->click();

    const auto openBox = [] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible())
                return box;
        }
        return static_cast<QMessageBox *>(nullptr);
    };
    QTRY_VERIFY(openBox());
    QMessageBox *box = openBox();
    QVERIFY(box->text().startsWith(missing));
    // The run goes on behind it, and nothing keeps the user from Stop.
    QVERIFY(w.busy().isBusy());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    auto *stop = child<QPushButton>("StopButton");
    QTRY_VERIFY(stop->isVisible());
    QTest::mouseClick(stop, Qt::LeftButton);
    QTRY_VERIFY(!w.busy().isBusy());
    QVERIFY(w.results().count() < 3000);
    QVERIFY(finished.isEmpty());   // the run's end waits for its box
    box->accept();
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!openBox());   // stopped: no "Done."
}

// Each designer-named button starts its own command, once: what the command
// asks or tells first, and the lists it leaves (files, words, results).
void MainWindowTest::buttonsStartTheirCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QStringList>("seen");
    const auto box = [](const char *text) {
        return QStringLiteral("box:") + QString::fromLatin1(text).section('\r', 0, 0);
    };
    const QString unchanged = QStringLiteral("lists 0 1 1");
    QTest::newRow("Add File(s)") << "PushButton1" << false
                                 << QStringList{QStringLiteral("files:") + filelist::AddFilesTitle, unchanged};
    QTest::newRow("Add All File(s) In Folder")
        << "PushButton5" << false << QStringList{QStringLiteral("input:") + filelist::ExtensionPrompt, unchanged};
    QTest::newRow("Clear List (files)") << "PushButton3" << true << QStringList{unchanged};
    QTest::newRow("Load Sample/Example Files (files)")
        << "PushButton11" << false << QStringList{box(filelist::OpenSampleFolderQuestion), unchanged};
    QTest::newRow("Start Counting") << "PushButton12" << false << QStringList{box("No files added."), unchanged};
    QTest::newRow("Save Results As Text File")
        << "PushButton9" << false
        << QStringList{QStringLiteral("save:") + exports::texts::SaveDialogTitle, unchanged};
    QTest::newRow("Save Results As Excel File")
        << "PushButton10" << false
        << QStringList{box(exports::texts::SpreadsheetMissingForProgram),
                       box(exports::texts::SpreadsheetMissingForFeature), unchanged};
    QTest::newRow("Clear List (results)") << "PushButton14" << false << QStringList{"lists 0 1 0"};
    QTest::newRow("Add One Entry") << "PushButton2" << false << QStringList{"input:Enter word:", unchanged};
    QTest::newRow("Delete Selected Entry")
        << "PushButton7" << false << QStringList{box("No entry is selected."), unchanged};
    QTest::newRow("Clear List (words)") << "PushButton8" << false << QStringList{"lists 0 0 1"};
    QTest::newRow("Load Sample/Example Files (words)") << "PushButton13" << false << QStringList{"lists 0 4 1"};
}

void MainWindowTest::buttonsStartTheirCommands()
{
    QFETCH(QString, button);
    QFETCH(bool, withFile);
    QFETCH(QStringList, seen);
    app::WindowServices s = services();
    s.results.findSpreadsheet = [] { return std::optional<DesktopApplication>(); };
    MainWindow &w = makeWindowWith(std::move(s));
    if (withFile)
        w.fileList().add(writeFile(QStringLiteral("one.txt")));
    w.wordList().add(QStringLiteral("w"));
    w.results().append({QStringLiteral("1 lines - r")}, false);
    m_dialogs->messages.clear();
    child<QPushButton>(button.toLatin1().constData())->click();
    // Some commands answer on a later turn of the event loop (the desktop's
    // spreadsheet program is asked on a worker thread).
    QTRY_VERIFY(!w.busy().isBusy());
    QStringList events;
    for (const auto &request : std::as_const(m_fileDialogs->fileRequests))
        events << QStringLiteral("files:") + request.title;
    for (const auto &request : std::as_const(m_fileDialogs->saveRequests))
        events << QStringLiteral("save:") + request.title;
    for (const auto &input : std::as_const(m_dialogs->inputs))
        events << QStringLiteral("input:") + input.prompt;
    for (const auto &message : std::as_const(m_dialogs->messages))
        events << QStringLiteral("box:") + message.text.section('\r', 0, 0);
    events << QStringLiteral("lists %1 %2 %3")
                  .arg(w.fileList().count())
                  .arg(w.wordList().count())
                  .arg(w.results().count());
    QCOMPARE(events, seen);
}

void MainWindowTest::keysStartTheirCommands_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("button");
    QTest::newRow("Ctrl+Return") << QKeySequence(Qt::CTRL | Qt::Key_Return) << "PushButton12";
    QTest::newRow("F5") << QKeySequence(Qt::Key_F5) << "PushButton12";
    QTest::newRow("Ctrl+O") << QKeySequence(Qt::CTRL | Qt::Key_O) << "PushButton1";
    QTest::newRow("Ctrl+S") << QKeySequence(Qt::CTRL | Qt::Key_S) << "PushButton9";
    QTest::newRow("Ctrl+Shift+C") << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C) << "PushButton18";
}

void MainWindowTest::keysStartTheirCommands()
{
    QFETCH(QKeySequence, key);
    QFETCH(QString, button);
    MainWindow &w = makeWindow();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QApplication::setActiveWindow(&w);
    auto *target = w.findChild<QPushButton *>(button);
    QVERIFY(target->toolTip().contains(key.toString(QKeySequence::NativeText)));
    QSignalSpy clicked(target, &QPushButton::clicked);
    // Wherever the focus is: on a list, too.
    w.fileView()->setFocus();
    QTest::keySequence(w.fileView(), key);
    QCOMPARE(clicked.size(), 1);
}

void MainWindowTest::anEmptyListShowsWhereTheFocusIs()
{
    MainWindow &w = makeWindow();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QApplication::setActiveWindow(&w);
    auto *mark = w.findChild<QWidget *>(QStringLiteral("ListView2FocusMark"));
    QVERIFY(mark);
    QVERIFY(!mark->isVisible());
    w.wordView()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(mark->isVisible());
    QCOMPARE(mark->geometry(), w.wordView()->viewport()->rect());
    // A row carries the focus rectangle itself.
    w.wordList().add(QStringLiteral("x"));
    QVERIFY(!mark->isVisible());
    w.wordList().clear();
    QVERIFY(mark->isVisible());
    w.fileView()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!mark->isVisible());
    QVERIFY(w.findChild<QWidget *>(QStringLiteral("ListView1FocusMark"))->isVisible());
}

void MainWindowTest::closingDuringARunCancelsIt()
{
    MainWindow &w = makeWindow();
    QStringList many;
    const QString big = writeFile(QStringLiteral("big.txt"), QByteArray(1 << 20, '\n'));
    for (int i = 0; i < 200; ++i)
        many.append(big);
    w.fileList().append(many);
    w.wordList().add(QStringLiteral("kept"));
    QSignalSpy finished(&w, &MainWindow::countingFinished);
    child<QPushButton>("PushButton12")->click();
    w.close();
    QCOMPARE(finished.size(), 1);
    QVERIFY(!w.isCounting());
    QVERIFY(!w.busy().isBusy());
    QCOMPARE(m_dialogs->messages.size(), 0);   // no "Done." for a cancelled run
    QCOMPARE(stored(settings::ExcludeWords), QStringLiteral("kept"));
    QTest::qWait(50);   // nothing of the cancelled run arrives later
    QCOMPARE(m_dialogs->messages.size(), 0);
}

int main(int argc, char *argv[])
{
    // Never the user's settings: QSettings reads this folder once.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
