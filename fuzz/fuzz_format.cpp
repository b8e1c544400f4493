// Format with any template over arguments of every kind the messages pass: a text or an
// EConvertError, never undefined behaviour or an outsized allocation.
#include "FuzzSupport.h"

#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

#include <limits>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const QVariantList Arguments = {
      QStringLiteral("text"),
      std::numeric_limits<qint64>::min(),
      std::numeric_limits<quint64>::max(),
      -1,
      std::numeric_limits<qint32>::max(),
      1e300,
      -0.5,
      QByteArray("bytes"),
      4096,
      QString(),
  };
  const QString Template = fuzz::Utf16(AData, ASize);
  try {
    const QString Result = Format(Template, Arguments);
    // Each specifier takes two characters at least and gives a few thousand at most.
    fuzz::Check("a result out of all proportion to its template", Result.size() <= 3000 * Template.size());
  } catch (const EConvertError&) {
  }
  return 0;
}
