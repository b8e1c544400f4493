#include "JsonReportSchema.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon::test {

QJsonObject ValidJsonReport(const QByteArray& AReport, const char* ASchemaFile) {
  QTemporaryDir Dir;
  QFile File(Dir.filePath(QStringLiteral("report.json")));
  EXPECT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(AReport);
  File.close();
  QProcess Validator;
  Validator.start(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import json, sys, jsonschema\n"
                                  "jsonschema.Draft202012Validator(json.load(open(sys.argv[1]))).validate(json.load(open(sys.argv[2])))"),
                   QString::fromUtf8(ASchemaFile), File.fileName()});
  EXPECT_TRUE(Validator.waitForFinished(30000));
  EXPECT_EQ(Validator.exitCode(), 0) << Validator.readAllStandardError().toStdString() << AReport.toStdString();
  return QJsonDocument::fromJson(AReport).object();
}

}  // namespace quillon::test
