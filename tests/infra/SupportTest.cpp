#include "infra/text/Support.DateTime.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

#include <limits>

#include <gtest/gtest.h>

namespace quillon {
namespace {

struct TFormatCase {
  const char* Format;
  QVariantList Args;
  const char* Expected;
};

TEST(Format, FormatsTheSpecifiersTheMessagesUse) {
  const TFormatCase Cases[] = {
      {"Comparing %d views...", {42}, "Comparing 42 views..."},
      {"[%s].[%s]", {QStringLiteral("dbo"), QStringLiteral("Orders")}, "[dbo].[Orders]"},
      {"100%% done", {}, "100% done"},
      {"%s.%s.%d.xml", {QStringLiteral("SRV"), QStringLiteral("Db"), 7}, "SRV.Db.7.xml"},
      {"%-5s|%5s|", {QStringLiteral("ab"), QStringLiteral("cd")}, "ab   |   cd|"},
      {"%.3d %x", {7, 255}, "007 FF"},
      {"%1:s %0:s", {QStringLiteral("a"), QStringLiteral("b")}, "b a"},
      {"%.2f", {3.14159}, "3.14"},
      {"%d", {-12}, "-12"},
      {"%s", {QString::fromUtf8("Pålogging")}, "Pålogging"},
      {"%d %d", {std::numeric_limits<qint64>::min(), std::numeric_limits<quint64>::max()},
       "-9223372036854775808 18446744073709551615"},
      {"%u %u %u", {-1, qint64(-1), std::numeric_limits<quint64>::max()},
       "4294967295 18446744073709551615 18446744073709551615"},
      {"%*d|%-*s|%.*s", {5, 42, 3, QStringLiteral("a"), 2, QStringLiteral("abc")}, "   42|a  |ab"},
  };
  for (const TFormatCase& Case : Cases) {
    SCOPED_TRACE(Case.Format);
    EXPECT_EQ(Format(QString::fromUtf8(Case.Format), Case.Args), QString::fromUtf8(Case.Expected));
  }
}

TEST(Format, RaisesConvertErrorForMissingOrWrongArguments) {
  const TFormatCase Cases[] = {
      {"%s", {}, "No argument for format '%s'"},
      {"%d and %d", {1}, "No argument for format '%d and %d'"},
      {"%d", {QStringLiteral("x")}, "Format '%d' invalid or incompatible with argument"},
      {"%s", {5}, "Format '%s' invalid or incompatible with argument"},
      {"50%", {}, "Format '50%' invalid or incompatible with argument"},
      {"%z", {1}, "Format '%z' invalid or incompatible with argument"},
      // Numbers past the bound, some past the 32-bit range, some that would cost gigabytes.
      {"%2147483648d", {1}, "Format '%2147483648d' invalid or incompatible with argument"},
      {"%4294967297:s", {QStringLiteral("a")}, "Format '%4294967297:s' invalid or incompatible with argument"},
      {"%2147483647s", {QStringLiteral("a")}, "Format '%2147483647s' invalid or incompatible with argument"},
      {"%.2147483600f", {1.5}, "Format '%.2147483600f' invalid or incompatible with argument"},
      {"%4097d", {1}, "Format '%4097d' invalid or incompatible with argument"},
      {"%*d", {-1, 1}, "Format '%*d' invalid or incompatible with argument"},
      {"%.*d", {qint64(1) << 32, 1}, "Format '%.*d' invalid or incompatible with argument"},
      {"%*d", {std::numeric_limits<quint64>::max(), 1}, "Format '%*d' invalid or incompatible with argument"},
  };
  for (const TFormatCase& Case : Cases) {
    SCOPED_TRACE(Case.Format);
    try {
      Format(QString::fromUtf8(Case.Format), Case.Args);
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), QString::fromUtf8(Case.Expected));
    }
  }
}

TEST(Format, TheLargestWidthAndPrecisionStillFormat) {
  EXPECT_EQ(Format(QStringLiteral("%4096d"), {7}), QString(4095, u' ') + u'7');
  EXPECT_EQ(Format(QStringLiteral("%.4096d"), {-7}), u'-' + QString(4095, u'0') + u'7');
  // 1e300 has 301 digits before the point; "e" writes 4096 significant digits.
  EXPECT_EQ(Format(QStringLiteral("%.4096f"), {1e300}).size(), 301 + 1 + 4096);
  EXPECT_EQ(Format(QStringLiteral("%.4096e"), {1e300}).size(), QStringLiteral("1.E+300").size() + 4095);
  EXPECT_EQ(Format(QStringLiteral("%.4096g"), {1e300}), QString::number(1e300, 'f', 0));
  EXPECT_NO_THROW(Format(QStringLiteral("%.4096n %.4096m"), {1e300, 1e300}));
}

TEST(Trim, RemovesEverythingAtOrBelowTheSpaceCharacter) {
  EXPECT_EQ(Trim(QStringLiteral("\x01\t  a b\r\n\x1f")), QStringLiteral("a b"));
  EXPECT_EQ(Trim(QStringLiteral(" \r\n ")), QString());
  EXPECT_EQ(Trim(QString::fromUtf8("\u00a0x\u00a0")), QString::fromUtf8("\u00a0x\u00a0"));
  EXPECT_EQ(TrimLeft(QStringLiteral("  x ")), QStringLiteral("x "));
  EXPECT_EQ(TrimRight(QStringLiteral("  x ")), QStringLiteral("  x"));
}

TEST(StrToInt, AcceptsDecimalAndHexAndRejectsTheRest) {
  EXPECT_EQ(StrToInt(QStringLiteral("-42")), -42);
  EXPECT_EQ(StrToInt(QStringLiteral("$FF")), 255);
  EXPECT_EQ(StrToInt(QStringLiteral("0x10")), 16);
  for (const char* Bad : {"", "12a", " 1", "2147483648", "-"}) {
    SCOPED_TRACE(Bad);
    EXPECT_THROW(StrToInt(QString::fromLatin1(Bad)), EConvertError);
  }
}

TEST(DateTime, RoundTripsThroughDaysSinceTheEpoch) {
  const QDateTime Noon(QDate(1899, 12, 31), QTime(12, 0));
  EXPECT_DOUBLE_EQ(DateTimeFromQDateTime(Noon), 1.5);
  const QDateTime Moment(QDate(2026, 12, 10), QTime(3, 4, 5, 678));
  EXPECT_EQ(QDateTimeFromDateTime(DateTimeFromQDateTime(Moment)), Moment);
}

}  // namespace
}  // namespace quillon
