#include "support/MemorySql.h"

#include "infra/platform/Support.Exceptions.h"

namespace quillon::test {

class TMemorySQL::TMemoryDataSet : public TDataSet {
public:
  void Start(const TScriptedResult& AResult) {
    FResult = AResult;
    FNextRow = 0;
    Open(FResult.Fields);
  }

protected:
  bool FetchRow(QVector<QVariant>& AValues) override {
    if (FNextRow == FResult.FailAtRow)
      throw Exception(FResult.FailMessage);
    if (FNextRow >= FResult.Rows.size())
      return false;
    const QVariantList& Row = FResult.Rows.at(FNextRow++);
    for (qsizetype I = 0; I < AValues.size() && I < Row.size(); ++I)
      AValues[I] = Row.at(I);
    return true;
  }
  void DoClose() override { FResult = TScriptedResult(); }

private:
  TScriptedResult FResult;
  qsizetype FNextRow = 0;
};

TMemorySQL::TMemorySQL() : FDataSet(std::make_unique<TMemoryDataSet>()) {}

TMemorySQL::~TMemorySQL() = default;

void TMemorySQL::AddResult(const QString& AQuery, TScriptedResult AResult) { FResults.insert(AQuery, std::move(AResult)); }

void TMemorySQL::AddResult(const QString& AQuery, const QStringList& AFields, const QList<QVariantList>& ARows) {
  TScriptedResult Result;
  Result.Fields = AFields;
  Result.Rows = ARows;
  AddResult(AQuery, std::move(Result));
}

void TMemorySQL::AddParamResult(const QString& AQuery, const QVariantList& AParams, TScriptedResult AResult) {
  FParamResults.append({AQuery, AParams, std::move(AResult)});
}

void TMemorySQL::FailOn(const QString& AText, std::function<void()> ARaise) { FFailures.insert(AText, std::move(ARaise)); }

void TMemorySQL::FailOn(const QString& AText, const QString& AMessage) {
  FailOn(AText, [AMessage] { throw Exception(AMessage); });
}

QStringList TMemorySQL::QueryTexts() const {
  QStringList Result;
  for (const TSqlCall& Call : Calls)
    if (Call.Kind == TSqlCall::Query)
      Result.append(Call.Text);
  return Result;
}

QStringList TMemorySQL::CommandTexts() const {
  QStringList Result;
  for (const TSqlCall& Call : Calls)
    if (Call.Kind == TSqlCall::Command)
      Result.append(Call.Text);
  return Result;
}

TDataSet& TMemorySQL::DataSet() { return *FDataSet; }

void TMemorySQL::Disconnect() {
  FDataSet->Close();
  FConnected = false;
}

void TMemorySQL::Record(TSqlCall::TKind AKind, const QString& ASQL, const QVariantList& AParams, bool AHasParams) {
  if (!FConnected)
    throw Exception(QStringLiteral("Implicit connect not allowed"));
  Calls.append({AKind, ASQL, AParams, AHasParams});
  const auto Failure = FFailures.constFind(ASQL);
  if (Failure != FFailures.constEnd())
    (*Failure)();
}

qint32 TMemorySQL::ExecuteCommand(const QString& ASQL) {
  Record(TSqlCall::Command, ASQL, {}, false);
  return 1;
}

qint32 TMemorySQL::ExecuteCommand(const QString& ASQL, const QVariantList& AParams) {
  Record(TSqlCall::Command, ASQL, AParams, true);
  return 1;
}

TDataSet* TMemorySQL::FastQuery(const QString& ASQL) { return Query(ASQL, {}, false); }

TDataSet* TMemorySQL::FastQuery(const QString& ASQL, const QVariantList& AParams) { return Query(ASQL, AParams, true); }

TDataSet* TMemorySQL::Query(const QString& ASQL, const QVariantList& AParams, bool AHasParams) {
  Record(TSqlCall::Query, ASQL, AParams, AHasParams);
  FDataSet->Close();
  for (const auto& [Text, Params, Result] : FParamResults)
    if (Text == ASQL && Params == AParams) {
      FDataSet->Start(Result);
      return FDataSet.get();
    }
  const auto Found = FResults.constFind(ASQL);
  if (Found == FResults.constEnd())
    throw Exception(QStringLiteral("TMemorySQL: no result scripted for: ") + ASQL);
  FDataSet->Start(*Found);
  return FDataSet.get();
}

}  // namespace quillon::test
