#pragma once

#include "gold/Gold.Progress.h"

#include <QList>
#include <QStringList>

namespace quillon::test {

// An IDbProgress that records every report in order: "S:<status>", "P:<fraction>" and
// "A:<text>", and keeps the reported objects.
class TRecordingProgress : public IDbProgress {
public:
  QStringList Reports;
  QList<TDatabaseObject*> Anomalies;

  void ShowStatus(const QString& AText) override { Reports.append(QStringLiteral("S:") + AText); }
  void ShowProgress(double AFraction) override { Reports.append(QStringLiteral("P:") + QString::number(AFraction)); }
  void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) override {
    Reports.append(QStringLiteral("A:") + AText);
    Anomalies.append(AObject);
  }

  // The texts of the anomaly reports, in order.
  QStringList AnomalyNames() const {
    QStringList Result;
    for (const QString& Report : Reports)
      if (Report.startsWith(QStringLiteral("A:")))
        Result.append(Report.mid(2));
    return Result;
  }
  void Clear() {
    Reports.clear();
    Anomalies.clear();
  }
};

}  // namespace quillon::test
