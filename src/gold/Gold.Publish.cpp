// Each kind's record with the gold-standard service, and the publish runs' memory of routines.
#include "gold/Gold.Publish.h"

#include "diff/Crc32.h"
#include "gold/Gold.Progress.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/settings/Support.IniFile.h"
#include "infra/text/Support.Format.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/OstrelService.h"
#include "service/Service.Config.h"

#include <QUrl>

namespace quillon {

namespace {

// Raises Exception "<AKindName> <full name> cannot be published: ..." when AObject's definition
// is unreadable or empty: either would overwrite the gold text.
void RefusePublishOfUnreadable(const ICodedObject& AObject, const QString& AKindName, const QString& AFullName) {
  QString Why;
  if (AObject.DefinitionUnreadable())
    Why = QStringLiteral("its definition is unreadable (") + UnreadableReason + u')';
  else if (AObject.DDL().isEmpty())
    Why = QStringLiteral("its definition is empty");
  else
    return;
  throw Exception(Format(QStringLiteral("%s %s cannot be published: %s"), {AKindName, AFullName, Why}));
}

}  // namespace

void SaveToService(const TDatabaseSchema& ASchema, OstrelServiceSoap* AService, qint32 ADbVer) {
  AService->SaveDbSchema(ASchema.SchemaName(), ASchema.SchemaOwner(), ADbVer);
}

void SaveToService(const TDatabaseView& AView, OstrelServiceSoap* AService, qint32 ADbVer) {
  RefusePublishOfUnreadable(AView, QStringLiteral("VIEW"), AView.FullName());
  AService->SaveDbView(AView.ViewSchema(), AView.ViewName(), AView.ViewDefinition(), ADbVer);
}

void SaveToService(const TDatabaseRoutine& ARoutine, OstrelServiceSoap* AService, qint32 ADbVer) {
  RefusePublishOfUnreadable(ARoutine, ARoutine.RoutineType(), ARoutine.FullName());
  AService->SaveDbRoutine(ARoutine.RoutineSchema(), ARoutine.RoutineName(), ARoutine.RoutineType(),
                          ARoutine.SourceCode(), ADbVer);
}

void SaveToService(const TDatabaseCheckConstraint& ACheck, OstrelServiceSoap* AService, qint32 ADbVer) {
  AService->SaveDbCheckConstraint(ACheck.TableSchema(), ACheck.TableName(), ACheck.SchemaName(),
                                  ACheck.ConstraintName(), ACheck.CheckClause(), ADbVer);
}

void SaveToService(const TDatabaseReferentialConstraint& AKey, OstrelServiceSoap* AService, qint32 ADbVer) {
  AService->SaveDbReferentialConstraint(AKey.TableSchema(), AKey.TableName(), AKey.SchemaName(), AKey.ConstraintName(),
                                        AKey.UniqueConstraintSchema(), AKey.UniqueConstraintName(), AKey.UpdateRule(),
                                        AKey.DeleteRule(), ADbVer);
}

void SaveToService(const TDatabaseIndex& AIndex, OstrelServiceSoap* AService, qint32 ADbVer) {
  AService->SaveDbIndex(AIndex.SchemaName(), AIndex.TableName(), AIndex.ObjectName(), AIndex.Unique(), ADbVer);
}

namespace {

// Sends AObject when it is a T; false when it is not.
template <class T>
bool SaveAs(const TDatabaseObject& AObject, OstrelServiceSoap* AService, qint32 ADbVer) {
  const auto* Object = dynamic_cast<const T*>(&AObject);
  if (Object)
    SaveToService(*Object, AService, ADbVer);
  return Object != nullptr;
}

}  // namespace

bool SaveObjectToService(const TDatabaseObject& AObject, OstrelServiceSoap* AService, qint32 ADbVer) {
  return SaveAs<TDatabaseSchema>(AObject, AService, ADbVer) || SaveAs<TDatabaseView>(AObject, AService, ADbVer) ||
         SaveAs<TDatabaseRoutine>(AObject, AService, ADbVer) ||
         SaveAs<TDatabaseCheckConstraint>(AObject, AService, ADbVer) ||
         SaveAs<TDatabaseReferentialConstraint>(AObject, AService, ADbVer) ||
         SaveAs<TDatabaseIndex>(AObject, AService, ADbVer);
}

TRoutinePublisher::TRoutinePublisher(ILog* ALog) : FLog(ALog) {}

TRoutinePublisher::~TRoutinePublisher() = default;

void TRoutinePublisher::SetLastAlteredSource(std::function<TDateTime(const TDatabaseRoutine&)> ASource) {
  fLastAltered = std::move(ASource);
}

TDateTime TRoutinePublisher::LastAltered(const TDatabaseRoutine& ARoutine) const {
  constexpr TDateTime NotKnown = 1.0;
  return fLastAltered ? fLastAltered(ARoutine) : NotKnown;
}

TIniFile& TRoutinePublisher::PublishCache() {
  if (!fPublishCache)
    fPublishCache = std::make_unique<TIniFile>(PublishStateFileName());
  return *fPublishCache;
}

QString TRoutinePublisher::ScopedSection(const QString& ASection) const {
  return ASection + QLatin1Char(' ') + fPublishScope;
}

TDateTime TRoutinePublisher::PublishedAt(const TDatabaseRoutine& ARoutine) {
  return PublishCache().ReadDateTime(ScopedSection(PublishedSection), ARoutine.StrippedName(), 0.0);
}

void TRoutinePublisher::PublishIfNewer(TDatabaseRoutine& ARoutine, OstrelServiceSoap* AService,
                                       ISourceDatabaseInfo* ASourceDb) {
  const TDateTime Altered = LastAltered(ARoutine);
  if (!fForcePublish && Altered <= PublishedAt(ARoutine))
    return;
  SaveToService(ARoutine, AService, ASourceDb->DbVer());
  PublishCache().WriteDateTime(ScopedSection(PublishedSection), ARoutine.StrippedName(), Altered);
  FLog->Event(QStringLiteral("%s %s: Updated for version %d"),
              {ARoutine.RoutineType(), ARoutine.FullName(), ASourceDb->DbVer()}, ltInfo);
}

QString PublishScope(const QString& AServiceAddress, const QString& AServer, const QString& ADatabase) {
  QStringList Parts;
  for (const QString& Part : {AServiceAddress, AServer, ADatabase})
    Parts.append(QString::fromLatin1(QUrl::toPercentEncoding(Part, "/:.,@\\-_~")));
  return Parts.join(u'|');
}

qint32 SourceChecksum(const QString& ASourceCode) {
  quint32 Crc = 0;
  for (const QChar Unit : ASourceCode) {
    const char16_t Code = Unit.unicode();
    for (const uchar Byte : {uchar(Code & 0xFF), uchar(Code >> 8)})
      Crc = crc32::StepByte(Crc, Byte);
  }
  return static_cast<qint32>(Crc);
}

}  // namespace quillon
