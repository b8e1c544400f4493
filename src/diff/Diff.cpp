#include "diff/Diff.h"

#include <algorithm>
#include <bit>
#include <type_traits>

namespace quillon {

static_assert(std::endian::native == std::endian::little,
              "chr1/chr2 overlay the low half of int1/int2");

namespace {

constexpr qint32 NegativeInfinity = -2147483647;
constexpr qint32 PositiveInfinity = 2147483647;

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

TDiff::TDiff(qint32 AMaxSearchBound) : fMaxSearchBound(std::clamp(AMaxSearchBound, 1, MaxSearchBound)) {}

TDiff::~TDiff() {
  Clear();
}

void TDiff::Clear() {
  fCompareList.clear();
  fCompareList.shrink_to_fit();
  LastCompareRec = TCompareRec{};
  LastCompareRec.Kind = ckNone;
  LastCompareRec.oldIndex1 = -1;
  LastCompareRec.oldIndex2 = -1;
  fDiffStats = TDiffStats{};
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
    RecursiveDiff<T>(p, p, n, m);
  }
  AppendMatchesUpTo<T>(N - 1);
  return true;
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

template <typename T>
void TDiff::RecursiveDiff(qint32 o1, qint32 o2, qint32 N, qint32 M) {
  constexpr bool IsInt = std::is_same_v<T, qint32>;
  if (N == 0) {
    if constexpr (IsInt) {
      if (M <= 0)
        diff_failure::AssertionFailed();
    }
    AppendChanges<T>(o1, M, ckAdd);
    return;
  }
  if (M == 0) {
    AppendChanges<T>(o1, N, ckDelete);
    return;
  }
  const T* A = First<T>() + o1;
  const T* B = Second<T>() + o2;
  if (N == 1 && M == 1) {
    if constexpr (IsInt) {
      if (A[0] == B[0])
        diff_failure::AssertionFailed();
    }
    AppendChanges<T>(o1, 1, ckDelete);
    AppendChanges<T>(o1, 1, ckAdd);
    return;
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
  const bool OddDelta = (Delta & 1) != 0;
  for (qint32 d = 1; d <= D; ++d) {
    WidenDiagonals(std::max(Low, std::min(-d, Delta - d) - 1), std::min(High, std::max(d, Delta + d) + 1));
    qint32 k = d;
    if (k > N)
      k -= (k - N + 1) & ~1;
    // Stepping k down by two, the diagonal above the next k is the one below this k, so each
    // step loads one neighbour; the larger neighbour is chosen without a branch, as which one
    // wins follows no pattern.
    qint32 Above = F[k + 1];
    for (const qint32 kEnd = std::max(-d, -M); k >= kEnd; k -= 2) {
      const qint32 Below = F[k - 1];
      // On a tie the step comes from diagonal k - 1.
      qint32 x = Below >= Above ? Below + 1 : Above;
      Above = Below;
      const qint32 Limit = std::min(N - 1, M - 1 + k);
      if (x < Limit && A[x + 1] == B[x + 1 - k]) {
        do
          ++x;
        while (x < Limit && A[x + 1] == B[x + 1 - k]);
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
        RecursiveDiff<T>(o1, o2, p, q);
        RecursiveDiff<T>(o1 + x + 1, o2 + y + 1, N - x - 1, M - y - 1);
        return;
      }
    }

    k = Delta + d;
    if (k > N)
      k -= (k - N + 1) & ~1;
    Above = R[k + 1];
    for (const qint32 kEnd = std::max(Delta - d, -M); k >= kEnd; k -= 2) {
      const qint32 Below = R[k - 1];
      qint32 x = std::min(Below, Above - 1);
      Above = Below;
      const qint32 Floor = std::max(0, k);
      if (x >= Floor && A[x] == B[x - k]) {
        do
          --x;
        while (x >= Floor && A[x] == B[x - k]);
      }
      R[k] = x;
      if (F[k] >= x) {
        qint32 y = x - k;
        ++x;
        ++y;
        RecursiveDiff<T>(o1, o2, x, y);
        while (x < N && y < M && A[x] == B[y]) {
          ++x;
          ++y;
        }
        RecursiveDiff<T>(o1 + x, o2 + y, N - x, M - y);
        return;
      }
    }
  }
  diff_failure::SearchFailed(IsInt);
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
