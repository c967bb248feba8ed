#include "MainWindow.h"
#include "SettingsStore.h"
#include "WindowFixture.h"
#include "WindowPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWindow>

using namespace brinmoor;
using app::MainWindow;

// Where the window opens, what it keeps between starts, and whether its
// texts fit whatever font stands in for the design font.
class WindowPlacementTest : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(setUpFixture()); }
    void cleanup() { tearDownFixture(); }

    void frameStaysInsideTheAvailableArea_data();
    void frameStaysInsideTheAvailableArea();
    void sizeAndPlaceAreKeptBetweenStarts();
    void framedByAWindowManager();
    void everyTextFitsItsControl();
};

void WindowPlacementTest::frameStaysInsideTheAvailableArea_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QRect>("client");
    QTest::addColumn<QRect>("placed");
    const QSize design(1064, 386);
    // 1366 x 768 at 200 % with a 32-pixel top panel, a 12-pixel title bar.
    QTest::newRow("200 %, panel, design size too big")
        << QRect(0, 16, 683, 368) << QMargins(1, 12, 1, 1) << QRect(QPoint(-190, 0), design)
        << QRect(1, 28, 681, 355);
    QTest::newRow("fits where it is") << QRect(0, 0, 1600, 1000) << QMargins(2, 20, 2, 2)
                                      << QRect(QPoint(100, 100), design) << QRect(QPoint(100, 100), design);
    QTest::newRow("off the right and bottom edges")
        << QRect(0, 0, 1600, 1000) << QMargins(2, 20, 2, 2) << QRect(QPoint(1000, 900), design)
        << QRect(QPoint(1600 - 2 - 1064, 1000 - 2 - 386), design);
    QTest::newRow("title bar above the panel") << QRect(0, 32, 1600, 968) << QMargins(2, 20, 2, 2)
                                               << QRect(QPoint(100, 40), design) << QRect(QPoint(100, 52), design);
    // Smaller than what the controls need: the title bar stays reachable.
    QTest::newRow("screen below the minimum")
        << QRect(0, 32, 600, 200) << QMargins(2, 20, 2, 2) << QRect(QPoint(50, 60), design)
        << QRect(2, 52, 638, 231);
}

void WindowPlacementTest::frameStaysInsideTheAvailableArea()
{
    QFETCH(QRect, available);
    QFETCH(QMargins, frame);
    QFETCH(QRect, client);
    QFETCH(QRect, placed);
    QCOMPARE(app::placeInside(available, frame, client, QSize(638, 231)), placed);
}

void WindowPlacementTest::sizeAndPlaceAreKeptBetweenStarts()
{
    // Closed at a place of the user's, opened there again.
    MainWindow *w = &makeWindowWith(services());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QRect available = w->screen()->availableGeometry();
    const QRect chosen(available.topLeft() + QPoint(40, 60), QSize(800, 300));
    w->setGeometry(chosen);
    QTRY_COMPARE(w->geometry(), chosen);
    w->close();
    QCOMPARE(stored(settings::WindowPlacement), app::placementText(chosen));
    QCOMPARE(stored(settings::WindowMaximized), QStringLiteral("False"));

    const QString offScreen = app::placementText(QRect(available.bottomRight() + QPoint(50, 50), QSize(800, 300)));
    const struct
    {
        QString placement;
        QString maximised;
        bool restored;
    } starts[] = {
        {app::placementText(chosen), QStringLiteral("False"), true},
        {app::placementText(chosen), QStringLiteral("True"), true},
        {offScreen, QStringLiteral("False"), false},
        // Smaller than the controls need, damaged, empty.
        {app::placementText(QRect(available.topLeft(), QSize(100, 50))), QString(), false},
        {QStringLiteral("40 60 800"), QString(), false},
        {QString(), QString(), false},
    };
    for (const auto &start : starts) {
        m_settings->write(QLatin1String(settings::WindowPlacement), start.placement);
        m_settings->write(QLatin1String(settings::WindowMaximized), start.maximised);
        w = &makeWindowWith(services());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QString row = start.placement + QLatin1Char('/') + start.maximised;
        QVERIFY2(bool(w->windowState() & Qt::WindowMaximized) == (start.maximised == QLatin1String("True")),
                 qPrintable(row));
        if (start.restored) {
            QVERIFY2(w->normalGeometry() == chosen, qPrintable(row));
        } else {
            // Where a new window opens: the design size, in the middle.
            QVERIFY2(available.contains(w->frameGeometry()), qPrintable(row));
            QVERIFY2(w->size() == QSize(1064, 386).boundedTo(available.size()), qPrintable(row));
            QVERIFY2(qAbs(w->geometry().center().x() - available.center().x()) <= 1, qPrintable(row));
        }
    }
}

namespace {

// What an X tool prints.
QString xOutput(const QStringList &command)
{
    QProcess tool;
    tool.start(command.first(), command.mid(1));
    tool.waitForFinished();
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

void WindowPlacementTest::framedByAWindowManager()
{
    // Run by the framed_* tests, each on an X server of its own size and a
    // scale of its own, with a window manager and a 32-pixel top panel.
    if (qEnvironmentVariableIsEmpty("BRINMOOR_UNDER_WINDOW_MANAGER"))
        QSKIP("needs a window manager of its own (the framed_* tests)");

    // The panel: a dock that reserves the screen's top 32 device pixels.
    QWidget panel;
    panel.setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    panel.setWindowFlags(Qt::FramelessWindowHint);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int panelHeight = qRound(32 / screen->devicePixelRatio());
    panel.setGeometry(0, 0, screen->geometry().width(), panelHeight);
    const auto reserveTop = [&] {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), QString::number(panel.winId()), QStringLiteral("-f"),
                     QStringLiteral("_NET_WM_STRUT"), QStringLiteral("32c"), QStringLiteral("-set"),
                     QStringLiteral("_NET_WM_STRUT"), QStringLiteral("0, 0, 32, 0")});
        return xprop.waitForFinished() && xprop.exitCode() == 0;
    };
    QVERIFY(reserveTop());
    panel.show();
    // Again now and then: a window manager still starting up (or slow on a
    // busy machine) may have mapped the panel without reading its strut.
    QElapsedTimer waited;
    waited.start();
    while (screen->availableGeometry().top() < panelHeight && waited.elapsed() < 20000) {
        QTest::qWait(250);
        QVERIFY(reserveTop());
    }
    if (screen->availableGeometry().top() < panelHeight)
        QSKIP("the window manager did not reserve the panel's strip in 20 s (a machine too busy?)");

    MainWindow &w = makeWindowWith(services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect available = screen->availableGeometry();
    const auto framed = [&] {
        const QMargins frame = w.windowHandle()->frameMargins();
        return frame.top() > 0 && available.contains(w.frameGeometry());
    };
    QTRY_VERIFY2(framed(), qPrintable(describe(w.frameGeometry()) + QStringLiteral(" in ") + describe(available)));
    // And there it stays.
    QTest::qWait(300);
    QVERIFY2(framed(), qPrintable(describe(w.frameGeometry())));
    // In the X server's own pixels too, where a fractional scale rounds.
    const QString frameExtents = xOutput({QStringLiteral("xprop"), QStringLiteral("-id"), QString::number(w.winId()),
                                          QStringLiteral("_NET_FRAME_EXTENTS")});
    const QString client = xOutput({QStringLiteral("xwininfo"), QStringLiteral("-id"), QString::number(w.winId())});
    const QString root = xOutput({QStringLiteral("xwininfo"), QStringLiteral("-root")});
    const QStringList extents = frameExtents.section(QLatin1Char('='), 1).split(QLatin1Char(','));
    QCOMPARE(extents.size(), 4);   // left, right, top, bottom
    const auto field = [](const QString &info, const char *name) {
        const QRegularExpression line(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return line.match(info).captured(1).toInt();
    };
    const QRect device(field(client, "Absolute upper-left X"), field(client, "Absolute upper-left Y"),
                       field(client, "Width"), field(client, "Height"));
    const QRect deviceFrame = device.marginsAdded(QMargins(extents[0].trimmed().toInt(), extents[2].trimmed().toInt(),
                                                           extents[1].trimmed().toInt(), extents[3].trimmed().toInt()));
    const QRect deviceAvailable(0, 32, field(root, "Width"), field(root, "Height") - 32);
    QVERIFY2(deviceAvailable.contains(deviceFrame),
             qPrintable(describe(deviceFrame) + QStringLiteral(", ") + frameExtents.trimmed()));
    // The title bar lies below the panel, where it can be grabbed.
    QVERIFY(w.frameGeometry().top() >= panelHeight);
}

void WindowPlacementTest::everyTextFitsItsControl()
{
    // Also run with a font setting that stands DejaVu Sans in for the design
    // font, at 100 % and 200 % (the any_font_* tests).
    MainWindow &w = makeWindowWith(services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QByteArray family = qgetenv("BRINMOOR_EXPECT_FONT");
    if (!family.isEmpty())
        QCOMPARE(QFontInfo(w.button("PushButton12")->font()).family(), QString::fromUtf8(family));

    const auto everyTextFits = [&](const QString &size) {
        for (QAbstractButton *b : w.findChildren<QAbstractButton *>()) {
            if (!b->isVisibleTo(&w) || b->text().isEmpty())
                continue;
            const int needs = qMax(b->sizeHint().width(), b->fontMetrics().horizontalAdvance(b->text()));
            QVERIFY2(b->width() >= needs,
                     qPrintable(QStringLiteral("%1 %2: %3 < %4").arg(size, b->objectName()).arg(b->width()).arg(needs)));
            // Inside what holds it (the option frames place theirs by hand).
            QVERIFY2(b->parentWidget()->rect().contains(b->geometry()), qPrintable(size + b->objectName()));
        }
        for (QGroupBox *frame : w.findChildren<QGroupBox *>()) {
            const int needs = frame->fontMetrics().horizontalAdvance(frame->title());
            QVERIFY2(frame->width() >= frame->minimumSizeHint().width() && frame->width() > needs,
                     qPrintable(size + frame->objectName()));
        }
        for (QTreeView *view : w.findChildren<QTreeView *>()) {
            QHeaderView *header = view->header();
            const QString title = view->model()->headerData(0, Qt::Horizontal).toString();
            const int needs = header->fontMetrics().horizontalAdvance(title);
            QVERIFY2(header->sectionSize(0) > needs,
                     qPrintable(QStringLiteral("%1 %2: %3 <= %4").arg(size, view->objectName())
                                    .arg(header->sectionSize(0)).arg(needs)));
        }
    };
    everyTextFits(QStringLiteral("design size"));
    w.resize(638, 231);
    QTRY_COMPARE(w.size(), QSize(638, 231));
    QTest::qWait(50);   // the button rows wrap a turn later
    everyTextFits(QStringLiteral("smallest size"));
}

int main(int argc, char *argv[])
{
    // Never the user's settings: QSettings reads this folder once.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    WindowPlacementTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowPlacementTest.moc"
