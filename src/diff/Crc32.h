// The tables of the standard CRC-32, for hashing lines eight bytes at a time.
#pragma once

#include <QtGlobal>

#include <array>

namespace quillon::crc32 {

// Slicing-by-8 tables of the standard CRC-32 (reflected polynomial 0xEDB88320): table s
// advances a byte through s further zero bytes, so eight input bytes fold into the CRC per
// step.
using TTables = std::array<std::array<quint32, 256>, 8>;

constexpr TTables MakeTables() {
  TTables T{};
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

inline constexpr TTables Tables = MakeTables();

inline quint32 StepByte(quint32 ACrc, uchar AByte) {
  return Tables[0][(ACrc ^ AByte) & 0xFF] ^ (ACrc >> 8);
}

// Folds eight bytes, given as two little-endian words, into the CRC.
inline quint32 Step8(quint32 ACrc, quint32 ALow, quint32 AHigh) {
  const auto& T = Tables;
  ALow ^= ACrc;
  return T[7][ALow & 0xFF] ^ T[6][(ALow >> 8) & 0xFF] ^ T[5][(ALow >> 16) & 0xFF] ^ T[4][ALow >> 24] ^
         T[3][AHigh & 0xFF] ^ T[2][(AHigh >> 8) & 0xFF] ^ T[1][(AHigh >> 16) & 0xFF] ^ T[0][AHigh >> 24];
}

}  // namespace quillon::crc32
