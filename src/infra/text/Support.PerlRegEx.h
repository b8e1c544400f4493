// A compiled PCRE2 pattern on UTF-16 text, and its matches.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace quillon {

// A compiled PCRE2 pattern on QString's UTF-16 data (the 16-bit library, UTF and UCP on, JIT
// where the pattern allows). Raises Exception with PCRE2's message and offset for a pattern that
// does not compile.
class TPerlRegEx {
public:
  enum TOption : unsigned { roNone = 0, roIgnoreCase = 1, roMultiLine = 2, roSingleLine = 4, roExtended = 8 };

  explicit TPerlRegEx(const QString& APattern, unsigned AOptions = roNone);
  ~TPerlRegEx();
  TPerlRegEx(TPerlRegEx&&) noexcept;
  TPerlRegEx& operator=(TPerlRegEx&&) noexcept;

  const QString& Pattern() const { return FPattern; }

  // Searches ASubject from AStartOffset (0-based UTF-16 index). On success the match is kept
  // for MatchedOffset/MatchedLength/Group until the next call.
  bool Match(const QString& ASubject, qsizetype AStartOffset = 0);
  // Searches on from the end of the previous match in the same subject; after an empty match
  // the next one may not be empty at the same place, so a loop always moves on. False when
  // the previous search found nothing.
  bool MatchAgain();
  // The subject of the last search, including any Replace made since.
  const QString& Subject() const;
  qsizetype MatchedOffset() const;
  qsizetype MatchedLength() const;
  qsizetype GroupCount() const;
  // The text of capture group AIndex (0 = whole match) of the last match; empty when unset.
  QString Group(qsizetype AIndex) const;

  // Replaces every match in ASubject; in AReplacement "$1" or "${1}" insert groups and "$$" is a
  // dollar. ACount receives the number of replacements when given.
  QString ReplaceAll(const QString& ASubject, const QString& AReplacement, qsizetype* ACount = nullptr) const;
  // Replaces only the first match.
  QString ReplaceFirst(const QString& ASubject, const QString& AReplacement, bool* AReplaced = nullptr) const;
  // AReplacement with the groups of the current match filled in.
  QString ComputeReplacement(const QString& AReplacement) const;
  // Puts the computed replacement in place of the current match in Subject and answers it;
  // MatchAgain then goes on after the inserted text.
  QString Replace(const QString& AReplacement);

private:
  bool Search(qsizetype AStartOffset, uint32_t AOptions);

  struct TImpl;
  QString FPattern;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace quillon
