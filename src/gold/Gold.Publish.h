// Sending the model's objects to the gold-standard service (publish runs), and what publish
// runs remember of each routine they sent.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>

#include <functional>
#include <memory>

namespace quillon {

class ILog;
class ISourceDatabaseInfo;
class OstrelServiceSoap;
class TDatabaseCheckConstraint;
class TDatabaseIndex;
class TDatabaseObject;
class TDatabaseReferentialConstraint;
class TDatabaseRoutine;
class TDatabaseSchema;
class TDatabaseView;
class TIniFile;

// Each kind's record with the service for version ADbVer. A view or routine whose definition is
// unreadable or empty is refused with Exception: either would overwrite the gold text.
void SaveToService(const TDatabaseSchema& ASchema, OstrelServiceSoap* AService, qint32 ADbVer);
void SaveToService(const TDatabaseView& AView, OstrelServiceSoap* AService, qint32 ADbVer);
void SaveToService(const TDatabaseRoutine& ARoutine, OstrelServiceSoap* AService, qint32 ADbVer);
void SaveToService(const TDatabaseCheckConstraint& ACheck, OstrelServiceSoap* AService, qint32 ADbVer);
void SaveToService(const TDatabaseReferentialConstraint& AKey, OstrelServiceSoap* AService, qint32 ADbVer);
void SaveToService(const TDatabaseIndex& AIndex, OstrelServiceSoap* AService, qint32 ADbVer);
// The record of an object of any kind; false, sending nothing, for a kind the service keeps no
// record of (tables, columns, privileges).
bool SaveObjectToService(const TDatabaseObject& AObject, OstrelServiceSoap* AService, qint32 ADbVer);

// Publish runs remember per routine what they sent in PublishCache, apart for each combination
// of service, server and database (the scope, see PublishScope): what went to one service says
// nothing about another.
class TRoutinePublisher {
public:
  // ALog hears "%s %s: Updated for version %d" for each routine sent; borrowed.
  explicit TRoutinePublisher(ILog* ALog);
  ~TRoutinePublisher();
  TRoutinePublisher(const TRoutinePublisher&) = delete;
  TRoutinePublisher& operator=(const TRoutinePublisher&) = delete;

  void SetPublishScope(const QString& AScope) { fPublishScope = AScope; }
  // A forced publish run sends every readable routine, whatever the cache remembers.
  void SetForcePublish(bool Value) { fForcePublish = Value; }
  bool ForcePublish() const { return fForcePublish; }
  // Where a routine's last alteration is read: the catalogue of the database the routines came
  // from. Without one (routines read from a snapshot) every routine counts as altered at 1.0.
  void SetLastAlteredSource(std::function<TDateTime(const TDatabaseRoutine&)> ASource);
  TDateTime LastAltered(const TDatabaseRoutine& ARoutine) const;

  // The file of the publish runs' memory (PublishStateFileName).
  TIniFile& PublishCache();
  // The cache section ASection ("DbDescribe", "DbChanges.Version.12", ...) of the scope.
  QString ScopedSection(const QString& ASection) const;
  // When the routine was last sent to the service (section "Routines.Published" of the scope in
  // PublishCache, under its StrippedName); 0 when never, or when the entry does not read as a
  // date-time.
  TDateTime PublishedAt(const TDatabaseRoutine& ARoutine);
  // Sends the routine to the service when it was altered after its last publication, records
  // the alteration time and logs "%s %s: Updated for version %d".
  void PublishIfNewer(TDatabaseRoutine& ARoutine, OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb);

  ILog* Log() const { return FLog; }

private:
  ILog* FLog;
  QString fPublishScope;
  bool fForcePublish = false;
  std::function<TDateTime(const TDatabaseRoutine&)> fLastAltered;
  std::unique_ptr<TIniFile> fPublishCache;
};

// The scope of a publish run's memory: the service's address, the server and the database,
// each percent-encoded so that no name can break the section line.
QString PublishScope(const QString& AServiceAddress, const QString& AServer, const QString& ADatabase);

// Section of the settings file that records when each routine was last published.
inline const QString PublishedSection = QStringLiteral("Routines.Published");

// CRC-32 (the common reflected table, register starting at 0, no final inversion) over every
// byte of the text's UTF-16LE code units; 0 for an empty text.
qint32 SourceChecksum(const QString& ASourceCode);

}  // namespace quillon
