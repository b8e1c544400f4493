// Numbers and dates as text in the default locale's formats, and back.
#include "infra/text/Support.LocaleFormat.h"

#include "infra/text/Support.Format.h"

#include <QLocale>
#include <QRegularExpression>

namespace quillon {

namespace {

QLocale NumberLocale() {
  QLocale Locale;
  Locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
  return Locale;
}

// A two-digit year would read back in the wrong century.
QString DateFormat(const QLocale& ALocale) {
  QString Format = ALocale.dateFormat(QLocale::ShortFormat);
  static const QRegularExpression ShortYear(QStringLiteral("(?<!y)yy(?!y)"));
  Format.replace(ShortYear, QStringLiteral("yyyy"));
  return Format;
}

// The locale's short time, with seconds added where it has none (after the minutes, with the
// separator that stands before them).
QString TimeFormat(const QLocale& ALocale) {
  QString Format = ALocale.timeFormat(QLocale::ShortFormat);
  if (Format.contains(QStringLiteral("ss")))
    return Format;
  const qsizetype Minutes = Format.indexOf(QStringLiteral("mm"));
  if (Minutes < 0)
    return Format;
  const QString Separator = Minutes > 0 ? QString(Format.at(Minutes - 1)) : QStringLiteral(":");
  return Format.insert(Minutes + 2, Separator + QStringLiteral("ss"));
}

}  // namespace

QString FloatToStr(double AValue) { return NumberLocale().toString(AValue, 'g', QLocale::FloatingPointShortest); }

bool TryStrToFloat(const QString& S, double& AValue) {
  bool Ok = false;
  const double Value = NumberLocale().toDouble(Trim(S), &Ok);
  if (Ok)
    AValue = Value;
  return Ok;
}

QString DateTimeToStr(TDateTime AValue) {
  const QLocale Locale;
  const QDateTime Value = QDateTimeFromDateTime(AValue);
  if (Value.time() == QTime(0, 0))
    return Locale.toString(Value.date(), DateFormat(Locale));
  return Locale.toString(Value, DateFormat(Locale) + u' ' + TimeFormat(Locale));
}

bool TryStrToDateTime(const QString& S, TDateTime& AValue) {
  const QLocale Locale;
  const QString Text = Trim(S);
  QDateTime Value = Locale.toDateTime(Text, DateFormat(Locale) + u' ' + TimeFormat(Locale));
  if (!Value.isValid()) {
    const QDate Date = Locale.toDate(Text, DateFormat(Locale));
    if (Date.isValid())
      Value = Date.startOfDay();
  }
  if (!Value.isValid())
    Value = QDateTime::fromString(Text, Qt::ISODate);
  if (!Value.isValid())
    return false;
  AValue = DateTimeFromQDateTime(Value);
  return true;
}

}  // namespace quillon
