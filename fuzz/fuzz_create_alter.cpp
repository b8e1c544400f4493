// CREATE -> ALTER. Whatever the text, the conversion either leaves it as it is or changes only
// the statement's leading CREATE (after white space and comments) into ALTER.
#include "FuzzSupport.h"

#include "repair/Repair.Alter.h"

using namespace quillon;

namespace {

// Whether APrefix holds nothing but white space and comments, all of them closed (block
// comments nest in T-SQL).
bool OnlySpaceAndComments(const QString& APrefix) {
  qsizetype Depth = 0;
  bool InLineComment = false;
  for (qsizetype I = 0; I < APrefix.size(); ++I) {
    const QChar C = APrefix.at(I);
    const QChar Next = I + 1 < APrefix.size() ? APrefix.at(I + 1) : QChar();
    if (InLineComment) {
      InLineComment = C != u'\n';
    } else if (C == u'/' && Next == u'*') {
      ++Depth;
      ++I;
    } else if (Depth > 0) {
      if (C == u'*' && Next == u'/') {
        --Depth;
        ++I;
      }
    } else if (C == u'-' && Next == u'-') {
      InLineComment = true;
      ++I;
    } else if (!C.isSpace()) {
      return false;
    }
  }
  return Depth == 0 && !InLineComment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const QStringList Kinds{QStringLiteral("VIEW"), QStringLiteral("PROCEDURE"), QStringLiteral("PROC"),
                                 QStringLiteral("FUNCTION"), QStringLiteral("TRIGGER")};
  const QString Text = fuzz::Utf16(AData, ASize);
  const QString Altered = LeadingCreateToAlter(Text, Kinds);
  if (Altered == Text)
    return 0;
  qsizetype At = 0;
  while (At < Text.size() && At < Altered.size() && Text.at(At) == Altered.at(At))
    ++At;
  fuzz::CheckSame("more than the leading CREATE changed", Altered,
                  Text.left(At) + QStringLiteral("ALTER") + Text.mid(At + 6));
  fuzz::Check("what changed is not CREATE", Text.mid(At, 6).compare(QStringLiteral("CREATE"), Qt::CaseInsensitive) == 0);
  fuzz::Check("the CREATE changed is not the statement's first word", OnlySpaceAndComments(Text.left(At)));
  return 0;
}
