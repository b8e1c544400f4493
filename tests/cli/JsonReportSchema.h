#pragma once

#include <QByteArray>
#include <QJsonObject>

namespace quillon::test {

// A JSON report of the command line, checked against a JSON Schema of the repository (compare's
// report schema unless another is named) before it is read.
QJsonObject ValidJsonReport(const QByteArray& AReport, const char* ASchemaFile = QUILLON_REPORT_SCHEMA);

}  // namespace quillon::test
