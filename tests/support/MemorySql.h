#pragma once

#include "database/Database.Interfaces.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <tuple>

namespace quillon::test {

// One scripted result set: column names and rows (a null QVariant is a NULL). With FailAtRow
// set, fetching that row (0 = the first) raises Exception(FailMessage), as a connection lost
// in the middle of a result would.
struct TScriptedResult {
  QStringList Fields;
  QList<QVariantList> Rows;
  qsizetype FailAtRow = -1;
  QString FailMessage = QStringLiteral("Connection lost");
};

// One statement the double received, in order; failed ones included.
struct TSqlCall {
  enum TKind { Query, Command };
  TKind Kind;
  QString Text;
  QVariantList Params;
  bool HasParams;

  bool operator==(const TSqlCall&) const = default;
};

// An in-memory ISQL for unit tests. Queries are answered from results scripted by their exact
// text (and, where given, their parameter values); commands return 1. Every statement is
// recorded with its parameters. FailOn makes a statement raise instead. Like the real
// connection it has one result-set object, which the next FastQuery closes and reuses, and it
// refuses every statement while disconnected with "Implicit connect not allowed".
// A query nobody scripted raises, so that a test notices a query text it did not expect.
class TMemorySQL : public ISQL {
public:
  TMemorySQL();
  ~TMemorySQL() override;

  // Answers AQuery with AResult from now on (replacing an earlier script for that text).
  void AddResult(const QString& AQuery, TScriptedResult AResult);
  void AddResult(const QString& AQuery, const QStringList& AFields, const QList<QVariantList>& ARows);
  // Answers AQuery with these parameter values only; takes precedence over the script by text.
  void AddParamResult(const QString& AQuery, const QVariantList& AParams, TScriptedResult AResult);
  // Statements with this exact text raise: ARaise throws the exception to be seen.
  void FailOn(const QString& AText, std::function<void()> ARaise);
  void FailOn(const QString& AText, const QString& AMessage);

  QList<TSqlCall> Calls;
  QStringList QueryTexts() const;
  QStringList CommandTexts() const;
  // The one result-set object that FastQuery hands out.
  TDataSet& DataSet();

  void SetConnectionString(const QString& Value) { FConnectionString = Value; }

  QString GetConnectionString() override { return FConnectionString; }
  bool GetConnected() override { return FConnected; }
  void Connect() override { FConnected = true; }
  void Disconnect() override;
  qint32 ExecuteCommand(const QString& ASQL) override;
  qint32 ExecuteCommand(const QString& ASQL, const QVariantList& AParams) override;
  TDataSet* FastQuery(const QString& ASQL) override;
  TDataSet* FastQuery(const QString& ASQL, const QVariantList& AParams) override;

private:
  class TMemoryDataSet;

  void Record(TSqlCall::TKind AKind, const QString& ASQL, const QVariantList& AParams, bool AHasParams);
  TDataSet* Query(const QString& ASQL, const QVariantList& AParams, bool AHasParams);

  QHash<QString, TScriptedResult> FResults;
  QList<std::tuple<QString, QVariantList, TScriptedResult>> FParamResults;
  QHash<QString, std::function<void()>> FFailures;
  std::unique_ptr<TMemoryDataSet> FDataSet;
  QString FConnectionString = QStringLiteral("Provider=Memory");
  bool FConnected = true;
};

}  // namespace quillon::test
