// The CRC-32 of UTF-8 bytes, eight at a time.
#include "diff/Crc32.h"
#include "diff/HashUnit.h"

#include <cstring>

namespace quillon {

quint32 LineCrc32(const char* AUtf8, size_t ASize) {
  quint32 Crc = 0xFFFFFFFFu;
  const char* P = AUtf8;
  for (const char* const Last8 = AUtf8 + (ASize & ~size_t{7}); P < Last8; P += 8) {
    quint32 Low;
    quint32 High;
    std::memcpy(&Low, P, 4);
    std::memcpy(&High, P + 4, 4);
    Crc = crc32::Step8(Crc, Low, High);
  }
  for (const char* const End = AUtf8 + ASize; P < End; ++P)
    Crc = crc32::StepByte(Crc, static_cast<uchar>(*P));
  return ~Crc;
}

}  // namespace quillon
