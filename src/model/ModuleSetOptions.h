// The SET options a view or routine was created with.
#pragma once

#include <QString>

#include <optional>

namespace quillon {

class TXmlNode;

// The SET options a view or routine was created with. SQL Server keeps QUOTED_IDENTIFIER and
// ANSI_NULLS with the module and an ALTER replaces them with the session's, so a module written
// with QUOTED_IDENTIFIER OFF (double-quoted strings) would stop compiling, and one written with
// ANSI_NULLS OFF would compare NULL differently. Unknown when the catalogue did not say (no
// sys.sql_modules row, an older server, or a snapshot written before they were kept).
class TModuleSetOptions {
public:
  TModuleSetOptions() = default;
  TModuleSetOptions(std::optional<bool> AQuotedIdentifier, std::optional<bool> AAnsiNulls)
      : FQuotedIdentifier(AQuotedIdentifier), FAnsiNulls(AAnsiNulls) {}

  // Optional attributes of the object's snapshot element.
  void AddTo(TXmlNode* ANode) const;
  void Parse(const TXmlNode* ANode);

  bool Known() const { return FQuotedIdentifier.has_value() && FAnsiNulls.has_value(); }
  const std::optional<bool>& QuotedIdentifier() const { return FQuotedIdentifier; }
  const std::optional<bool>& AnsiNulls() const { return FAnsiNulls; }

private:
  std::optional<bool> FQuotedIdentifier;
  std::optional<bool> FAnsiNulls;
};

}  // namespace quillon
