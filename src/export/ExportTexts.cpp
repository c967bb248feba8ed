#include "ExportTexts.h"

namespace brinmoor::exports {

namespace {

// What a unit is written as; itself when it needs no replacing. Surrogates
// are judged with their neighbours by the caller.
char16_t exportedUnit(char16_t c)
{
    if (c < 0x20)
        return char16_t(0x2400 + c);
    if (c == 0x7F)
        return u'\u2421';
    if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return u'\uFFFD';
    return c;
}

bool needsReplacing(const QChar *units, qsizetype size, qsizetype i)
{
    const char16_t c = units[i].unicode();
    if (QChar::isHighSurrogate(c))
        return !(i + 1 < size && QChar::isLowSurrogate(units[i + 1].unicode()));
    if (QChar::isLowSurrogate(c))
        return !(i > 0 && QChar::isHighSurrogate(units[i - 1].unicode()));
    return exportedUnit(c) != c;
}

} // namespace

QString exportedText(const QString &text)
{
    const QChar *units = text.constData();
    const qsizetype size = text.size();
    qsizetype i = 0;
    // Nearly every text needs nothing: it is shared, not copied.
    while (i < size && !needsReplacing(units, size, i))
        ++i;
    if (i == size)
        return text;
    QString out = text;
    QChar *written = out.data();
    for (; i < size; ++i) {
        if (!needsReplacing(units, size, i))
            continue;
        const char16_t c = units[i].unicode();
        written[i] = QChar(QChar::isSurrogate(c) ? u'\uFFFD' : exportedUnit(c));
    }
    return out;
}

QString overwriteQuestion(const QString &path)
{
    return QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?");
}

QString writingFileCaption(const QString &fileName)
{
    return QStringLiteral("Writing file: ") + fileName;
}

QString writingFileCaption(const QString &fileName, int rowPosition)
{
    return writingFileCaption(fileName) + QStringLiteral(" (") + QString::number(rowPosition) + u')';
}

} // namespace brinmoor::exports
