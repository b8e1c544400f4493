#include "diff/HashUnit.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(LineHash, IsTheStandardCrc32OfTheUtf8Bytes) {
  struct TCase {
    QString Line;
    quint32 Crc;
  } const Cases[] = {
      {QString(), 0u},
      {QStringLiteral("123456789"), 0xCBF43926u},  // the CRC-32 check value
      {QStringLiteral("The quick brown fox jumps over the lazy dog"), 0x414FA339u},
      {QString::fromUtf8("\xC3\xA6\xC3\xB8\xC3\xA5"), 0x30079A25u},  // "æøå" as UTF-8 bytes
      {QString::fromUtf8("\xE2\x82\xAC"), 0x83F2C8D6u},              // "€"
      {QString::fromUtf8("\xF0\x9F\x98\x80"), 0x054DB544u},          // a character beyond the BMP
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Line.toStdString());
    EXPECT_EQ(LineCrc32(C.Line), C.Crc);
    EXPECT_EQ(LineHash(C.Line, false, false), C.Crc);
  }
  // Long lines cross the internal buffer: the value must still be the CRC of all the bytes.
  const QString Long = QString(1000, u'x') + QString::fromUtf8("\xE2\x82\xAC") + QString(1000, u'y');
  EXPECT_EQ(LineCrc32(Long), 0x6DA87781u);
}

// The CRC one bit at a time, as a reference for the table-driven one.
quint32 BitwiseCrc32(const QByteArray& ABytes) {
  quint32 Crc = 0xFFFFFFFFu;
  for (const char Byte : ABytes) {
    Crc ^= static_cast<uchar>(Byte);
    for (int Bit = 0; Bit < 8; ++Bit)
      Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1)));
  }
  return ~Crc;
}

TEST(LineHash, EveryMixOfAsciiAndWiderCharactersHashesItsUtf8Bytes) {
  // A character of each UTF-8 length, and a lone surrogate with the bytes its code would
  // have, at every position of lines up to 40 characters, so that each reaches every offset
  // within an eight-character block.
  struct TWide {
    QString Text;
    QByteArray Bytes;
  } const Wide[] = {{QString(QChar(0xE5)), "\xC3\xA5"},
                    {QString(QChar(0x20AC)), "\xE2\x82\xAC"},
                    {QString::fromUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80"},
                    {QString(QChar(0xD800)), "\xED\xA0\x80"},
                    {QString(QChar(0xDFFF)), "\xED\xBF\xBF"}};
  for (const TWide& W : Wide)
    for (int Length = 0; Length <= 40; ++Length)
      for (int At = 0; At <= Length; ++At) {
        const QString Line = QString(At, u'q') + W.Text + QString(Length - At, u'q');
        const QByteArray Bytes = QByteArray(At, 'q') + W.Bytes + QByteArray(Length - At, 'q');
        ASSERT_EQ(LineCrc32(Line), BitwiseCrc32(Bytes)) << Length << " " << At;
        // The byte entry point reads the same bytes in eight-byte steps of its own.
        ASSERT_EQ(LineCrc32(Bytes.constData(), static_cast<size_t>(Bytes.size())), BitwiseCrc32(Bytes))
            << Length << " " << At;
      }
}

TEST(LineHash, ALoneSurrogateHashesApartFromAQuestionMarkAndFromOtherSurrogates) {
  const QString High = QStringLiteral("x = ") + QChar(0xD83D) + QStringLiteral(";");
  const QString Low = QStringLiteral("x = ") + QChar(0xDE00) + QStringLiteral(";");
  const QString Other = QStringLiteral("x = ") + QChar(0xD83E) + QStringLiteral(";");
  for (const bool Fold : {false, true}) {
    SCOPED_TRACE(Fold);
    const quint32 Question = LineHash(QStringLiteral("x = ?;"), Fold, Fold);
    EXPECT_NE(LineHash(High, Fold, Fold), Question);
    EXPECT_NE(LineHash(Low, Fold, Fold), Question);
    EXPECT_NE(LineHash(High, Fold, Fold), LineHash(Low, Fold, Fold));
    EXPECT_NE(LineHash(High, Fold, Fold), LineHash(Other, Fold, Fold));
  }
}

TEST(LineHash, LinesThatDifferOnlyOutsideLatin1HashApart) {
  // U+0141 and U+0241 share their low byte; hashing one byte per character would mix them.
  EXPECT_NE(LineHash(QString(QChar(0x0141)), false, false), LineHash(QString(QChar(0x0241)), false, false));
  EXPECT_NE(LineHash(QStringLiteral("a\u4E00b"), false, false), LineHash(QStringLiteral("a\u0000b"), false, false));
}

TEST(LineHash, OptionsFoldBlanksAndCase) {
  const QString Line = QStringLiteral("  SELECT\tName FROM  dbo.T ");
  const QString Bare = QStringLiteral("SELECTNameFROMdbo.T");
  const QString Lower = QStringLiteral("  select\tname from  dbo.t ");
  EXPECT_EQ(LineHash(Line, false, true), LineHash(Bare, false, false));
  EXPECT_EQ(LineHash(Line, true, false), LineHash(Lower, false, false));
  EXPECT_EQ(LineHash(Line, true, true), LineHash(QStringLiteral("selectnamefromdbo.t"), false, false));
  EXPECT_NE(LineHash(Line, false, false), LineHash(Bare, false, false));
  EXPECT_NE(LineHash(Line, false, false), LineHash(Lower, false, false));
  // Only tabs and spaces are blanks; other white space still counts.
  EXPECT_NE(LineHash(QStringLiteral("a\u00A0b"), false, true), LineHash(QStringLiteral("ab"), false, true));
  EXPECT_EQ(LineHash(QString::fromUtf8("\xC3\x86RE"), true, false), LineHash(QString::fromUtf8("\xC3\xA6re"), false, false));
}

}  // namespace
}  // namespace quillon
