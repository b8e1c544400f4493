// The base of every schema object: names, keys and the stored gold-standard text.
#pragma once

#include "infra/logging/Logging.Interfaces.h"
#include "model/Interfaces.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace quillon {

class TXmlNode;

// Schema and name of a catalogue object. Objects are owned by one list (or by whoever
// created them) and are never copied.
class TDatabaseObjectName : public IDbObjectName {
public:
  TDatabaseObjectName() = default;
  TDatabaseObjectName(const QString& ASchema, const QString& AName);
  TDatabaseObjectName(const TDatabaseObjectName&) = delete;
  TDatabaseObjectName& operator=(const TDatabaseObjectName&) = delete;

  const QString& SchemaName() const { return FSchema; }
  const QString& ObjectName() const { return FName; }

  // "[schema].[name]", nothing quoted further.
  QString FullName() const override;
  // The upper-cased FullName, or FullName itself for an object of a database whose collation
  // tells names apart by case: lists file objects under it.
  QString Key() const override;
  void SetCaseSensitiveKey(bool Value) { FCaseSensitiveKey = Value; }
  bool CaseSensitiveKey() const { return FCaseSensitiveKey; }
  // "schema.name", without brackets.
  QString StrippedName() const;
  void SetName(const QString& ASchema, const QString& AName);

protected:
  QString FSchema;
  QString FName;

private:
  bool FCaseSensitiveKey = false;
};

// Base of every schema object kind. A kind fills itself from its snapshot element (Parse) and
// writes that element (AddNode); the base versions of these two raise EAbstractError.
class TDatabaseObject : public TDatabaseObjectName, public virtual IStandardDefinition {
public:
  using TDatabaseObjectName::TDatabaseObjectName;

  // ltDebug when AObject is of exactly this class and its full name is the same ignoring the
  // case of ASCII letters; ltError otherwise. Kinds refine this, and say through ALog (when
  // given) why two objects differ.
  virtual TLogLevel Matches(const TDatabaseObject* AObject, ILog* ALog = nullptr) const;
  // Appends this object's element as the last child of AParentNode.
  virtual void AddNode(TXmlNode* AParentNode);
  virtual void Parse(const TXmlNode* AObjectNode);

  QString GetStandardDefinition() const override { return FStandardDefinition; }
  // Stored without leading and trailing white space and control characters.
  void SetStandardDefinition(const QString& AGoldStandardDefinition) override;

  // An object built from a snapshot element or a service page element in the same layout.
  template <class T>
  static std::unique_ptr<T> CreateFromNode(const TXmlNode* ANode) {
    auto Result = std::make_unique<T>();
    Result->Parse(ANode);
    return Result;
  }

protected:
  // Parse refuses an element of another name with EAssertionFailed "Assertion failure".
  static void AssertNodeName(const TXmlNode* AObjectNode, const QString& ANodeName);

  QString FStandardDefinition;
};

// A variant as text: null is the empty text, Booleans are "True"/"False".
QString VarToStr(const QVariant& AValue);
// A variant as an integer; raises EConvertError for null or a text that is not a number.
qint32 VarToInt(const QVariant& AValue);
// AText as an integer, ADefault when it is empty or not a number.
qint32 StrToIntDef(const QString& AText, qint32 ADefault);
// Upper-cases every letter, one character for one (so keys keep their length, as the
// platform's upper-casing does).
QString AnsiUpperCase(const QString& AText);
// Equal when the texts differ at most in the case of the ASCII letters a-z.
bool SameTextAscii(const QString& A, const QString& B);

// A T-SQL identifier in brackets, a closing bracket inside it doubled.
QString QuoteName(const QString& AName);

// The catalogue gives NULL for the source of an encrypted or CLR module, and for every module
// when the login lacks VIEW DEFINITION. Such a definition is unreadable, which is not the same
// as empty: the snapshot marks it with this attribute so that it reads back as unreadable.
inline const QString UnreadableAttribute = QStringLiteral("DEFINITION_UNREADABLE");
bool IsUnreadableNode(const TXmlNode* AObjectNode);
void MarkUnreadableNode(TXmlNode* AObjectNode, bool AUnreadable);
// Why an unreadable definition cannot be compared, sent or repaired, for messages.
inline const QString UnreadableReason = QStringLiteral("encrypted or no VIEW DEFINITION permission");

// The source text of a view or routine as its snapshot element carries it: framed by a
// carriage return and line feed before and after, so that it starts on a line of its own.
QString FramedSourceText(const QString& ASource);

}  // namespace quillon
