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

using brinmoor::hasEscapedBytes;
using brinmoor::nativePath;
using brinmoor::pathFromNative;

TEST(NativePath, EveryByteStringSurvivesTheRoundTrip)
{
    const QByteArray awkward[] = {
        "",
        "plain.txt",
        "caf\xc3\xa9/\xe2\x82\xac/\xf0\x9f\x98\x80.txt", // 2-, 3- and 4-byte characters
        "bad\xffname.txt",
        "\x80\xbf",                   // continuation bytes with no lead
        "\xc3",                       // a lead at the end
        "\xc3(",                      // a lead before ASCII
        "\xe2\x82",                   // a sequence cut short
        "\xc0\xaf",                   // an overlong '/'
        "\xe0\x80\xaf",               // an overlong 3-byte form
        "\xed\xa0\x80\xed\xb0\x80",   // encoded surrogates (CESU-8)
        "\xed\xb2\x80",               // the encoded form of an escape itself
        "\xf4\x90\x80\x80",           // beyond U+10FFFF
        "\xf5\xf8\xfe\xff",           // bytes that never lead
        "\xf0\x9f\x98\x80\x80",       // a stray continuation after a valid one
        "\xef\xbb\xbf" "BOM.txt",     // a byte-order mark is kept as it is
    };
    for (const QByteArray &bytes : awkward)
        EXPECT_EQ(nativePath(pathFromNative(bytes)), bytes) << bytes.toHex(' ').constData();

    // Random strings, weighted towards the bytes that start and continue
    // sequences so that near-valid runs are common.
    quint32 seed = 20261208;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
    const unsigned char favourites[] = {0x80, 0xbf, 0xc2, 0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4, 0xa0, 0x9f, 0x8f};
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int length = int(next() % 12);
        for (int i = 0; i < length; ++i) {
            const quint32 pick = next();
            const unsigned char byte = pick % 3 == 0 ? favourites[(pick >> 4) % std::size(favourites)]
                                                     : (pick >> 4) % 255 + 1; // never NUL
            bytes.append(char(byte));
        }
        const QString decoded = pathFromNative(bytes);
        ASSERT_EQ(nativePath(decoded), bytes) << bytes.toHex(' ').constData();
        // Valid UTF-8 reads as the usual decoder reads it; anything else
        // holds an escaped byte.
        const QString usual = QString::fromUtf8(bytes);
        if (!bytes.contains("\xef\xbf\xbd")) {
            ASSERT_TRUE(usual.contains(QChar::ReplacementCharacter) ? hasEscapedBytes(decoded) : decoded == usual)
                << bytes.toHex(' ').constData();
        }
    }
}

TEST(NativePath, DecodesValidUtf8AsTextAndEscapesOnlyTheBadBytes)
{
    const QString valid = pathFromNative("caf\xc3\xa9 \xf0\x9f\x98\x80");
    EXPECT_EQ(valid, QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x98\x80"));
    EXPECT_FALSE(hasEscapedBytes(valid));

    const QString bad = pathFromNative("bad\xffname\xc3\xa9");
    EXPECT_EQ(bad, QStringLiteral("bad") + QChar(0xDCFF) + QStringLiteral("name") + QChar(0xE9));
    EXPECT_TRUE(hasEscapedBytes(bad));
    // A lone surrogate that did not come from a native name has no bytes:
    // it is written as the replacement character rather than dropped.
    EXPECT_EQ(nativePath(QString(QChar(0xD800))), QByteArray("\xef\xbf\xbd"));
}
