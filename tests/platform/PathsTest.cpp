#include "Paths.h"

#include <gtest/gtest.h>

using brinmoor::GetFileNameFromPath;

TEST(GetFileNameFromPath, TakesTheTextAfterTheLastSeparator)
{
    EXPECT_EQ(GetFileNameFromPath(QStringLiteral("/home/ann/Docs/notes.txt")), QStringLiteral("notes.txt"));
    EXPECT_EQ(GetFileNameFromPath(QStringLiteral("notes.txt")), QStringLiteral("notes.txt"));
    EXPECT_EQ(GetFileNameFromPath(QStringLiteral("/home/ann/Docs/")), QString());
    EXPECT_EQ(GetFileNameFromPath(QString()), QString());
    // A backslash is an ordinary character in a name here.
    EXPECT_EQ(GetFileNameFromPath(QStringLiteral("/tmp/a\\b.txt")), QStringLiteral("a\\b.txt"));
}
