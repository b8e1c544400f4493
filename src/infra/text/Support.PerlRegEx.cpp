// A compiled PCRE2 pattern on UTF-16 text, and its matches.
#include "infra/text/Support.PerlRegEx.h"

#include "infra/platform/Support.Exceptions.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <vector>

namespace quillon {

namespace {

struct TCodeDeleter {
  void operator()(pcre2_code* ACode) const { pcre2_code_free(ACode); }
};
struct TMatchDataDeleter {
  void operator()(pcre2_match_data* AData) const { pcre2_match_data_free(AData); }
};

PCRE2_SPTR Units(const QString& S) { return reinterpret_cast<PCRE2_SPTR>(S.utf16()); }

QString ErrorText(int ACode) {
  std::vector<PCRE2_UCHAR> Buffer(256);
  const int Length = pcre2_get_error_message(ACode, Buffer.data(), Buffer.size());
  return Length < 0 ? QStringLiteral("PCRE2 error %1").arg(ACode)
                    : QString::fromUtf16(reinterpret_cast<const char16_t*>(Buffer.data()), Length);
}

}  // namespace

struct TPerlRegEx::TImpl {
  std::unique_ptr<pcre2_code, TCodeDeleter> Code;
  std::unique_ptr<pcre2_match_data, TMatchDataDeleter> MatchData;
  QString Subject;
  bool Matched = false;
  // Where MatchAgain goes on (also after a Replace has spent the match), and whether the
  // previous match there was empty.
  bool CanContinue = false;
  qsizetype NextStart = 0;
  bool NextNotEmpty = false;
};

TPerlRegEx::TPerlRegEx(const QString& APattern, unsigned AOptions) : FPattern(APattern), FImpl(std::make_unique<TImpl>()) {
  uint32_t Options = PCRE2_UTF | PCRE2_UCP;
  if (AOptions & roIgnoreCase)
    Options |= PCRE2_CASELESS;
  if (AOptions & roMultiLine)
    Options |= PCRE2_MULTILINE;
  if (AOptions & roSingleLine)
    Options |= PCRE2_DOTALL;
  if (AOptions & roExtended)
    Options |= PCRE2_EXTENDED;
  int ErrorCode = 0;
  PCRE2_SIZE ErrorOffset = 0;
  FImpl->Code.reset(pcre2_compile(Units(APattern), APattern.size(), Options, &ErrorCode, &ErrorOffset, nullptr));
  if (!FImpl->Code)
    throw Exception(QStringLiteral("Error in regular expression at offset %1: %2")
                        .arg(ErrorOffset)
                        .arg(ErrorText(ErrorCode)));
  // JIT is an optimisation only: a pattern it cannot handle still matches through the interpreter.
  pcre2_jit_compile(FImpl->Code.get(), PCRE2_JIT_COMPLETE);
  FImpl->MatchData.reset(pcre2_match_data_create_from_pattern(FImpl->Code.get(), nullptr));
}

TPerlRegEx::~TPerlRegEx() = default;
TPerlRegEx::TPerlRegEx(TPerlRegEx&&) noexcept = default;
TPerlRegEx& TPerlRegEx::operator=(TPerlRegEx&&) noexcept = default;

bool TPerlRegEx::Match(const QString& ASubject, qsizetype AStartOffset) {
  FImpl->Subject = ASubject;
  return Search(AStartOffset, 0);
}

bool TPerlRegEx::MatchAgain() {
  if (!FImpl->CanContinue)
    return false;
  return Search(FImpl->NextStart, FImpl->NextNotEmpty ? PCRE2_NOTEMPTY_ATSTART : 0);
}

bool TPerlRegEx::Search(qsizetype AStartOffset, uint32_t AOptions) {
  FImpl->Matched = false;
  FImpl->CanContinue = false;
  if (AStartOffset > FImpl->Subject.size())
    return false;
  const int Rc = pcre2_match(FImpl->Code.get(), Units(FImpl->Subject), FImpl->Subject.size(), AStartOffset, AOptions,
                             FImpl->MatchData.get(), nullptr);
  if (Rc == PCRE2_ERROR_NOMATCH)
    return false;
  if (Rc < 0)
    throw Exception(QStringLiteral("Regular expression match failed: %1").arg(ErrorText(Rc)));
  FImpl->Matched = true;
  FImpl->CanContinue = true;
  const PCRE2_SIZE* Ovector = pcre2_get_ovector_pointer(FImpl->MatchData.get());
  FImpl->NextStart = static_cast<qsizetype>(Ovector[1]);
  FImpl->NextNotEmpty = Ovector[0] == Ovector[1];
  return true;
}

const QString& TPerlRegEx::Subject() const { return FImpl->Subject; }

qsizetype TPerlRegEx::MatchedOffset() const {
  return FImpl->Matched ? static_cast<qsizetype>(pcre2_get_ovector_pointer(FImpl->MatchData.get())[0]) : -1;
}

qsizetype TPerlRegEx::MatchedLength() const {
  if (!FImpl->Matched)
    return 0;
  const PCRE2_SIZE* Ovector = pcre2_get_ovector_pointer(FImpl->MatchData.get());
  return static_cast<qsizetype>(Ovector[1] - Ovector[0]);
}

qsizetype TPerlRegEx::GroupCount() const {
  uint32_t Count = 0;
  pcre2_pattern_info(FImpl->Code.get(), PCRE2_INFO_CAPTURECOUNT, &Count);
  return Count;
}

QString TPerlRegEx::Group(qsizetype AIndex) const {
  if (!FImpl->Matched || AIndex < 0 || AIndex > GroupCount())
    return QString();
  const PCRE2_SIZE* Ovector = pcre2_get_ovector_pointer(FImpl->MatchData.get());
  if (Ovector[2 * AIndex] == PCRE2_UNSET)
    return QString();
  return FImpl->Subject.mid(Ovector[2 * AIndex], Ovector[2 * AIndex + 1] - Ovector[2 * AIndex]);
}

namespace {

QString Substitute(pcre2_code* ACode, const QString& ASubject, const QString& AReplacement, uint32_t AOptions,
                   qsizetype* ACount, pcre2_match_data* AMatchData = nullptr) {
  PCRE2_SIZE OutLength = static_cast<PCRE2_SIZE>(ASubject.size() + AReplacement.size() + 64);
  std::vector<PCRE2_UCHAR> Output;
  for (;;) {
    Output.resize(OutLength);
    PCRE2_SIZE Length = OutLength;
    const int Rc = pcre2_substitute(ACode, Units(ASubject), ASubject.size(), 0,
                                    AOptions | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, AMatchData, nullptr,
                                    Units(AReplacement), AReplacement.size(), Output.data(), &Length);
    if (Rc == PCRE2_ERROR_NOMEMORY) {
      OutLength = Length;
      continue;
    }
    if (Rc < 0)
      throw Exception(QStringLiteral("Regular expression replacement failed: %1").arg(ErrorText(Rc)));
    if (ACount)
      *ACount = Rc;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(Output.data()), static_cast<qsizetype>(Length));
  }
}

}  // namespace

QString TPerlRegEx::ReplaceAll(const QString& ASubject, const QString& AReplacement, qsizetype* ACount) const {
  return Substitute(FImpl->Code.get(), ASubject, AReplacement, PCRE2_SUBSTITUTE_GLOBAL, ACount);
}

QString TPerlRegEx::ReplaceFirst(const QString& ASubject, const QString& AReplacement, bool* AReplaced) const {
  qsizetype Count = 0;
  QString Result = Substitute(FImpl->Code.get(), ASubject, AReplacement, 0, &Count);
  if (AReplaced)
    *AReplaced = Count > 0;
  return Result;
}

QString TPerlRegEx::ComputeReplacement(const QString& AReplacement) const {
  if (!FImpl->Matched)
    return QString();
  return Substitute(FImpl->Code.get(), FImpl->Subject, AReplacement,
                    PCRE2_SUBSTITUTE_MATCHED | PCRE2_SUBSTITUTE_REPLACEMENT_ONLY, nullptr, FImpl->MatchData.get());
}

QString TPerlRegEx::Replace(const QString& AReplacement) {
  if (!FImpl->Matched)
    return QString();
  const QString Replacement = ComputeReplacement(AReplacement);
  const qsizetype Offset = MatchedOffset();
  FImpl->Subject.replace(Offset, MatchedLength(), Replacement);
  // The match data now describes text that is gone; only MatchAgain may follow.
  FImpl->Matched = false;
  FImpl->NextStart = Offset + Replacement.size();
  return Replacement;
}

}  // namespace quillon
