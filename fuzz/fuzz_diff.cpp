// The diff engine on two sequences cut from the input at its first byte's share, over a small
// alphabet so that there is much to match: a valid script (every element once, in order, the
// records holding the elements they name, matches equal) and a shortest one (its matches a
// longest common subsequence), for integer and character runs alike.
#include "FuzzSupport.h"

#include "diff/Diff.h"
#include "support/LongestCommonSubsequence.h"

#include <vector>

using namespace quillon;

namespace {

template <typename T>
void CheckScript(const std::vector<T>& A, const std::vector<T>& B) {
  TDiff Diff;
  fuzz::Check("the diff does not run", Diff.Execute(A.data(), B.data(), qint32(A.size()), qint32(B.size())));
  qint32 Next1 = 0;
  qint32 Next2 = 0;
  TDiffStats Counted;
  for (qint32 I = 0; I < Diff.Count(); ++I) {
    const TCompareRec R = Diff.Compares(I);
    if (R.Kind != ckAdd) {
      fuzz::Check("the first sequence out of order", R.oldIndex1 == Next1++);
      fuzz::Check("a record names another element", R.int1 == qint32(A[R.oldIndex1]));
    }
    if (R.Kind != ckDelete) {
      fuzz::Check("the second sequence out of order", R.oldIndex2 == Next2++);
      fuzz::Check("a record names another element", R.int2 == qint32(B[R.oldIndex2]));
    }
    if (R.Kind == ckNone)
      fuzz::Check("a match of different elements", A[R.oldIndex1] == B[R.oldIndex2]);
    (R.Kind == ckNone ? Counted.matches : R.Kind == ckAdd ? Counted.adds : R.Kind == ckDelete ? Counted.deletes : Counted.modifies)++;
  }
  fuzz::Check("elements left out", Next1 == qint32(A.size()) && Next2 == qint32(B.size()));
  fuzz::Check("statistics that do not count the records", Diff.DiffStats() == Counted);
  fuzz::Check("not a shortest script", Counted.matches == test::ReferenceLcs(A, B));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize == 0 || ASize > 4000)
    return 0;
  const size_t Split = 1 + (ASize - 1) * AData[0] / 256;
  std::vector<qint32> Ints1, Ints2;
  std::vector<char16_t> Chars1, Chars2;
  for (size_t I = 1; I < ASize; ++I) {
    (I < Split ? Ints1 : Ints2).push_back(AData[I] % 8);
    (I < Split ? Chars1 : Chars2).push_back(char16_t(u'a' + AData[I] % 8));
  }
  CheckScript(Ints1, Ints2);
  CheckScript(Chars1, Chars2);
  return 0;
}
