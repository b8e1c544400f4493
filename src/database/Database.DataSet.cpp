// A forward-only, read-only result set and the fields of its current row.
#include "database/Database.DataSet.h"

#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

namespace quillon {

QString TField::AsString() const {
  if (FValue.isNull())
    return QString();
  if (FValue.typeId() == QMetaType::Bool)
    return FValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  return FValue.toString();
}

qint32 TField::AsInteger() const {
  if (FValue.isNull())
    return 0;
  switch (FValue.typeId()) {
    case QMetaType::Bool:
      return FValue.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
      return static_cast<qint32>(FValue.toLongLong());
    default:
      return StrToInt(Trim(FValue.toString()));
  }
}

bool TField::AsBoolean() const {
  if (FValue.isNull())
    return false;
  if (FValue.typeId() == QMetaType::QString) {
    const QString Text = Trim(FValue.toString());
    if (Text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
      return true;
    if (Text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
      return false;
    return StrToInt(Text) != 0;
  }
  return FValue.toLongLong() != 0;
}

TDateTime TField::AsDateTime() const {
  if (FValue.isNull())
    return 0.0;
  if (FValue.typeId() == QMetaType::QDateTime)
    return DateTimeFromQDateTime(FValue.toDateTime());
  if (FValue.typeId() == QMetaType::QDate)
    return DateTimeFromQDateTime(FValue.toDate().startOfDay());
  if (FValue.typeId() == QMetaType::Double)
    return FValue.toDouble();
  const QDateTime Parsed = QDateTime::fromString(FValue.toString(), Qt::ISODateWithMs);
  if (!Parsed.isValid())
    throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(FValue.toString()));
  return DateTimeFromQDateTime(Parsed);
}

void TDataSet::Open(const QStringList& AFieldNames) {
  FFields.clear();
  FFields.reserve(AFieldNames.size());
  for (qsizetype I = 0; I < AFieldNames.size(); ++I)
    FFields.append(TField(AFieldNames.at(I), static_cast<qint32>(I)));
  FActive = true;
  FEof = false;
  Next();
}

void TDataSet::Next() {
  if (!FActive || FEof)
    return;
  FRow.fill(QVariant(), FFields.size());
  if (!FetchRow(FRow)) {
    FEof = true;
    for (TField& Field : FFields)
      Field.SetValue(QVariant());
    return;
  }
  for (qsizetype I = 0; I < FFields.size(); ++I)
    FFields[I].SetValue(std::move(FRow[I]));
}

void TDataSet::Close() {
  if (!FActive)
    return;
  FActive = false;
  FEof = true;
  DoClose();
}

TField& TDataSet::Fields(qint32 AIndex) {
  if (AIndex < 0 || AIndex >= FFields.size())
    throw EListError(Format(QStringLiteral("List index out of bounds (%d)"), {AIndex}));
  return FFields[AIndex];
}

TField* TDataSet::FindField(const QString& AFieldName) {
  for (TField& Field : FFields)
    if (Field.FieldName().compare(AFieldName, Qt::CaseInsensitive) == 0)
      return &Field;
  return nullptr;
}

TField& TDataSet::FieldByName(const QString& AFieldName) {
  TField* Field = FindField(AFieldName);
  if (!Field)
    throw Exception(Format(QStringLiteral("Field '%s' not found"), {AFieldName}));
  return *Field;
}

}  // namespace quillon
