// The diff engine's failures, raised outside its inner loops so that they stay lean.
#include "diff/Diff.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

namespace quillon::diff_failure {

void SearchFailed(bool AIntegers) {
  throw Exception(AIntegers ? QStringLiteral("oops - error in RecursiveDiffInt()")
                            : QStringLiteral("oops - error in RecursiveDiffChr()"));
}

void LengthsOutOfRange(qint32 N, qint32 M, qint32 AMaxLength) {
  throw Exception(Format(QStringLiteral("Sequence lengths %d and %d are outside 0 … %d"), {N, M, AMaxLength}));
}

void IndexOutOfBounds(qint32 AIndex) {
  throw EListError(Format(QStringLiteral("List index out of bounds (%d)"), {AIndex}));
}

void AssertionFailed() {
  throw EAssertionFailed(QStringLiteral("oops!"));
}

}  // namespace quillon::diff_failure
