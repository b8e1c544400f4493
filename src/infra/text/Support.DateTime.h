// Points in time as the stored values carry them: days since 1899-12-30, time as a fraction.
#pragma once

#include <QDateTime>

namespace quillon {

// A point in time as the system's stored values carry it: days since 1899-12-30 00:00 local
// time, the fraction being the time of day.
using TDateTime = double;

TDateTime DateTimeFromQDateTime(const QDateTime& AValue);
QDateTime QDateTimeFromDateTime(TDateTime AValue);
TDateTime Now();

}  // namespace quillon
