// Numbers and dates as text in the default locale's formats, and back.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>

namespace quillon {

// Numbers and dates as text in the formats of the default locale (QLocale()), without group
// separators, the way stored settings and parameters are written and read back.

// The shortest text that reads back as the same double.
QString FloatToStr(double AValue);
bool TryStrToFloat(const QString& S, double& AValue);

// The locale's short date with a four-digit year, then its time with seconds; the time is left
// out when it is midnight.
QString DateTimeToStr(TDateTime AValue);
// Reads what DateTimeToStr writes, a date alone, or an ISO 8601 date and time.
bool TryStrToDateTime(const QString& S, TDateTime& AValue);

}  // namespace quillon
