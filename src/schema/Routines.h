#pragma once

#include "infra/text/Support.DateTime.h"
#include "schema/Lists.h"
#include "schema/ModuleSetOptions.h"

namespace quillon {

class TIniFile;

// A stored procedure or function with its full source text. Repaired by running the
// gold-standard text with its CREATE turned into ALTER.
class TDatabaseRoutine : public TDatabaseObject,
                         public IAlterObject,
                         public ICodedObject,
                         public ISaveObjectToService,
                         public ISaveToDb {
public:
  TDatabaseRoutine() = default;
  TDatabaseRoutine(const QString& ARoutineSchema, const QString& ARoutineName, const QString& ARoutineType);

  static QString NodeName() { return QStringLiteral("ROUTINE"); }
  const QString& RoutineSchema() const { return FSchema; }
  const QString& RoutineName() const { return FName; }
  const QString& RoutineType() const { return FRoutineType; }
  void SetRoutineType(const QString& Value) { FRoutineType = Value; }
  const QString& SourceCode() const { return FSourceCode; }
  void SetSourceCode(const QString& Value) { FSourceCode = Value; }

  QString DDL() const override { return FSourceCode; }
  bool DefinitionUnreadable() const override { return FUnreadable; }
  void SetDefinitionUnreadable(bool Value) { FUnreadable = Value; }
  // The gold-standard text with its leading "CREATE <routine type>" (any case) made "ALTER
  // <routine type>", after the SET options the routine was created with; raises Exception
  // "Standard definition missing" without one, and refuses a routine whose own definition is
  // unreadable (it may be encrypted).
  QString AlterCommand() const override;
  // Runs the SET statements and the ALTER of ACommand as batches of their own and gives the
  // session its options back; refuses when the routine's options are not known.
  void ExecuteAlter(ISQL* ASQL, const QString& ACommand) override;
  void SaveToDb(ISQL* ASQL, qint32 ADbVer) override;
  // Raises rather than send an unreadable or empty definition.
  void SaveToService(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) override;

  void Load(TDataSet& ADataset) override;
  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString AlterStatement() const;

  QString FRoutineType;
  QString FSourceCode;
  TModuleSetOptions FSetOptions;
  bool FUnreadable = false;
};

class TDatabaseRoutineList : public TDatabaseObjectList, public ISaveListToService {
public:
  explicit TDatabaseRoutineList(ILog* ALog);
  ~TDatabaseRoutineList() override;
  std::unique_ptr<TDatabaseObject> AddElement() override;
  void Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) override;

  // Publish runs remember per routine what they sent in PublishCache, apart for each
  // combination of service, server and database (AScope, see PublishScope): what went to one
  // service says nothing about another.
  void SetPublishScope(const QString& AScope) { fPublishScope = AScope; }
  // A forced publish run sends every readable routine, whatever the cache remembers.
  void SetForcePublish(bool Value) { fForcePublish = Value; }
  // The file of the publish runs' memory (PublishStateFileName).
  TIniFile& PublishCache();
  // The cache section ASection ("DbDescribe", "DbChanges.Version.12", ...) of the scope.
  QString ScopedSection(const QString& ASection) const;

  // The routine's last alteration as the catalogue of the last load reports it; 1.0 when the
  // list was not loaded from a database or the catalogue has no row for it.
  TDateTime LastAltered(const TDatabaseRoutine& ARoutine);
  // When the routine was last sent to the service (section "Routines.Published" of the scope in
  // PublishCache, under its StrippedName); 0 when never, or when the entry does not read as a
  // date-time.
  TDateTime PublishedAt(const TDatabaseRoutine& ARoutine);
  // Sends the routine to the service when it was altered after its last publication, records
  // the alteration time and logs "%s %s: Updated for version %d".
  void PublishIfNewer(TDatabaseRoutine& ARoutine, OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb);
  // Logs "Could not find %s %s locally!" for every routine of the service's routine list (up
  // to the database's version) that this list does not hold. The page travels over AService's
  // connection.
  void ReportMissingRoutines(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb);
  bool ForcePublish() const { return fForcePublish; }

private:
  QString fPublishScope;
  bool fForcePublish = false;
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
