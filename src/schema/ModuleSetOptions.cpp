#include "schema/ModuleSetOptions.h"

#include "database/Database.Interfaces.h"
#include "schema/DatabaseObjects.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

namespace {

const QString QuotedIdentifierColumn = QStringLiteral("USES_QUOTED_IDENTIFIER");
const QString AnsiNullsColumn = QStringLiteral("USES_ANSI_NULLS");
const QString BatchSeparator = QStringLiteral("\r\nGO\r\n");
// Their bits in @@OPTIONS.
constexpr qint32 AnsiNullsOption = 32;
constexpr qint32 QuotedIdentifierOption = 256;

std::optional<bool> AttributeOption(const TXmlNode* ANode, const QString& AName) {
  const QString Value = ANode->Attribute(AName);
  if (Value == u"1")
    return true;
  if (Value == u"0")
    return false;
  return std::nullopt;
}

QString OnOff(bool AValue) { return AValue ? QStringLiteral("ON") : QStringLiteral("OFF"); }

QString SetStatementsFor(bool AQuotedIdentifier, bool AAnsiNulls) {
  return QStringLiteral("SET QUOTED_IDENTIFIER %1;\r\nSET ANSI_NULLS %2;").arg(OnOff(AQuotedIdentifier), OnOff(AAnsiNulls));
}

}  // namespace

QString TModuleSetOptions::CatalogueColumns() {
  return QStringLiteral(",m.uses_quoted_identifier AS %1,m.uses_ansi_nulls AS %2").arg(QuotedIdentifierColumn,
                                                                                        AnsiNullsColumn);
}

QString TModuleSetOptions::CatalogueJoin(const QString& ASchemaColumn, const QString& ANameColumn) {
  return QStringLiteral(" LEFT JOIN sys.sql_modules m ON m.object_id=OBJECT_ID(QUOTENAME(%1)+'.'+QUOTENAME(%2))")
      .arg(ASchemaColumn, ANameColumn);
}

void TModuleSetOptions::Load(TDataSet& ADataset) {
  FQuotedIdentifier = GetFieldFlag(ADataset, QuotedIdentifierColumn);
  FAnsiNulls = GetFieldFlag(ADataset, AnsiNullsColumn);
}

void TModuleSetOptions::AddTo(TXmlNode* ANode) const {
  if (FQuotedIdentifier)
    ANode->SetAttribute(QuotedIdentifierColumn, *FQuotedIdentifier ? QStringLiteral("1") : QStringLiteral("0"));
  if (FAnsiNulls)
    ANode->SetAttribute(AnsiNullsColumn, *FAnsiNulls ? QStringLiteral("1") : QStringLiteral("0"));
}

void TModuleSetOptions::Parse(const TXmlNode* ANode) {
  FQuotedIdentifier = AttributeOption(ANode, QuotedIdentifierColumn);
  FAnsiNulls = AttributeOption(ANode, AnsiNullsColumn);
}

QString TModuleSetOptions::SetStatements() const { return SetStatementsFor(*FQuotedIdentifier, *FAnsiNulls); }

QString TModuleSetOptions::Script(const QString& AAlter) const {
  // No gold text, no repair: SET statements alone would make an empty ALTER look repairable.
  if (AAlter.trimmed().isEmpty())
    return {};
  if (!Known())
    return QStringLiteral("-- The SET options this object was created with are not known: it is not altered.\r\n") +
           AAlter;
  return SetStatements() + BatchSeparator + AAlter;
}

void TModuleSetOptions::Execute(ISQL* ASQL, const QString& AObjectName, const QString& AScript) const {
  if (!Known())
    throw Exception(QStringLiteral("The SET options (QUOTED_IDENTIFIER, ANSI_NULLS) %1 was created with cannot be "
                                   "read, so it is not altered: an ALTER under other options would change it")
                        .arg(AObjectName));
  const qsizetype Separator = AScript.indexOf(BatchSeparator);
  if (Separator < 0)
    throw Exception(QStringLiteral("The repair script of %1 does not set the options it was created with").arg(AObjectName));
  TDataSet* Options = ASQL->FastQuery(QStringLiteral("SELECT @@OPTIONS"));
  const qint32 Session = Options->Fields(0).AsInteger();
  Options->Close();
  const QString Restore =
      SetStatementsFor((Session & QuotedIdentifierOption) != 0, (Session & AnsiNullsOption) != 0);
  RunThenRestore(ASQL, {AScript.left(Separator), AScript.mid(Separator + BatchSeparator.size())}, Restore);
}

}  // namespace quillon
