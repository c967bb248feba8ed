#include "TextDecoding.h"

namespace brinmoor::counting {

QStringDecoder decoderFor(QStringConverter::Encoding encoding)
{
    // A BOM past the start of the file is text (U+FEFF), never dropped.
    return QStringDecoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
}

qsizetype utf8Cut(const QByteArray &bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto b = static_cast<unsigned char>(bytes[size - back]);
        if (b < 0x80)
            return size;
        if (b < 0xC0)
            continue;   // continuation byte
        const qsizetype length = b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

qsizetype utf16Cut(const QByteArray &bytes, bool littleEndian)
{
    qsizetype cut = bytes.size() & ~qsizetype{1};
    if (cut >= 2) {
        const auto hi = static_cast<unsigned char>(bytes[cut - (littleEndian ? 1 : 2)]);
        if (hi >= 0xD8 && hi <= 0xDB)
            cut -= 2;
    }
    return cut;
}

} // namespace brinmoor::counting
