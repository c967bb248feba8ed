#include "Paths.h"

#include <QDir>

namespace brinmoor {

QChar pathSeparator()
{
    return QDir::separator();
}

QString GetFileNameFromPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(pathSeparator());
    return cut < 0 ? path : path.mid(cut + 1);
}

namespace {

// Byte b (0x80..0xFF) of an invalid sequence is kept as U+DC00 + b, that is
// U+DC80..U+DCFF. No valid UTF-8 decodes to a surrogate, so these never
// collide with a name's real characters.
constexpr char16_t escapeFirst = 0xDC80;
constexpr char16_t escapeLast = 0xDCFF;

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence at s[0] (at most `left` bytes
// are there) and its code point, or 0 when the bytes there are not one.
// Overlong forms, encoded surrogates and values beyond U+10FFFF are not.
int wellFormedSequence(const unsigned char *s, qsizetype left, char32_t &codePoint)
{
    const unsigned char lead = s[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || !isContinuation(s[1], low, high))
        return 0;
    for (int i = 2; i < length; ++i) {
        if (!isContinuation(s[i]))
            return 0;
    }
    codePoint = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i)
        codePoint = (codePoint << 6) | (s[i] & 0x3F);
    return length;
}

void appendUtf8(QByteArray &out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out.append(char(codePoint));
    } else if (codePoint < 0x800) {
        out.append(char(0xC0 | (codePoint >> 6)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.append(char(0xE0 | (codePoint >> 12)));
        out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.append(char(0xF0 | (codePoint >> 18)));
        out.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

bool isWellFormedUtf8(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype at = 0; at < bytes.size();) {
        if (s[at] < 0x80) {
            ++at;
            continue;
        }
        char32_t codePoint;
        const int length = wellFormedSequence(s + at, bytes.size() - at, codePoint);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

QString pathFromNative(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    QString text(n, Qt::Uninitialized); // never more characters than bytes
    QChar *out = text.data();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n;) {
        if (s[i] < 0x80) {
            out[written++] = QChar(s[i++]);
            continue;
        }
        char32_t codePoint = 0;
        if (const int length = wellFormedSequence(s + i, n - i, codePoint)) {
            if (codePoint >= 0x10000) {
                out[written++] = QChar(QChar::highSurrogate(codePoint));
                out[written++] = QChar(QChar::lowSurrogate(codePoint));
            } else {
                out[written++] = QChar(char16_t(codePoint));
            }
            i += length;
        } else {
            out[written++] = QChar(char16_t(0xDC00 + s[i++]));
        }
    }
    text.truncate(written);
    return text;
}

QByteArray nativePath(QStringView path)
{
    const qsizetype n = path.size();
    // Nearly every path is ASCII: one byte per code unit, written in place
    // (this runs for every file a run opens).
    QByteArray bytes(n, Qt::Uninitialized);
    char *out = bytes.data();
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char16_t c = path[i].unicode();
        if (c >= 0x80)
            break;
        out[i] = char(c);
    }
    if (i == n)
        return bytes;
    bytes.truncate(i);
    bytes.reserve(n * 3);
    for (; i < n; ++i) {
        const char16_t c = path[i].unicode();
        if (c < 0x80) {
            bytes.append(char(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(c, path[i + 1].unicode()));
            ++i;
        } else if (c >= escapeFirst && c <= escapeLast) {
            bytes.append(char(c - 0xDC00));
        } else if (QChar::isSurrogate(c)) {
            // A lone surrogate that no native name produced: it has no bytes
            // of its own, so it stands as the replacement character.
            appendUtf8(bytes, 0xFFFD);
        } else {
            appendUtf8(bytes, c);
        }
    }
    return bytes;
}

bool hasEscapedBytes(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < path.size() && QChar::isLowSurrogate(path[i + 1].unicode()))
            ++i;
        else if (c >= escapeFirst && c <= escapeLast)
            return true;
    }
    return false;
}

} // namespace brinmoor

#include <QCoreApplication>
#include <QFileInfo>

namespace brinmoor {

QString programFolder()
{
    const QDir exeDir(QCoreApplication::applicationDirPath());
    // An installed executable sits in the install's bin folder, with its
    // files in the data folder beside it, wherever the install was put.
    const QString installed = exeDir.filePath(QStringLiteral(BRINMOOR_DATA_FROM_BIN));
    if (QFileInfo(installed).isDir())
        return QDir::toNativeSeparators(QDir::cleanPath(installed));
    return QDir::toNativeSeparators(exeDir.path());
}

QString besideProgram(const QString &relativeName, const QString &folder)
{
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + relativeName);
}

} // namespace brinmoor
