#include "diff/HashUnit.h"

#include <QLocale>

#include <array>
#include <cstring>

namespace quillon {

namespace {

// Slicing-by-8 tables: table s advances a byte through s further zero bytes, so eight
// input bytes fold into the CRC per step.
using TCrcTables = std::array<std::array<quint32, 256>, 8>;

constexpr TCrcTables MakeCrcTables() {
  TCrcTables T{};
  for (quint32 i = 0; i < 256; ++i) {
    quint32 c = i;
    for (int bit = 0; bit < 8; ++bit)
      c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    T[0][i] = c;
  }
  for (quint32 i = 0; i < 256; ++i)
    for (size_t s = 1; s < 8; ++s)
      T[s][i] = (T[s - 1][i] >> 8) ^ T[0][T[s - 1][i] & 0xFF];
  return T;
}

constexpr TCrcTables CrcTables = MakeCrcTables();

quint32 UpdateCrc(quint32 ACrc, const uchar* ABytes, size_t ACount) {
  const auto& T = CrcTables;
  while (ACount >= 8) {
    quint32 Low;
    quint32 High;
    std::memcpy(&Low, ABytes, 4);
    std::memcpy(&High, ABytes + 4, 4);
    Low ^= ACrc;
    ACrc = T[7][Low & 0xFF] ^ T[6][(Low >> 8) & 0xFF] ^ T[5][(Low >> 16) & 0xFF] ^ T[4][Low >> 24] ^
           T[3][High & 0xFF] ^ T[2][(High >> 8) & 0xFF] ^ T[1][(High >> 16) & 0xFF] ^ T[0][High >> 24];
    ABytes += 8;
    ACount -= 8;
  }
  while (ACount-- > 0)
    ACrc = T[0][(ACrc ^ *ABytes++) & 0xFF] ^ (ACrc >> 8);
  return ACrc;
}

}  // namespace

quint32 LineCrc32(const QString& ALine) {
  // The UTF-8 bytes go through a small buffer so that no line is ever converted whole.
  uchar Buffer[256];
  size_t Used = 0;
  quint32 Crc = 0xFFFFFFFFu;
  const char16_t* P = reinterpret_cast<const char16_t*>(ALine.utf16());
  const char16_t* const End = P + ALine.size();
  while (P < End) {
    if (Used > sizeof(Buffer) - 4) {
      Crc = UpdateCrc(Crc, Buffer, Used);
      Used = 0;
    }
    char32_t C = *P++;
    if (C < 0x80) {
      Buffer[Used++] = static_cast<uchar>(C);
    } else if (C < 0x800) {
      Buffer[Used++] = static_cast<uchar>(0xC0 | (C >> 6));
      Buffer[Used++] = static_cast<uchar>(0x80 | (C & 0x3F));
    } else if (QChar::isHighSurrogate(C) && P < End && QChar::isLowSurrogate(*P)) {
      C = QChar::surrogateToUcs4(static_cast<char16_t>(C), *P++);
      Buffer[Used++] = static_cast<uchar>(0xF0 | (C >> 18));
      Buffer[Used++] = static_cast<uchar>(0x80 | ((C >> 12) & 0x3F));
      Buffer[Used++] = static_cast<uchar>(0x80 | ((C >> 6) & 0x3F));
      Buffer[Used++] = static_cast<uchar>(0x80 | (C & 0x3F));
    } else {
      // A lone surrogate has no UTF-8 form; it hashes as the replacement character.
      if (QChar::isSurrogate(C))
        C = QChar::ReplacementCharacter;
      Buffer[Used++] = static_cast<uchar>(0xE0 | (C >> 12));
      Buffer[Used++] = static_cast<uchar>(0x80 | ((C >> 6) & 0x3F));
      Buffer[Used++] = static_cast<uchar>(0x80 | (C & 0x3F));
    }
  }
  return ~UpdateCrc(Crc, Buffer, Used);
}

quint32 LineHash(const QString& ALine, bool AIgnoreCase, bool AIgnoreBlanks) {
  QString Line = ALine;
  if (AIgnoreBlanks)
    Line.removeIf([](QChar C) { return C == u' ' || C == u'\t'; });
  if (AIgnoreCase)
    Line = QLocale().toLower(Line);
  return LineCrc32(Line);
}

}  // namespace quillon
