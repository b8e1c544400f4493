#include "schema/ModuleSetOptions.h"

#include "schema/DatabaseObjects.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

namespace {

const QString QuotedIdentifierColumn = QStringLiteral("USES_QUOTED_IDENTIFIER");
const QString AnsiNullsColumn = QStringLiteral("USES_ANSI_NULLS");

std::optional<bool> AttributeOption(const TXmlNode* ANode, const QString& AName) {
  const QString Value = ANode->Attribute(AName);
  if (Value == u"1")
    return true;
  if (Value == u"0")
    return false;
  return std::nullopt;
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

}  // namespace quillon
