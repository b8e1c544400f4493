// Line hashes for the diff: the CRC-32 of a line's UTF-8 bytes, with options to ignore case
// and white space.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace quillon {

// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value all ones, final
// complement: the CRC of zlib and PKZIP) of the UTF-8 bytes of ALine. Hashing whole code
// points keeps lines apart that differ only outside Latin-1; for ASCII text the bytes, and so
// the value, are those of the plain text. A lone surrogate takes the three bytes its code
// would have (ED A0 80 … ED BF BF), which valid UTF-8 never holds, where QString::toUtf8
// gives a question mark. An empty line hashes to 0.
quint32 LineCrc32(const QString& ALine);
// The same CRC taken straight from the line's UTF-8 bytes, for callers that read text as
// bytes and need no QString (nor any Qt library at run time: it lives in a unit of its own).
// For valid UTF-8 it equals LineCrc32 of the decoded line.
quint32 LineCrc32(const char* AUtf8, size_t ASize);

// The hash a line is compared by: with AIgnoreBlanks every tab and space is removed first,
// with AIgnoreCase the line is lower-cased by the locale's rules.
quint32 LineHash(const QString& ALine, bool AIgnoreCase, bool AIgnoreBlanks);
// LineHash of every line, in the form the diff engine compares.
std::vector<qint32> LineHashes(const QStringList& ALines, bool AIgnoreCase, bool AIgnoreBlanks);

}  // namespace quillon
