#include "ErrorReporter.h"
#include "Procedure.h"
#include "ScriptedDialogs.h"

#include <QTest>

using namespace brinmoor;
using namespace brinmoor::app;

namespace {

struct RecordingSink final : FailureSink
{
    void report(const Failure &failure) override { failures.append(failure); }
    QList<Failure> failures;
};

// A helper without a report of its own: its failure belongs to the caller.
int helperThatFails(bool fail)
{
    if (fail)
        failStep(QStringLiteral("helper failed"));
    return 1;
}

} // namespace

class ProcedureTest : public QObject
{
    Q_OBJECT

private slots:
    // One guard around a command: a failure ends its body and is reported
    // once, with the step marked last; a step run on its own with its label
    // lets the command go on after it.
    void aFailureCarriesTheStepMarkedLast()
    {
        RecordingSink sink;
        Procedure p(sink, location::AddOneEntry);
        QStringList ran;
        int target = 5;
        QVERIFY(!p.run([&] {
            p.step(100);
            ran << "100";
            p.step(102);
            target = helperThatFails(true);
            ran << "rest of 102";
        }));
        QVERIFY(p.run(104, [&] { ran << "104"; }));
        QCOMPARE(ran, QStringList({"100", "104"}));
        QCOMPARE(target, 5);   // the failed assignment left its target alone
        const Failure expected{QStringLiteral("helper failed"), QString::fromLatin1(location::AddOneEntry), 102};
        QCOMPARE(sink.failures.size(), 1);
        QVERIFY(sink.failures.first() == expected);
    }

    void labelsInsideAStepAndBeforeTheFirstStep()
    {
        RecordingSink sink;
        Procedure p(sink, location::FormLoad);
        p.fail(QString());   // before any labelled step
        p.run(104, [&] {
            p.step(106);
            throw std::runtime_error("from the library");
        });
        QCOMPARE(sink.failures.size(), 2);
        QCOMPARE(sink.failures[0].step, 0);
        QCOMPARE(sink.failures[0].description, QString());
        QCOMPARE(sink.failures[1].step, 106);
        QCOMPARE(sink.failures[1].description, QStringLiteral("from the library"));
        QCOMPARE(p.failures(), 2);
    }

    void theReportBoxAndItsText()
    {
        ScriptedDialogs dialogs;
        ErrorReporter reporter(dialogs);
        reporter.report({QString(), QString::fromLatin1(location::SaveTextFile), 112});
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Application Error"));
        QCOMPARE(dialogs.messages[0].icon, MessageIcon::Warning);
        QCOMPARE(dialogs.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("\r\nin Vantrel2021/08/31.Form1.PushButton9_Click at line 112\r\r"
                                "Please email screenshot of this message to ")
                     + supportAddress());
    }

    void reportsArrivingWhileABoxIsOpenWaitTheirTurn()
    {
        ScriptedDialogs dialogs;
        ErrorReporter reporter(dialogs);
        QStringList order;
        dialogs.onMessage = [&](const ScriptedDialogs::Message &box) {
            order << box.text.section(QLatin1Char('\r'), 0, 0);
            if (order.size() == 1) {
                reporter.report({QStringLiteral("second"), {}, 1});
                reporter.report({QStringLiteral("third"), {}, 1});
                reporter.whenIdle([&] { order << QStringLiteral("idle"); });
                QCOMPARE(order.size(), 1);   // not shown inside the first box
                QVERIFY(reporter.isShowing());
            }
        };
        reporter.report({QStringLiteral("first"), {}, 1});
        QCOMPARE(order, QStringList({"first", "second", "third", "idle"}));
        QVERIFY(!reporter.isShowing());
        bool ranAtOnce = false;
        reporter.whenIdle([&] { ranAtOnce = true; });
        QVERIFY(ranAtOnce);
    }

    // A long command's boxes stay open without blocking: what comes later
    // waits until the user closes them, and a box closed at once (a
    // platform that must block) lets the queue go straight on.
    void gatheredBoxesBlockNothingYetStayInTurn()
    {
        struct HeldDialogs final : UserDialogs
        {
            MessageAnswer message(const QString &, const QString &text, MessageButtons, MessageIcon) override
            {
                shown << text.section(QLatin1Char('\r'), 0, 0);
                return MessageAnswer::Ok;
            }
            std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
            void notify(const QString &, const QString &text, const QString &, MessageIcon,
                        std::function<void()> closed) override
            {
                shown << text.section(QLatin1Char('\r'), 0, 0);
                open.append(std::move(closed));
            }
            QStringList shown;
            QList<std::function<void()>> open;
        } dialogs;
        ErrorReporter reporter(dialogs);
        const auto gathering = reporter.gather([](int more) { return QString::number(more) + " more"; },
                                               location::StartCounting, 108);
        gathering->report({QStringLiteral("first"), {}, 1});
        gathering->report({QStringLiteral("second"), {}, 1});
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.shown, QStringList{"first"});
        QVERIFY(reporter.isShowing());
        reporter.report({QStringLiteral("later"), {}, 1});
        bool idle = false;
        reporter.whenIdle([&] { idle = true; });
        gathering->finish();
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.shown, QStringList{"first"});
        QVERIFY(!idle);
        dialogs.open.takeFirst()();
        QCOMPARE(dialogs.shown, QStringList({"first", "later", "1 more"}));
        QVERIFY(!idle);
        dialogs.open.takeFirst()();
        QVERIFY(idle);
        QVERIFY(!reporter.isShowing());

        // The default box closes before notify returns.
        ScriptedDialogs scripted;
        ErrorReporter direct(scripted);
        const auto run = direct.gather([](int more) { return QString::number(more) + " more"; }, "", 1);
        run->report({QStringLiteral("a"), {}, 1});
        run->report({QStringLiteral("b"), {}, 1});
        run->finish();
        QCoreApplication::processEvents();
        QCOMPARE(scripted.messages.size(), 2);
        QVERIFY(!direct.isShowing());
    }

    // 200,000 failures and 3,000 unread folders: one box, the first
    // thousand of each named, the rest counted.
    void gatheredDetailsAreBounded()
    {
        ScriptedDialogs dialogs;
        ErrorReporter reporter(dialogs);
        const auto gathering = reporter.gather(
            [](int more) { return QString::number(more) + " more failures."; }, location::AddFolder, 116);
        for (int i = 0; i < 200000; ++i)
            gathering->report({QStringLiteral("/gone/%1").arg(i), QString::fromLatin1(location::AddFolder), 116});
        QStringList folders;
        for (int i = 0; i < 1000; ++i)
            folders.append(QStringLiteral("/shut/%1: Permission denied").arg(i));
        gathering->passedOver(3000, folders);
        gathering->finish();
        gathering->finish();   // told once
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[1].text.section(QLatin1String("\r\n"), 0, 0),
                 QStringLiteral("199999 more failures.\r3,000 folders could not be read and were passed over."));
        const QStringList details = dialogs.messages[1].details.split(QLatin1Char('\n'));
        QCOMPARE(details.size(), 2002);
        QCOMPARE(details[0], QStringLiteral("/gone/1 (") + QLatin1String(location::AddFolder) + "at line 116)");
        QCOMPARE(details[1000], QStringLiteral("... and 198,999 more, not listed."));
        QCOMPARE(details[1001], folders[0]);
        QCOMPARE(details[2001], QStringLiteral("... and 2,000 more folders, not listed."));

        // Only unread folders: their line alone, no first box.
        ScriptedDialogs quiet;
        ErrorReporter alone(quiet);
        const auto scan = alone.gather([](int) { return QString(); }, location::AddFolder, 116);
        scan->passedOver(1, {QStringLiteral("/shut: Permission denied")});
        scan->finish();
        QCoreApplication::processEvents();
        QCOMPARE(quiet.messages.size(), 1);
        QVERIFY(quiet.messages[0].text.startsWith(
            QStringLiteral("1 folder could not be read and was passed over.\r\n")));
        QCOMPARE(quiet.messages[0].details, QStringLiteral("/shut: Permission denied"));
    }
};

QTEST_GUILESS_MAIN(ProcedureTest)
#include "ProcedureTest.moc"
