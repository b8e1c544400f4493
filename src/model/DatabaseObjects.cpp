// The base of every schema object: names, keys and the stored gold-standard text.
#include "model/DatabaseObjects.h"

#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

#include <typeinfo>

namespace quillon {

TDatabaseObjectName::TDatabaseObjectName(const QString& ASchema, const QString& AName)
    : FSchema(ASchema), FName(AName) {}

QString TDatabaseObjectName::FullName() const {
  return QLatin1Char('[') + FSchema + QLatin1String("].[") + FName + QLatin1Char(']');
}

QString TDatabaseObjectName::Key() const { return FCaseSensitiveKey ? FullName() : AnsiUpperCase(FullName()); }

QString QuoteName(const QString& AName) {
  QString Escaped = AName;
  Escaped.replace(QLatin1Char(']'), QLatin1String("]]"));
  return QLatin1Char('[') + Escaped + QLatin1Char(']');
}

QString TDatabaseObjectName::StrippedName() const { return FSchema + QLatin1Char('.') + FName; }

void TDatabaseObjectName::SetName(const QString& ASchema, const QString& AName) {
  FSchema = ASchema;
  FName = AName;
}

TLogLevel TDatabaseObject::Matches(const TDatabaseObject* AObject, ILog*) const {
  if (!AObject || typeid(*AObject) != typeid(*this))
    return ltError;
  const QString Mine = FullName();
  const QString Theirs = AObject->FullName();
  if (Mine == Theirs)
    return ltDebug;
  if (Mine.isEmpty() || Theirs.isEmpty())
    return ltError;
  return SameTextAscii(Mine, Theirs) ? ltDebug : ltError;
}

void TDatabaseObject::AddNode(TXmlNode*) { throw EAbstractError(); }
void TDatabaseObject::Parse(const TXmlNode*) { throw EAbstractError(); }

void TDatabaseObject::SetStandardDefinition(const QString& AGoldStandardDefinition) {
  FStandardDefinition = Trim(AGoldStandardDefinition);
}

void TDatabaseObject::AssertNodeName(const TXmlNode* AObjectNode, const QString& ANodeName) {
  Assert(AObjectNode->IsElement() && AObjectNode->NodeName() == ANodeName, QStringLiteral("Assertion failure"));
}

bool IsUnreadableNode(const TXmlNode* AObjectNode) {
  return AObjectNode->Attribute(UnreadableAttribute) == QLatin1String("true");
}

void MarkUnreadableNode(TXmlNode* AObjectNode, bool AUnreadable) {
  if (AUnreadable)
    AObjectNode->SetAttribute(UnreadableAttribute, QStringLiteral("true"));
}

QString FramedSourceText(const QString& ASource) {
  return QStringLiteral("\r\n") + ASource + QStringLiteral("\r\n");
}

QString VarToStr(const QVariant& AValue) {
  if (AValue.isNull())
    return QString();
  if (AValue.typeId() == QMetaType::Bool)
    return AValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  return AValue.toString();
}

qint32 VarToInt(const QVariant& AValue) {
  if (AValue.isNull())
    throw EConvertError(QStringLiteral("Could not convert variant of type (Null) into type (Integer)"));
  switch (AValue.typeId()) {
    case QMetaType::QString:
      return StrToInt(AValue.toString());
    case QMetaType::Double:
    case QMetaType::Float:
      return static_cast<qint32>(qRound64(AValue.toDouble()));
    default:
      return static_cast<qint32>(AValue.toLongLong());
  }
}

qint32 StrToIntDef(const QString& AText, qint32 ADefault) {
  qint32 Result = 0;
  return TryStrToInt(AText, Result) ? Result : ADefault;
}

QString AnsiUpperCase(const QString& AText) {
  QString Result = AText;
  char16_t* Data = reinterpret_cast<char16_t*>(Result.data());
  const qsizetype Length = Result.size();
  for (qsizetype I = 0; I < Length; ++I) {
    const char16_t C = Data[I];
    if (C < 0x80) {
      if (C >= u'a' && C <= u'z')
        Data[I] = C - (u'a' - u'A');
    } else if (QChar::isHighSurrogate(C) && I + 1 < Length && QChar::isLowSurrogate(Data[I + 1])) {
      const char32_t Upper = QChar::toUpper(QChar::surrogateToUcs4(C, Data[I + 1]));
      if (QChar::requiresSurrogates(Upper)) {
        Data[I] = QChar::highSurrogate(Upper);
        Data[I + 1] = QChar::lowSurrogate(Upper);
      }
      ++I;
    } else {
      Data[I] = QChar::toUpper(C);
    }
  }
  return Result;
}

bool SameTextAscii(const QString& A, const QString& B) {
  if (A.size() != B.size())
    return false;
  for (qsizetype I = 0; I < A.size(); ++I) {
    char16_t X = A.at(I).unicode();
    char16_t Y = B.at(I).unicode();
    if (X >= u'a' && X <= u'z')
      X -= u'a' - u'A';
    if (Y >= u'a' && Y <= u'z')
      Y -= u'a' - u'A';
    if (X != Y)
      return false;
  }
  return true;
}

}  // namespace quillon
