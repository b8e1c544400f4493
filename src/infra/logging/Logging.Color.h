// The colour a log entry carries, written "#RRGGBB" in the log file; the log needs no GUI
// library for it.
#pragma once

#include <QString>
#include <QtGlobal>

namespace quillon {

struct TLogColor {
  quint8 Red = 255;
  quint8 Green = 255;
  quint8 Blue = 255;

  friend constexpr bool operator==(const TLogColor&, const TLogColor&) = default;

  // Upper-case hexadecimal, "#FFA500".
  QString Name() const { return QString::asprintf("#%02X%02X%02X", Red, Green, Blue); }
};

inline constexpr TLogColor LogWhite{255, 255, 255};

}  // namespace quillon
