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
    void aFailedStepIsReportedWithItsLabelAndTheNextStepRuns()
    {
        RecordingSink sink;
        Procedure p(sink, location::AddOneEntry);
        QStringList ran;
        int target = 5;
        QVERIFY(p.run(100, [&] { ran << "100"; }));
        QVERIFY(!p.run(102, [&] {
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
};

QTEST_GUILESS_MAIN(ProcedureTest)
#include "ProcedureTest.moc"
