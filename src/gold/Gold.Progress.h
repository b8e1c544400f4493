// What a comparison with the gold standard reports while it runs: its progress, the objects that
// differ, and the findings it keeps besides them.
#pragma once

#include <QString>

namespace quillon {

class TDatabaseObject;

// Receives what a compare run has to say: a status line, the fraction done of the current
// step (negative values are ignored) and each object that differs from the gold standard.
// The object stays owned by its list.
class IDbProgress {
public:
  virtual ~IDbProgress() = default;
  virtual void ShowStatus(const QString& AText) = 0;
  virtual void ShowProgress(double AFraction) = 0;
  virtual void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) = 0;
};

// What a compare run finds besides anomalies: objects it could not compare, and objects the
// gold standard has that the database lacks.
enum class TFindingStatus {
  UnknownToGold,   // the gold standard has no definition of it for the version
  MissingLocally,  // the gold standard's routine list names it; the database lacks it
  Unreadable,      // the server gave no definition (encrypted, CLR, no VIEW DEFINITION)
  DuplicateKey     // another object of the database has the same key and hid this one
};

struct TFinding {
  TFindingStatus Status = TFindingStatus::UnknownToGold;
  QString Kind;  // "view", "routine", "check", "index"
  QString FullName;
  // The local object; nullptr for one missing locally or hidden by a duplicate key.
  TDatabaseObject* Object = nullptr;
  // The gold text of a routine missing locally, as far as the routine list carries it.
  QString GoldText;
};

// A progress receiver that also keeps what a compare run finds and how far it got. The
// comparison asks its receiver for it with dynamic_cast.
class IRunFindings {
public:
  virtual ~IRunFindings() = default;
  virtual void ReportFinding(const TFinding& AFinding) = 0;
  // One more object of the list with this kind name was compared with the gold standard.
  virtual void ObjectCompared(const QString& AKind) = 0;
  // Whoever runs the comparison asked it to stop: it stops before the next object.
  virtual bool StopRequested() const { return false; }
};

// The database a comparison or publish run speaks for: its name and gold-standard version.
class ISourceDatabaseInfo {
public:
  virtual ~ISourceDatabaseInfo() = default;
  virtual QString DbName() = 0;
  virtual qint32 DbVer() = 0;
};

}  // namespace quillon
