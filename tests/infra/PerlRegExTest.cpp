#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.PerlRegEx.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(PerlRegEx, MatchesUtf16TextCaselessWithGroups) {
  TPerlRegEx RegEx(QStringLiteral("create\\s+(view|procedure)"), TPerlRegEx::roIgnoreCase);
  const QString Subject = QString::fromUtf8("-- Æøå\nCREATE   VIEW dbo.x");
  ASSERT_TRUE(RegEx.Match(Subject));
  EXPECT_EQ(RegEx.MatchedOffset(), 7);
  EXPECT_EQ(RegEx.Group(1), QStringLiteral("VIEW"));
  EXPECT_FALSE(RegEx.Match(Subject, 8));
}

TEST(PerlRegEx, ReplacesAllOrFirstAndGrowsTheOutput) {
  TPerlRegEx Blanks(QStringLiteral("\\s+"));
  qsizetype Count = 0;
  const QString Long = QString(5000, u'a') + QStringLiteral("   ") + QString(5000, u'b') + u' ';
  EXPECT_EQ(Blanks.ReplaceAll(Long, QStringLiteral("<sp>"), &Count),
            QString(5000, u'a') + QStringLiteral("<sp>") + QString(5000, u'b') + QStringLiteral("<sp>"));
  EXPECT_EQ(Count, 2);
  bool Replaced = false;
  EXPECT_EQ(Blanks.ReplaceFirst(QStringLiteral("a b c"), QStringLiteral("$$"), &Replaced), QStringLiteral("a$b c"));
  EXPECT_TRUE(Replaced);
}

TEST(PerlRegEx, ReportsAPatternThatDoesNotCompile) {
  try {
    TPerlRegEx Bad(QStringLiteral("a(b"));
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("offset 3"))) << E.what();
  }
}

}  // namespace
}  // namespace quillon
