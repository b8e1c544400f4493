// The line diff engine: the edit script between two sequences of line hashes or characters,
// and its statistics.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

namespace quillon {

enum TChangeKind : quint8 { ckNone, ckAdd, ckDelete, ckModify };

// One output row of a diff. For ckDelete the second index is the last element of the second
// sequence consumed when the record was appended (-1 if none) and the second value is 0;
// ckAdd mirrors that.
// The values hold the compared elements: int1/int2 for integer runs, chr1/chr2 for
// character runs (stored zero-extended, so int1/int2 read the same code unit).
struct TCompareRec {
  TChangeKind Kind;
  qint32 oldIndex1;
  qint32 oldIndex2;
  union {
    qint32 int1;
    char16_t chr1;
  };
  union {
    qint32 int2;
    char16_t chr2;
  };
};
static_assert(sizeof(TCompareRec) == 20, "a compare record is a fixed 20-byte record");

struct TDiffStats {
  qint32 matches = 0;
  qint32 adds = 0;
  qint32 deletes = 0;
  qint32 modifies = 0;

  bool operator==(const TDiffStats&) const = default;
};

// The engine raises its failures through these. They live in a unit of their own so that the
// engine alone needs no Qt library at run time: a program that builds the engine without that
// unit (the command-line benchmark) supplies its own.
namespace diff_failure {
// Exception "oops - error in RecursiveDiffInt()", or …Chr() for characters.
[[noreturn]] void SearchFailed(bool AIntegers);
// Exception "Sequence lengths N and M are outside 0 … AMaxLength".
[[noreturn]] void LengthsOutOfRange(qint32 N, qint32 M, qint32 AMaxLength);
// EListError "List index out of bounds (AIndex)".
[[noreturn]] void IndexOutOfBounds(qint32 AIndex);
// EAssertionFailed "oops!".
[[noreturn]] void AssertionFailed();
}  // namespace diff_failure

// Shortest edit script between two sequences by the linear-space middle-snake search, as an
// ordered list of records: matches, additions, deletions, and modifications (a run of
// deletions directly followed by a run of additions, or the reverse, paired element by
// element). The sequences are borrowed: they must stay valid until the next Clear.
//
// The search costs about the product of the length and the number of differences. When a
// run has spent its budget of diagonal steps, it starts again without the elements that have
// no equal on the other side: they can never be matched, so the script stays a shortest one,
// but the search no longer walks them. Between two matches such a run then lists every
// deletion before every addition, so it may pair equally short alternatives differently
// from a run that stays within the budget. Memory beyond the result stays within a few
// vectors of the input's size: the two diagonal vectors and a byte per element of each side,
// and after a restart the matchable elements with their indexes and a set of the values of
// the second side.
class TDiff {
public:
  static constexpr qint32 MaxSearchBound = 16777215;
  static constexpr qint32 MaxIntLength = (1 << 29) - 1;
  static constexpr qint32 MaxChrLength = (1 << 30) - 1;
  // A fraction of a millisecond of search: texts with up to several hundred differing
  // elements stay within it.
  static constexpr qint64 DefaultSearchBudget = 250000;

  // AMaxSearchBound caps the diagonals searched per split; a smaller cap lets the
  // out-of-bound failure be exercised without gigabytes of input. ASearchBudget is the
  // number of diagonal steps after which a run starts again on the elements that have an
  // equal on the other side (0: at the first step).
  explicit TDiff(qint32 AMaxSearchBound = MaxSearchBound, qint64 ASearchBudget = DefaultSearchBudget);
  ~TDiff();
  TDiff(const TDiff&) = delete;
  TDiff& operator=(const TDiff&) = delete;

  // Both answer false, doing nothing, while a run is in progress. A failed search raises
  // Exception("oops - error in RecursiveDiffInt()") (…Chr() for characters); the records
  // appended before the failure stay until the next Clear.
  bool Execute(const qint32* pints1, const qint32* pints2, qint32 len1, qint32 len2);
  bool Execute(const char16_t* pchrs1, const char16_t* pchrs2, qint32 len1, qint32 len2);
  void Clear();

  qint32 Count() const { return static_cast<qint32>(fCompareList.size()); }
  // Raises EListError for an index outside 0 … Count - 1.
  TCompareRec GetCompare(qint32 index) const;
  TCompareRec Compares(qint32 index) const { return GetCompare(index); }
  TDiffStats DiffStats() const { return fDiffStats; }
  bool Executing() const { return fExecuting.load(); }

private:
  template <typename T>
  bool Run(const T* A, const T* B, qint32 N, qint32 M);
  template <typename T>
  const T* First() const;
  template <typename T>
  const T* Second() const;
  template <typename T>
  void SearchWithinBudget(qint32 p, qint32 n, qint32 m);
  template <typename T>
  void SearchMatchableElements(qint32 p, qint32 n, qint32 m);
  template <typename T>
  struct TSearched;
  template <typename T>
  bool RecursiveDiff(const TSearched<T>& S, qint32 o1, qint32 o2, qint32 N, qint32 M);
  template <typename T>
  void ReportChanges(qint32 o1, qint32 count, TChangeKind kind);
  template <typename T>
  void AppendMatchableMatchesUpTo(qint32 ALast);
  template <typename T>
  void AppendGapBefore(qint32 AIndex1, qint32 AIndex2);
  template <typename T>
  void AppendChanges(qint32 o1, qint32 count, TChangeKind kind);
  template <typename T>
  void AppendMatchesUpTo(qint32 ALast);
  void Append(const TCompareRec& ARec);
  void PairWithTrailingRun(TChangeKind ARunKind, qint32 AIndex, qint32 AValue);
  void RestartRecords();
  void ResetDiagonals(qint32 N, qint32 M);
  void WidenDiagonals(qint32 ALow, qint32 AHigh);

  std::vector<TCompareRec> fCompareList;
  // Atomic so that a caller on another thread reads it safely; the guard itself is meant
  // for re-entry on the same thread.
  std::atomic<bool> fExecuting = false;
  std::unique_ptr<qint32[]> fDiagBuffer;
  std::unique_ptr<qint32[]> bDiagBuffer;
  const char16_t* Chrs1 = nullptr;
  const char16_t* Chrs2 = nullptr;
  const qint32* Ints1 = nullptr;
  const qint32* Ints2 = nullptr;
  TCompareRec LastCompareRec{};
  // Centres of the diagonal vectors: fDiag[k] for k in -(D0 + 1) … D0 + 1.
  qint32* fDiag = nullptr;
  qint32* bDiag = nullptr;
  TDiffStats fDiffStats;
  qint32 fMaxSearchBound;
  qint32 fDiagRadius = 0;
  // The diagonals of the current search that hold valid values.
  qint32 fDiagLow = 0;
  qint32 fDiagHigh = 0;
  // The first record of the run of records of one kind that ends the list.
  size_t fRunStart = 0;
  qint64 fSearchBudget;
  // Diagonal steps the run may still take before it starts again; the search of the
  // matchable elements runs without a limit.
  qint64 fStepsLeft = 0;
  // While the matchable elements are searched: the original index of each of them, and the
  // last of them consumed on each side (the search's own cursor).
  const qint32* fMatchable1 = nullptr;
  const qint32* fMatchable2 = nullptr;
  qint32 fMatchableLast1 = -1;
  qint32 fMatchableLast2 = -1;
};

}  // namespace quillon
