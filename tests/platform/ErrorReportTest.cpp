#include "ErrorReport.h"

#include <gtest/gtest.h>

using brinmoor::errorReportText;
using brinmoor::Failure;

TEST(ErrorReport, JoinsDescriptionLocationStepAndAddress)
{
    const Failure failure{QStringLiteral("Permission denied"), QString::fromLatin1(brinmoor::location::SaveTextFile), 112};
    EXPECT_EQ(errorReportText(failure, QStringLiteral("help@example.org")),
              QStringLiteral("Permission denied\r\nin Vantrel2021/08/31.Form1.PushButton9_Click at line 112"
                             "\r\rPlease email screenshot of this message to help@example.org"));
}

TEST(ErrorReport, EmptyDescriptionStartsWithTheLineBreakAndStepZeroIsPrinted)
{
    const Failure failure{QString(), QString::fromLatin1(brinmoor::location::FormLoad), 0};
    const QString text = errorReportText(failure, QStringLiteral("a@b"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("\r\nin Vantrel2021/08/31.Form1.Form_Load at line 0\r\r")));
}

TEST(ErrorReport, NegativeStepKeepsItsSignAndDefaultAddressIsSet)
{
    const Failure failure{QStringLiteral("x"), QString::fromLatin1(brinmoor::location::GetSubDirectories2016), -5};
    const QString text = errorReportText(failure);
    EXPECT_TRUE(text.contains(QStringLiteral("in Hestwick2021/08/31.AddFolder.GetSubDirectories2016 at line -5\r\r")));
    EXPECT_FALSE(brinmoor::supportAddress().isEmpty());
    EXPECT_TRUE(text.endsWith(brinmoor::supportAddress()));
}
