// The SOAP reader: what the quick scanner reads from an answer, the full reader reads alike;
// what the full reader refuses, the scanner leaves to it. The first byte picks the operation.
#include "FuzzSupport.h"

#include "service/Service.Soap.h"
#include "service/Service.SoapScanner.h"

#include <optional>

using namespace quillon;

namespace {

struct TOperation {
  const char* Name;
  const char* ResultElement;
};

constexpr TOperation Operations[] = {
    {"GetDbView", "ViewDefinition"},
    {"GetDbRoutine", "SourceCode"},
    {"GetDbIndex", "IsUnique"},
    {"SaveDbView", nullptr},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize == 0)
    return 0;
  const TOperation& Operation = Operations[AData[0] % std::size(Operations)];
  const QByteArray Body = fuzz::Bytes(AData + 1, ASize - 1);
  const QString Name = QString::fromLatin1(Operation.Name);
  const std::optional<QString> Quick =
      ScanPlainSoapAnswer(Body, Name + QStringLiteral("Response"), Operation.ResultElement);
  if (!Quick) {
    try {
      ReadFullSoapAnswer(Body, Name, Operation.ResultElement);
    } catch (const EMalformedResponse&) {
    }
    return 0;
  }
  std::optional<QString> Full;
  try {
    Full = ReadFullSoapAnswer(Body, Name, Operation.ResultElement);
  } catch (const EMalformedResponse& E) {
    fuzz::Fail("the full reader refuses what the scanner accepted", Quick->toStdString(), E.Message().toStdString());
  }
  fuzz::Check("the scanner read a result from a fault", Full.has_value());
  fuzz::CheckSame("scanner and full reader read different results", *Quick, *Full);
  return 0;
}
