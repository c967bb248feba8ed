#pragma once

#include <QByteArray>
#include <QStringDecoder>

namespace brinmoor::counting {

// A decoder for text past the byte-order mark. Stateless: the caller cuts
// the bytes between characters itself (see the cuts below).
QStringDecoder decoderFor(QStringConverter::Encoding encoding);

// Where UTF-8 bytes can be cut so that no sequence is split: before a lead
// byte among the last three whose sequence is not complete yet.
qsizetype utf8Cut(const QByteArray &bytes);

// The same for UTF-16: never after an odd byte or a high surrogate.
qsizetype utf16Cut(const QByteArray &bytes, bool littleEndian);

} // namespace brinmoor::counting
