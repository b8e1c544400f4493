// The window program's font faces, each with the face that stands in for it.
#pragma once

#include <QFont>
#include <QStringList>

namespace quillon {

// The faces the windows were drawn with, each followed by the face that stands in for it where
// it is not installed (as on most Linux desktops).
inline const QStringList FaceSegoeUi{QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans")};
inline const QStringList FaceTahoma{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")};
inline const QStringList FaceCourierNew{QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono")};

// A font of the first installed face of AFaces in APointSize points.
inline QFont UiFont(const QStringList& AFaces, qint32 APointSize, bool ABold = false) {
  QFont Result;
  Result.setFamilies(AFaces);
  Result.setPointSize(APointSize);
  Result.setBold(ABold);
  return Result;
}

// The same with a size in pixels, for controls whose size was given in pixels.
inline QFont UiPixelFont(const QStringList& AFaces, qint32 APixelSize, bool ABold = false) {
  QFont Result = UiFont(AFaces, 9, ABold);
  Result.setPixelSize(APixelSize);
  return Result;
}

}  // namespace quillon
