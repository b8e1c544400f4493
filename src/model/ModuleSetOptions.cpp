// The SET options a view or routine was created with.
#include "model/ModuleSetOptions.h"

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
