// What long activities tell the user: a status line and a progress in percent.
#pragma once

#include <QString>

#include <cmath>

namespace quillon {

// To the nearest integer, halves to the even neighbour, as progress positions are rounded.
inline qint32 RoundHalfEven(double AValue) { return static_cast<qint32>(std::nearbyint(AValue)); }

// A place to tell the user what is happening now.
class IStatus {
public:
  virtual ~IStatus() = default;
  virtual QString GetInfo() = 0;
  virtual void SetInfo(const QString& Value) = 0;
  virtual void Done() = 0;

  QString Info() { return GetInfo(); }
};

// A status that also shows how far an activity has come, in percent, under a header.
class IProgress : public IStatus {
public:
  virtual void SetProgress(double value) = 0;
  virtual void SetHeader(const QString& AName) = 0;
};

}  // namespace quillon
