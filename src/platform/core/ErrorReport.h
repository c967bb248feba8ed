#pragma once

#include <QString>

namespace brinmoor {

// Where a failure happened: the fixed location string of the procedure that
// reports it. The texts are user-visible and support staff search for them,
// so they never change.
namespace location {
inline constexpr char FormLoad[] = "in Vantrel2021/08/31.Form1.Form_Load ";
inline constexpr char FormQueryUnload[] = "in Vantrel2021/08/31.Form1.Form_QueryUnload ";
inline constexpr char AddFiles[] = "in Vantrel2021/08/31.Form1.PushButton1_Click ";
inline constexpr char AddFolder[] = "in Vantrel2021/08/31.Form1.PushButton5_Click ";
inline constexpr char LoadSampleFiles[] = "in Vantrel2021/08/31.Form1.PushButton11_Click ";
inline constexpr char ClearFileList[] = "in Vantrel2021/08/31.Form1.PushButton3_Click ";
inline constexpr char StartCounting[] = "in Vantrel2021/08/31.Form1.PushButton12_Click ";
inline constexpr char CountLinesNumber[] = "in Vantrel2021/08/31.Form1.countLinesNumber ";
inline constexpr char AddOneEntry[] = "in Vantrel2021/08/31.Form1.PushButton2_Click ";
inline constexpr char DeleteSelectedEntry[] = "in Vantrel2021/08/31.Form1.PushButton7_Click ";
inline constexpr char ClearWords[] = "in Vantrel2021/08/31.Form1.PushButton8_Click ";
inline constexpr char LoadSampleWords[] = "in Vantrel2021/08/31.Form1.PushButton13_Click ";
inline constexpr char SaveTextFile[] = "in Vantrel2021/08/31.Form1.PushButton9_Click ";
inline constexpr char SaveListviewProperlySpaced[] = "in Vantrel2021/08/31.Main.SaveListviewProperlySpaced ";
inline constexpr char SaveExcelFile[] = "in Vantrel2021/08/31.Form1.PushButton10_Click ";
inline constexpr char CopyToClipboard[] = "in Vantrel2021/08/31.Form1.PushButton18_Click ";
inline constexpr char ClearResults[] = "in Vantrel2021/08/31.Form1.PushButton14_Click ";
inline constexpr char GetSubDirectories2016[] = "in Hestwick2021/08/31.AddFolder.GetSubDirectories2016 ";
} // namespace location

// One reported failure: what went wrong, in which procedure, at which step.
// A value, so that worker threads can hand failures to the GUI thread.
struct Failure
{
    QString description;
    QString location;
    int step = 0;

    bool operator==(const Failure &) const = default;
};

// The address the report asks users to write to (a build setting).
QString supportAddress();

// The error report's text: description, CR LF, location, "at line ", step,
// two lone CRs and the request to e-mail a screenshot.
QString errorReportText(const Failure &failure, const QString &address = supportAddress());

// Receives failures as they happen. The window shows each one in a box; the
// console program prints them; tests record them. Implementations say on
// which thread they may be called.
class FailureSink
{
public:
    virtual ~FailureSink() = default;
    virtual void report(const Failure &failure) = 0;
};

} // namespace brinmoor
