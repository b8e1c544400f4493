// A forward-only, read-only result set and the fields of its current row.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace quillon {

// One column of the current row of a result set.
class TField {
public:
  TField(QString AFieldName, qint32 AIndex) : FFieldName(std::move(AFieldName)), FIndex(AIndex) {}

  const QString& FieldName() const { return FFieldName; }
  qint32 Index() const { return FIndex; }
  bool IsNull() const { return FValue.isNull(); }
  // A null value reads as the empty text, 0, false or 0.0.
  QVariant AsVariant() const { return FValue; }
  QString AsString() const;
  // Raises EConvertError "'%s' is not a valid integer value" for a text that is not a number.
  qint32 AsInteger() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;

  void SetValue(QVariant AValue) { FValue = std::move(AValue); }

private:
  QString FFieldName;
  qint32 FIndex;
  QVariant FValue;
};

// A forward-only, read-only result set positioned on a row; Eof() is true past the last row.
// The concrete source (the ODBC connection, or a scripted set in tests) supplies the column
// names and fetches one row at a time.
class TDataSet {
public:
  virtual ~TDataSet() = default;
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  bool Active() const { return FActive; }
  bool Eof() const { return FEof; }
  void Next();
  // Closing twice is harmless.
  void Close();

  qint32 FieldCount() const { return static_cast<qint32>(FFields.size()); }
  TField& Fields(qint32 AIndex);
  // Case-insensitive lookup; nullptr when there is no such column.
  TField* FindField(const QString& AFieldName);
  // Raises Exception "Field '%s' not found" when there is no such column.
  TField& FieldByName(const QString& AFieldName);

protected:
  TDataSet() = default;
  // Starts a new result with these columns and reads its first row.
  void Open(const QStringList& AFieldNames);
  // Fills AValues (one per column, a null QVariant for NULL) with the next row; false at the end.
  virtual bool FetchRow(QVector<QVariant>& AValues) = 0;
  virtual void DoClose() = 0;

private:
  QVector<TField> FFields;
  QVector<QVariant> FRow;
  bool FActive = false;
  bool FEof = true;
};

}  // namespace quillon
