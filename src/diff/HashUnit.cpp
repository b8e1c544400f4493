// Line hashes for the diff: the CRC-32 of a line's UTF-8 bytes, with options to ignore case
// and white space.
#include "diff/HashUnit.h"

#include "diff/Crc32.h"

#include <QLocale>

#include <cstring>

namespace quillon {

namespace {

using crc32::Step8;
using crc32::StepByte;

// The low bytes of four UTF-16 code units (one little-endian word each) as one word.
inline quint32 NarrowFour(quint64 AUnits) {
  return static_cast<quint32>((AUnits & 0xFF) | ((AUnits >> 8) & 0xFF00) | ((AUnits >> 16) & 0xFF0000) |
                              ((AUnits >> 24) & 0xFF000000));
}

}  // namespace

quint32 LineCrc32(const QString& ALine) {
  quint32 Crc = 0xFFFFFFFFu;
  const char16_t* P = reinterpret_cast<const char16_t*>(ALine.constData());
  const char16_t* const End = P + ALine.size();
  while (P < End) {
    // Eight ASCII characters are their own UTF-8 bytes and go into the CRC at once.
    if (End - P >= 8) {
      quint64 First;
      quint64 Second;
      std::memcpy(&First, P, 8);
      std::memcpy(&Second, P + 4, 8);
      if (((First | Second) & 0xFF80FF80FF80FF80ull) == 0) {
        Crc = Step8(Crc, NarrowFour(First), NarrowFour(Second));
        P += 8;
        continue;
      }
    }
    char32_t C = *P++;
    if (C < 0x80) {
      Crc = StepByte(Crc, static_cast<uchar>(C));
    } else if (C < 0x800) {
      Crc = StepByte(Crc, static_cast<uchar>(0xC0 | (C >> 6)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | (C & 0x3F)));
    } else if (QChar::isHighSurrogate(C) && P < End && QChar::isLowSurrogate(*P)) {
      C = QChar::surrogateToUcs4(static_cast<char16_t>(C), *P++);
      Crc = StepByte(Crc, static_cast<uchar>(0xF0 | (C >> 18)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | ((C >> 12) & 0x3F)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | ((C >> 6) & 0x3F)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | (C & 0x3F)));
    } else {
      // A lone surrogate, which has no UTF-8 form, takes the three bytes its code would have
      // (ED A0 80 … ED BF BF). Valid UTF-8 never holds them, so it hashes apart from every
      // character, and a line that differs only in one does not show as unchanged.
      Crc = StepByte(Crc, static_cast<uchar>(0xE0 | (C >> 12)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | ((C >> 6) & 0x3F)));
      Crc = StepByte(Crc, static_cast<uchar>(0x80 | (C & 0x3F)));
    }
  }
  return ~Crc;
}

quint32 LineHash(const QString& ALine, bool AIgnoreCase, bool AIgnoreBlanks) {
  if (!AIgnoreCase && !AIgnoreBlanks)
    return LineCrc32(ALine);
  QString Line = ALine;
  if (AIgnoreBlanks)
    Line.removeIf([](QChar C) { return C == u' ' || C == u'\t'; });
  if (AIgnoreCase)
    Line = QLocale().toLower(Line);
  return LineCrc32(Line);
}

std::vector<qint32> LineHashes(const QStringList& ALines, bool AIgnoreCase, bool AIgnoreBlanks) {
  std::vector<qint32> Hashes;
  Hashes.reserve(static_cast<size_t>(ALines.size()));
  for (const QString& Line : ALines)
    Hashes.push_back(static_cast<qint32>(LineHash(Line, AIgnoreCase, AIgnoreBlanks)));
  return Hashes;
}

}  // namespace quillon
