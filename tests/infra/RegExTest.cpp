#include "infra/text/Classes.RegEx.h"
#include "infra/platform/Support.Exceptions.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quillon {
namespace {

using TSpans = std::vector<std::pair<qint32, qint32>>;

// Every match of APattern in ASubject as 1-based offset and length, by Match then MatchAgain.
TSpans AllMatches(const QString& APattern, const QString& ASubject) {
  TMrRegEx RegEx;
  RegEx.SetRegEx(APattern);
  RegEx.SetSubject(ASubject);
  TSpans Result;
  for (bool Found = RegEx.Match(); Found && Result.size() < 20; Found = RegEx.MatchAgain())
    Result.emplace_back(RegEx.MatchedExpressionOffset(), RegEx.MatchedExpressionLength());
  return Result;
}

TEST(MrRegEx, MatchAgainWalksEveryMatchAndMovesOnAfterAnEmptyOne) {
  const struct {
    const char* Pattern;
    QString Subject;
    TSpans Expected;
  } Cases[] = {
      {"B+", "abbcB", {{2, 2}, {5, 1}}},
      {"x*", "axb", {{1, 0}, {2, 1}, {3, 0}, {4, 0}}},
      // An empty match never lands between the two halves of a surrogate pair.
      {"", QString::fromUtf8("a\xF0\x9F\x98\x80"), {{1, 0}, {2, 0}, {4, 0}}},
      {"z", "abc", {}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Pattern);
    EXPECT_EQ(AllMatches(Case.Pattern, Case.Subject), Case.Expected);
  }
}

TEST(MrRegEx, ReplacesOneMatchAtATimeOrAll) {
  TMrRegEx RegEx;
  RegEx.SetRegEx("(\\S+)");
  RegEx.SetSubject("one two");
  RegEx.SetReplacement("<$1>");
  ASSERT_TRUE(RegEx.Match());
  EXPECT_EQ(RegEx.MatchedExpression(), "one");
  EXPECT_EQ(RegEx.Replace(), "<one>");
  ASSERT_TRUE(RegEx.MatchAgain());
  EXPECT_EQ(RegEx.MatchedExpression(), "two");
  EXPECT_EQ(RegEx.MatchedExpressionOffset(), 7);
  EXPECT_EQ(RegEx.Replace(), "<two>");
  EXPECT_FALSE(RegEx.MatchAgain());
  EXPECT_EQ(RegEx.Subject(), "<one> <two>");

  RegEx.SetRegEx("O");
  RegEx.SetReplacement("0");
  EXPECT_TRUE(RegEx.ReplaceAll());
  EXPECT_EQ(RegEx.Subject(), "<0ne> <tw0>");
  EXPECT_FALSE(RegEx.ReplaceAll());
  EXPECT_EQ(RegEx.MatchedExpressionOffset(), 0);
}

TEST(MrRegEx, RefusesWordClassAndReportsABrokenPattern) {
  TMrRegEx RegEx;
  try {
    RegEx.SetRegEx("a\\w+");
    ADD_FAILURE() << "no exception";
  } catch (const EAssertionFailed& E) {
    EXPECT_EQ(E.Message(), "The \"\\w\" expression is not supported for Unicode, use \\p{L} or similar constructs");
  }
  RegEx.SetRegEx("a(");
  RegEx.SetSubject("a(");
  EXPECT_THROW(RegEx.Match(), Exception);
}

TEST(MrRegEx, StripRtfLeavesThePlainText) {
  TMrRegEx RegEx;
  const struct {
    const char* Rtf;
    QString Expected;
  } Cases[] = {
      {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\\f0\\fs20 Hello \\b\\'e6re\\b0\\par World}",
       QString::fromUtf8("Hello \xC3\xA6re\r\nWorld")},
      {"\\b x\\'zzy", "x y"},
      {"{\\i hidden} shown", "shown"},
      {"{}", ""},
      {"}", "}"},
      {"", ""},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Rtf);
    EXPECT_EQ(RegEx.StripRTF(QString::fromUtf8(Case.Rtf)), Case.Expected);
  }
}

TEST(PatternMatcher, TurnsWildcardsIntoExpressions) {
  const struct {
    const char* Pattern;
    const char* Expected;
  } Cases[] = {
      {"abc*", "^abc"},   {"*abc", "abc$"},         {"*abc*", "abc"},
      {"a*c", "^a.*c$"},  {"a b?", "^a\\sb.$"},      {"(x).-/\\", "^\\(x\\)\\.\\-\\/\\\\$"},
      {"", ""},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Pattern);
    EXPECT_EQ(TPatternMatcher::PatternToRegEx(Case.Pattern), Case.Expected);
  }
}

TEST(PatternMatcher, FindPatternIgnoresCaseAndAnswersFalseForBadPatterns) {
  TPatternMatcher Matcher;
  const struct {
    const char* Pattern;
    bool Expected;
  } Cases[] = {
      {"abc*", true}, {"*def", true}, {"bcd", false}, {"", false},
      {"*C?E*", true}, {"abcdef", true}, {"abc", false}, {"[", false}, {"*", true},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Pattern);
    EXPECT_EQ(Matcher.FindPattern("Abcdef", Case.Pattern), Case.Expected);
  }
}

TEST(PatternMatcher, FoundMatchesAlternativesWithAndWithoutTheGlobalMatcher) {
  for (const bool WithGlobals : {false, true}) {
    SCOPED_TRACE(WithGlobals);
    if (WithGlobals)
      StartUpGlobalRegEx();
    TPatternMatcher Matcher;
    QString Matched;
    EXPECT_TRUE(Matcher.Found("x,Y", "pay day", Matched, true));
    EXPECT_EQ(Matched, "y");
    EXPECT_FALSE(Matcher.Found("x,y", "pay day", false));
    try {
      Matcher.Found("", "abc", false);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "PrepareRegEx failed (no expression)");
    }
    EXPECT_THROW(Matcher.Found("(", "abc", false), Exception);
    if (WithGlobals) {
      ASSERT_NE(GlobalRegEx, nullptr);
      ASSERT_NE(GlobalPatternMatcher, nullptr);
      ShutDownGlobalRegEx();
      EXPECT_EQ(GlobalRegEx, nullptr);
      EXPECT_EQ(GlobalPatternMatcher, nullptr);
    }
  }
}

}  // namespace
}  // namespace quillon
