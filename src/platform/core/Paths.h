#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace brinmoor {

// The platform's path separator as a character ('/' here, '\\' on Windows).
QChar pathSeparator();

// The text after the last path separator: the whole path when it has none,
// an empty text when the path ends with one.
QString GetFileNameFromPath(const QString &path);

// A POSIX path is a string of bytes, not text, yet the program keeps paths as
// QString. These two make that lossless: valid UTF-8 decodes as usual, and
// each byte of an invalid sequence becomes the lone surrogate U+DC80 + (byte -
// 0x80), which nativePath() turns back into that byte. For every byte string
// without NUL, nativePath(pathFromNative(bytes)) == bytes. Every path handed
// to or taken from the system goes through them (QFile and QDir would replace
// such bytes and lose the name).
QString pathFromNative(QByteArrayView bytes);
QByteArray nativePath(QStringView path);

// True when the path holds a byte that is not UTF-8 (an escaped byte from
// pathFromNative()): it cannot be shown as text as the file system names it.
bool hasEscapedBytes(QStringView path);

// Whether bytes are well-formed UTF-8 throughout (no overlong forms, encoded
// surrogates, values past U+10FFFF or sequences cut short).
bool isWellFormedUtf8(QByteArrayView bytes);

} // namespace brinmoor

namespace brinmoor {

// The folder that holds the files shipped beside the program (the skin, the
// pointer images, the sample files): the executable's own folder in the build
// tree, the install's data folder once installed.
QString programFolder();

// A file shipped beside the program: folder (programFolder() unless a test
// put the files elsewhere) joined with a relative name such as "x/o.cjs".
QString besideProgram(const QString &relativeName, const QString &folder = programFolder());

} // namespace brinmoor
