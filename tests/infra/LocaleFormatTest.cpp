#include "infra/text/Support.LocaleFormat.h"
#include "support/QtPrinters.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace quillon {
namespace {

class LocaleFormat : public testing::TestWithParam<QLocale> {
protected:
  void SetUp() override { QLocale::setDefault(GetParam()); }
  void TearDown() override { QLocale::setDefault(FPrevious); }

private:
  QLocale FPrevious;
};

// US English writes two-digit years and no seconds, Finnish separates hours and minutes with a
// point, German uses a decimal comma: each would lose part of the value on the way back.
INSTANTIATE_TEST_SUITE_P(Locales, LocaleFormat,
                         testing::Values(QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                         QLocale(QLocale::German, QLocale::Germany),
                                         QLocale(QLocale::Finnish, QLocale::Finland),
                                         QLocale(QLocale::NorwegianBokmal, QLocale::Norway)),
                         [](const testing::TestParamInfo<QLocale>& AInfo) {
                           return AInfo.param.name().replace(u'_', QString()).toStdString();
                         });

TEST_P(LocaleFormat, DatesAndTimesReadBackAsWritten) {
  const QDateTime Values[] = {
      QDateTime(QDate(2031, 12, 24), QTime(17, 5, 9)),
      QDateTime(QDate(1999, 1, 2), QTime(0, 0, 1)),
      QDateTime(QDate(2024, 2, 29), QTime(0, 0)),
  };
  for (const QDateTime& Value : Values) {
    const TDateTime Written = DateTimeFromQDateTime(Value);
    const QString Text = DateTimeToStr(Written);
    SCOPED_TRACE(Text.toStdString());
    TDateTime Read = -1;
    ASSERT_TRUE(TryStrToDateTime(Text, Read));
    EXPECT_EQ(QDateTimeFromDateTime(Read), Value);
  }
  TDateTime Untouched = 7;
  EXPECT_FALSE(TryStrToDateTime("not a date", Untouched));
  EXPECT_FALSE(TryStrToDateTime("", Untouched));
  EXPECT_EQ(Untouched, 7);
}

TEST_P(LocaleFormat, NumbersReadBackExactlyWithoutGroupSeparators) {
  for (const double Value : {0.1, -1234567.875, 1e20, 2.5e-7, 0.0}) {
    const QString Text = FloatToStr(Value);
    SCOPED_TRACE(Text.toStdString());
    EXPECT_FALSE(Text.contains(GetParam().groupSeparator()));
    double Read = -1;
    ASSERT_TRUE(TryStrToFloat(Text, Read));
    EXPECT_EQ(Read, Value);
  }
  double Untouched = 7;
  EXPECT_FALSE(TryStrToFloat("1x", Untouched));
  EXPECT_EQ(Untouched, 7);
}

}  // namespace
}  // namespace quillon
