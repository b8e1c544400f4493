#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace quillon::test {

// Length of a longest common subsequence, by the textbook table: what a shortest edit script
// must match.
template <typename T>
qint32 ReferenceLcs(const std::vector<T>& A, const std::vector<T>& B) {
  std::vector<qint32> Row(B.size() + 1, 0);
  for (size_t i = 1; i <= A.size(); ++i) {
    qint32 Diagonal = 0;
    for (size_t j = 1; j <= B.size(); ++j) {
      const qint32 Above = Row[j];
      Row[j] = A[i - 1] == B[j - 1] ? Diagonal + 1 : std::max(Row[j], Row[j - 1]);
      Diagonal = Above;
    }
  }
  return Row[B.size()];
}

}  // namespace quillon::test
