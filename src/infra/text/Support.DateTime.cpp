// Points in time as the stored values carry them: days since 1899-12-30, time as a fraction.
#include "infra/text/Support.DateTime.h"

#include <cmath>

namespace quillon {

namespace {
const QDate& Epoch() {
  static const QDate Value(1899, 12, 30);
  return Value;
}
constexpr double MSecsPerDay = 86400000.0;
}  // namespace

TDateTime DateTimeFromQDateTime(const QDateTime& AValue) {
  const QDateTime Local = AValue.toLocalTime();
  const double Days = static_cast<double>(Epoch().daysTo(Local.date()));
  const double Fraction = Local.time().msecsSinceStartOfDay() / MSecsPerDay;
  // Before the epoch the fraction still counts forward from midnight, as stored values do.
  return Days >= 0 ? Days + Fraction : Days - Fraction;
}

QDateTime QDateTimeFromDateTime(TDateTime AValue) {
  const double WholeDays = std::trunc(AValue);
  const double Fraction = std::fabs(AValue - WholeDays);
  qint64 MSecs = std::llround(Fraction * MSecsPerDay);
  qint64 Days = static_cast<qint64>(WholeDays);
  if (MSecs >= 86400000) {
    MSecs -= 86400000;
    Days += 1;
  }
  return QDateTime(Epoch().addDays(Days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(MSecs)));
}

TDateTime Now() { return DateTimeFromQDateTime(QDateTime::currentDateTime()); }

}  // namespace quillon
