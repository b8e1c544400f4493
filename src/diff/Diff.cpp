// The line diff engine: the edit script between two sequences of line hashes or characters,
// and its statistics.
#include "diff/Diff.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <type_traits>

namespace quillon {

static_assert(std::endian::native == std::endian::little,
              "chr1/chr2 overlay the low half of int1/int2");

namespace {

constexpr qint32 NegativeInfinity = -2147483647;
constexpr qint32 PositiveInfinity = 2147483647;

// The distinct values of one sequence, each marked once the other sequence is found to hold
// it too: open addressing with linear probing, at most half full.
class TValueSet {
public:
  explicit TValueSet(size_t ACount)
      : fShift(64 - std::bit_width(std::bit_ceil(std::max<size_t>(2 * ACount, 16)) - 1)),
        fMask((size_t{1} << (64 - fShift)) - 1),
        fValues(std::make_unique_for_overwrite<quint32[]>(fMask + 1)),
        fStates(std::make_unique<quint8[]>(fMask + 1)) {}

  void Insert(quint32 AValue) {
    const size_t Slot = Find(AValue);
    if (fStates[Slot] == Empty) {
      fValues[Slot] = AValue;
      fStates[Slot] = Held;
    }
  }
  bool MarkIfHeld(quint32 AValue) {
    const size_t Slot = Find(AValue);
    if (fStates[Slot] == Empty)
      return false;
    fStates[Slot] = Marked;
    return true;
  }
  bool IsMarked(quint32 AValue) const { return fStates[Find(AValue)] == Marked; }

private:
  enum : quint8 { Empty, Held, Marked };

  // Fibonacci hashing spreads small values (characters, test sequences) as well as line hashes.
  size_t Find(quint32 AValue) const {
    size_t Slot = static_cast<size_t>((AValue * 0x9E3779B97F4A7C15ull) >> fShift);
    while (fStates[Slot] != Empty && fValues[Slot] != AValue)
      Slot = (Slot + 1) & fMask;
    return Slot;
  }

  int fShift;
  size_t fMask;
  std::unique_ptr<quint32[]> fValues;
  std::unique_ptr<quint8[]> fStates;
};

// The elements of one side that have an equal on the other, and their indexes.
template <typename T>
struct TMatchable {
  std::vector<T> Values;
  std::vector<qint32> Indexes;
};

template <typename T>
void KeepIf(const T* A, qint32 p, qint32 n, TMatchable<T>& AKept, auto AKeep) {
  for (qint32 i = p; i < p + n; ++i)
    if (AKeep(static_cast<quint32>(A[i]))) {
      AKept.Values.push_back(A[i]);
      AKept.Indexes.push_back(i);
    }
}

// One pass over each side: the elements of A[p … p+n-1] and of B[p … p+m-1] that have an
// equal on the other side.
template <typename T>
void KeepMatchable(const T* A, const T* B, qint32 p, qint32 n, qint32 m, TMatchable<T>& AKept1,
                   TMatchable<T>& AKept2) {
  TValueSet Values2(static_cast<size_t>(m));
  for (qint32 j = p; j < p + m; ++j)
    Values2.Insert(static_cast<quint32>(B[j]));
  KeepIf(A, p, n, AKept1, [&](quint32 AValue) { return Values2.MarkIfHeld(AValue); });
  KeepIf(B, p, m, AKept2, [&](quint32 AValue) { return Values2.IsMarked(AValue); });
}

// Clears the running flag on every way out of Execute, exceptions included.
class TExecutingGuard {
public:
  explicit TExecutingGuard(std::atomic<bool>& AFlag) : FFlag(AFlag) {}
  ~TExecutingGuard() { FFlag = false; }
  TExecutingGuard(const TExecutingGuard&) = delete;
  TExecutingGuard& operator=(const TExecutingGuard&) = delete;

private:
  std::atomic<bool>& FFlag;
};

}  // namespace

template <typename T>
const T* TDiff::First() const {
  if constexpr (std::is_same_v<T, qint32>)
    return Ints1;
  else
    return Chrs1;
}

template <typename T>
const T* TDiff::Second() const {
  if constexpr (std::is_same_v<T, qint32>)
    return Ints2;
  else
    return Chrs2;
}

TDiff::TDiff(qint32 AMaxSearchBound, qint64 ASearchBudget)
    : fMaxSearchBound(std::clamp(AMaxSearchBound, 1, MaxSearchBound)), fSearchBudget(std::max<qint64>(ASearchBudget, 0)) {}

TDiff::~TDiff() {
  Clear();
}

void TDiff::Clear() {
  RestartRecords();
  fCompareList.shrink_to_fit();
  Chrs1 = Chrs2 = nullptr;
  Ints1 = Ints2 = nullptr;
}

TCompareRec TDiff::GetCompare(qint32 index) const {
  if (index < 0 || index >= Count())
    diff_failure::IndexOutOfBounds(index);
  return fCompareList[static_cast<size_t>(index)];
}

bool TDiff::Execute(const qint32* pints1, const qint32* pints2, qint32 len1, qint32 len2) {
  return Run(pints1, pints2, len1, len2);
}

bool TDiff::Execute(const char16_t* pchrs1, const char16_t* pchrs2, qint32 len1, qint32 len2) {
  return Run(pchrs1, pchrs2, len1, len2);
}

template <typename T>
bool TDiff::Run(const T* A, const T* B, qint32 N, qint32 M) {
  if (fExecuting.exchange(true))
    return false;
  TExecutingGuard Guard(fExecuting);
  constexpr bool IsInt = std::is_same_v<T, qint32>;
  constexpr qint32 MaxLength = IsInt ? MaxIntLength : MaxChrLength;
  if (N < 0 || M < 0 || N > MaxLength || M > MaxLength)
    diff_failure::LengthsOutOfRange(N, M, MaxLength);
  Clear();
  if constexpr (IsInt) {
    Ints1 = A;
    Ints2 = B;
  } else {
    Chrs1 = A;
    Chrs2 = B;
  }
  qint32 n = N;
  qint32 m = M;
  while (n > 0 && m > 0 && A[n - 1] == B[m - 1]) {
    --n;
    --m;
  }
  if (n > 0 || m > 0) {
    qint32 p = 0;
    while (n > 0 && m > 0 && A[p] == B[p]) {
      ++p;
      --n;
      --m;
    }
    // Every match consumes an element of each side, and at least N - n elements match.
    fCompareList.reserve(static_cast<size_t>(M) + static_cast<size_t>(n));

    const qint32 D0 = std::min(std::max(n, m), fMaxSearchBound);
    fDiagRadius = D0 + 1;
    const size_t Size = 2 * static_cast<size_t>(D0) + 3;
    fDiagBuffer = std::make_unique_for_overwrite<qint32[]>(Size);
    bDiagBuffer = std::make_unique_for_overwrite<qint32[]>(Size);
    fDiag = fDiagBuffer.get() + fDiagRadius;
    bDiag = bDiagBuffer.get() + fDiagRadius;
    struct TFreeDiagonals {
      TDiff& Owner;
      ~TFreeDiagonals() {
        Owner.fDiagBuffer.reset();
        Owner.bDiagBuffer.reset();
        Owner.fDiag = Owner.bDiag = nullptr;
      }
    } FreeDiagonals{*this};
    SearchWithinBudget<T>(p, n, m);
  }
  AppendMatchesUpTo<T>(N - 1);
  return true;
}

namespace {

template <typename T>
quint8 KeyOf(T AValue) {
  const auto Value = static_cast<quint32>(AValue);
  return static_cast<quint8>(Value ^ (Value >> 8) ^ (Value >> 16) ^ (Value >> 24));
}

// The keys of AValues[AFrom … AFrom+ACount-1], at the same indexes.
template <typename T>
std::unique_ptr<quint8[]> KeysOf(const T* AValues, qint32 AFrom, qint32 ACount) {
  auto Keys = std::make_unique_for_overwrite<quint8[]>(static_cast<size_t>(AFrom) + static_cast<size_t>(ACount));
  for (qint32 i = AFrom; i < AFrom + ACount; ++i)
    Keys[i] = KeyOf(AValues[i]);
  return Keys;
}

}  // namespace

// The two sequences a search runs on, with a one-byte key of each element beside them. The
// search probes elements along a frontier that wanders over both sequences; on large inputs
// the keys stay in the cache where the elements would not, and only equal keys are
// confirmed on the elements.
template <typename T>
struct TDiff::TSearched {
  TSearched(const T* AFirst, const T* ASecond, qint32 AFrom, qint32 n, qint32 m)
      : A(AFirst), B(ASecond), KeysA(KeysOf(AFirst, AFrom, n)), KeysB(KeysOf(ASecond, AFrom, m)) {}

  const T* A;
  const T* B;
  std::unique_ptr<quint8[]> KeysA;
  std::unique_ptr<quint8[]> KeysB;
};

template <typename T>
void TDiff::SearchWithinBudget(qint32 p, qint32 n, qint32 m) {
  fStepsLeft = fSearchBudget;
  if (RecursiveDiff<T>(TSearched<T>(First<T>(), Second<T>(), p, n, m), p, p, n, m))
    return;
  RestartRecords();
  SearchMatchableElements<T>(p, n, m);
}

// Searches the stripped middle A[p … p+n-1], B[p … p+m-1] again with only the elements that
// have an equal on the other side, and lists the others in the gaps between the matches.
template <typename T>
void TDiff::SearchMatchableElements(qint32 p, qint32 n, qint32 m) {
  TMatchable<T> Kept1;
  TMatchable<T> Kept2;
  KeepMatchable(First<T>(), Second<T>(), p, n, m, Kept1, Kept2);
  const auto N = static_cast<qint32>(Kept1.Values.size());
  const auto M = static_cast<qint32>(Kept2.Values.size());
  const T* const A = Kept1.Values.data();
  const T* const B = Kept2.Values.data();
  // Dropping elements can bring equal ones together at either end; the search needs
  // different first and last elements, so those are matched here.
  qint32 Tail = 0;
  while (Tail < N && Tail < M && A[N - 1 - Tail] == B[M - 1 - Tail])
    ++Tail;
  qint32 Head = 0;
  while (Head < N - Tail && Head < M - Tail && A[Head] == B[Head])
    ++Head;

  AppendMatchesUpTo<T>(p - 1);
  fMatchable1 = Kept1.Indexes.data();
  fMatchable2 = Kept2.Indexes.data();
  fMatchableLast1 = -1;
  fMatchableLast2 = -1;
  struct TForgetMatchable {
    TDiff& Owner;
    ~TForgetMatchable() { Owner.fMatchable1 = Owner.fMatchable2 = nullptr; }
  } ForgetMatchable{*this};
  fStepsLeft = std::numeric_limits<qint64>::max();
  if (Head < N - Tail || Head < M - Tail)
    RecursiveDiff<T>(TSearched<T>(A, B, 0, N, M), Head, Head, N - Tail - Head, M - Tail - Head);
  AppendMatchableMatchesUpTo<T>(N - 1);
  AppendGapBefore<T>(p + n, p + m);
}

// No records and no statistics, the cursor before the first element of each side.
void TDiff::RestartRecords() {
  fCompareList.clear();
  LastCompareRec = TCompareRec{};
  LastCompareRec.Kind = ckNone;
  LastCompareRec.oldIndex1 = -1;
  LastCompareRec.oldIndex2 = -1;
  fDiffStats = TDiffStats{};
}

void TDiff::ResetDiagonals(qint32 N, qint32 M) {
  fDiagLow = std::min(0, N - M);
  fDiagHigh = std::max(0, N - M);
  std::fill(fDiag + fDiagLow, fDiag + fDiagHigh + 1, NegativeInfinity);
  std::fill(bDiag + fDiagLow, bDiag + fDiagHigh + 1, PositiveInfinity);
  fDiag[0] = -1;
  bDiag[N - M] = N - 1;
}

// Step d of a search reads only diagonals within one of those steps 1 … d - 1 wrote, so
// each level initialises the diagonals as its search reaches them instead of all that its
// bound allows; the values read are the same.
void TDiff::WidenDiagonals(qint32 ALow, qint32 AHigh) {
  for (; fDiagLow > ALow; --fDiagLow) {
    fDiag[fDiagLow - 1] = NegativeInfinity;
    bDiag[fDiagLow - 1] = PositiveInfinity;
  }
  for (; fDiagHigh < AHigh; ++fDiagHigh) {
    fDiag[fDiagHigh + 1] = NegativeInfinity;
    bDiag[fDiagHigh + 1] = PositiveInfinity;
  }
}

// Diff of S.A[o1 … o1+N-1] against S.B[o2 … o2+M-1]. Answers false, leaving the records
// unfinished, when the run's budget of diagonal steps is spent.
template <typename T>
bool TDiff::RecursiveDiff(const TSearched<T>& S, qint32 o1, qint32 o2, qint32 N, qint32 M) {
  constexpr bool IsInt = std::is_same_v<T, qint32>;
  if (N == 0) {
    if constexpr (IsInt) {
      if (M <= 0)
        diff_failure::AssertionFailed();
    }
    ReportChanges<T>(o1, M, ckAdd);
    return true;
  }
  if (M == 0) {
    ReportChanges<T>(o1, N, ckDelete);
    return true;
  }
  const T* A = S.A + o1;
  const T* B = S.B + o2;
  if (N == 1 && M == 1) {
    if constexpr (IsInt) {
      if (A[0] == B[0])
        diff_failure::AssertionFailed();
    }
    ReportChanges<T>(o1, 1, ckDelete);
    ReportChanges<T>(o1, 1, ckAdd);
    return true;
  }

  const qint32 D = std::min(std::max(N, M), fMaxSearchBound);
  const qint32 Delta = N - M;
  // The diagonals both passes touch. They stay within ±(D + 1), and so within the
  // vectors, unless the search bound capped D below the longer side.
  const qint32 Low = std::min(std::max(std::min(-D, Delta - D), -M) - 1, -D - 1);
  const qint32 High = std::max(std::min(std::max(D, Delta + D), N) + 1, D + 1);
  if (Low < -fDiagRadius || High > fDiagRadius)
    diff_failure::SearchFailed(IsInt);
  ResetDiagonals(N, M);
  qint32* F = fDiag;
  qint32* R = bDiag;
  const quint8* KeyA = S.KeysA.get() + o1;
  const quint8* KeyB = S.KeysB.get() + o2;
  const auto Equal = [=](qint32 i, qint32 j) { return KeyA[i] == KeyB[j] && A[i] == B[j]; };
  const bool OddDelta = (Delta & 1) != 0;
  for (qint32 d = 1; d <= D; ++d) {
    WidenDiagonals(std::max(Low, std::min(-d, Delta - d) - 1), std::min(High, std::max(d, Delta + d) + 1));
    qint32 k = d;
    if (k > N)
      k -= (k - N + 1) & ~1;
    // Stepping k down by two, the diagonal above the next k is the one below this k, so each
    // step loads one neighbour; the larger neighbour is chosen without a branch, as which one
    // wins follows no pattern.
    qint32 kEnd = std::max(-d, -M);
    qint64 Steps = (k - kEnd) / 2 + 1;
    qint32 Above = F[k + 1];
    for (; k >= kEnd; k -= 2) {
      const qint32 Below = F[k - 1];
      // On a tie the step comes from diagonal k - 1.
      qint32 x = Below >= Above ? Below + 1 : Above;
      Above = Below;
      const qint32 Limit = std::min(N - 1, M - 1 + k);
      if (x < Limit && Equal(x + 1, x + 1 - k)) {
        do
          ++x;
        while (x < Limit && Equal(x + 1, x + 1 - k));
      }
      F[k] = x;
      if (OddDelta && x >= R[k]) {
        const qint32 y = x - k;
        qint32 p = x + 1;
        qint32 q = y + 1;
        while (p > 0 && q > 0 && A[p - 1] == B[q - 1]) {
          --p;
          --q;
        }
        return RecursiveDiff<T>(S, o1, o2, p, q) &&
               RecursiveDiff<T>(S, o1 + x + 1, o2 + y + 1, N - x - 1, M - y - 1);
      }
    }

    k = Delta + d;
    if (k > N)
      k -= (k - N + 1) & ~1;
    kEnd = std::max(Delta - d, -M);
    Steps += (k - kEnd) / 2 + 1;
    Above = R[k + 1];
    for (; k >= kEnd; k -= 2) {
      const qint32 Below = R[k - 1];
      qint32 x = std::min(Below, Above - 1);
      Above = Below;
      const qint32 Floor = std::max(0, k);
      if (x >= Floor && Equal(x, x - k)) {
        do
          --x;
        while (x >= Floor && Equal(x, x - k));
      }
      R[k] = x;
      if (F[k] >= x) {
        qint32 y = x - k;
        ++x;
        ++y;
        if (!RecursiveDiff<T>(S, o1, o2, x, y))
          return false;
        while (x < N && y < M && A[x] == B[y]) {
          ++x;
          ++y;
        }
        return RecursiveDiff<T>(S, o1 + x, o2 + y, N - x, M - y);
      }
    }
    fStepsLeft -= Steps;
    if (fStepsLeft < 0)
      return false;
  }
  diff_failure::SearchFailed(IsInt);
}

// Where the search's leaves go: straight into the records, or, while the matchable elements
// are searched, into the search's own cursor, the records following as matches are reached.
template <typename T>
void TDiff::ReportChanges(qint32 o1, qint32 count, TChangeKind kind) {
  if (fMatchable1 == nullptr) {
    AppendChanges<T>(o1, count, kind);
    return;
  }
  AppendMatchableMatchesUpTo<T>(o1 - 1);
  (kind == ckAdd ? fMatchableLast2 : fMatchableLast1) += count;
}

// Matches of the matchable elements up to ALast of them, each after the gap that leads to it;
// matches that follow each other on both sides go in one stretch.
template <typename T>
void TDiff::AppendMatchableMatchesUpTo(qint32 ALast) {
  while (fMatchableLast1 < ALast) {
    ++fMatchableLast1;
    ++fMatchableLast2;
    AppendGapBefore<T>(fMatchable1[fMatchableLast1], fMatchable2[fMatchableLast2]);
    while (fMatchableLast1 < ALast && fMatchable1[fMatchableLast1 + 1] == fMatchable1[fMatchableLast1] + 1 &&
           fMatchable2[fMatchableLast2 + 1] == fMatchable2[fMatchableLast2] + 1) {
      ++fMatchableLast1;
      ++fMatchableLast2;
    }
    AppendMatchesUpTo<T>(fMatchable1[fMatchableLast1]);
  }
}

// The elements from the cursor up to the given indexes (exclusive) are unmatched: their
// deletions come first, so that the additions pair with them.
template <typename T>
void TDiff::AppendGapBefore(qint32 AIndex1, qint32 AIndex2) {
  AppendChanges<T>(LastCompareRec.oldIndex1 + 1, AIndex1 - LastCompareRec.oldIndex1 - 1, ckDelete);
  AppendChanges<T>(AIndex1, AIndex2 - LastCompareRec.oldIndex2 - 1, ckAdd);
}

// Matches run on to the end of the list in one stretch, without the per-record checks of Append.
template <typename T>
void TDiff::AppendMatchesUpTo(qint32 ALast) {
  TCompareRec& Cursor = LastCompareRec;
  if (Cursor.oldIndex1 >= ALast)
    return;
  if (fCompareList.empty() || fCompareList.back().Kind != ckNone)
    fRunStart = fCompareList.size();
  fDiffStats.matches += ALast - Cursor.oldIndex1;
  const T* const A = First<T>();
  const T* const B = Second<T>();
  Cursor.Kind = ckNone;
  while (Cursor.oldIndex1 < ALast) {
    ++Cursor.oldIndex1;
    ++Cursor.oldIndex2;
    Cursor.int1 = static_cast<qint32>(A[Cursor.oldIndex1]);
    Cursor.int2 = static_cast<qint32>(B[Cursor.oldIndex2]);
    fCompareList.push_back(Cursor);
  }
}

void TDiff::Append(const TCompareRec& ARec) {
  if (fCompareList.empty() || fCompareList.back().Kind != ARec.Kind)
    fRunStart = fCompareList.size();
  fCompareList.push_back(ARec);
}

// Turns the first record of the run of ARunKind records that ends the list into a
// modification, completing it with the other side's element; the cursor leaves the run's
// kind once the run is used up.
void TDiff::PairWithTrailingRun(TChangeKind ARunKind, qint32 AIndex, qint32 AValue) {
  TCompareRec& Rec = fCompareList[fRunStart];
  Rec.Kind = ckModify;
  if (ARunKind == ckDelete) {
    Rec.oldIndex2 = AIndex;
    Rec.int2 = AValue;
    --fDiffStats.deletes;
  } else {
    Rec.oldIndex1 = AIndex;
    Rec.int1 = AValue;
    --fDiffStats.adds;
  }
  ++fDiffStats.modifies;
  if (++fRunStart == fCompareList.size())
    LastCompareRec.Kind = ckModify;
}

template <typename T>
void TDiff::AppendChanges(qint32 o1, qint32 count, TChangeKind kind) {
  AppendMatchesUpTo<T>(o1 - 1);
  TCompareRec& Cursor = LastCompareRec;
  for (qint32 i = 0; i < count; ++i) {
    if (kind == ckAdd) {
      ++Cursor.oldIndex2;
      const auto Value = static_cast<qint32>(Second<T>()[Cursor.oldIndex2]);
      if (Cursor.Kind == ckDelete) {
        PairWithTrailingRun(ckDelete, Cursor.oldIndex2, Value);
      } else {
        Cursor.Kind = ckAdd;
        Cursor.int1 = 0;
        Cursor.int2 = Value;
        Append(Cursor);
        ++fDiffStats.adds;
      }
    } else {
      ++Cursor.oldIndex1;
      const auto Value = static_cast<qint32>(First<T>()[Cursor.oldIndex1]);
      if (Cursor.Kind == ckAdd) {
        PairWithTrailingRun(ckAdd, Cursor.oldIndex1, Value);
      } else {
        Cursor.Kind = ckDelete;
        Cursor.int1 = Value;
        Cursor.int2 = 0;
        Append(Cursor);
        ++fDiffStats.deletes;
      }
    }
  }
}

}  // namespace quillon
