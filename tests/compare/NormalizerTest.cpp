#include "compare/Normalizer.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(NormalizeDefinition, ProducesTheComparisonForm) {
  struct TCase {
    const char* Input;
    const char* Expected;
  };
  const TCase Cases[] = {
      {"", ""},
      {" \r\n\t ", ""},
      {"select [Id]\r\nfrom\t[dbo].[T]", "SELECT ID FROM T"},
      {"where a<=b and c<>d", "WHERE A < = B AND C < > D"},
      {"  SELECT  *   FROM x.dbo.T ", "SELECT * FROM X.DBO.T"},
      {"x varchar(10), y varchar (10)", "X VARCHAR10, Y VARCHAR 10"},
      {"DEFAULT ((0)) CHECK ([Qty]>(0))", "DEFAULT (0) CHECK (QTY > 0)"},
      {"x(1)(2) f((-1))", "X12 F((-1))"},
      {"dbo.P from dbo.T join (dbo.U)", "DBO.P FROM T JOIN (DBO.U)"},
      {"from\ndbo.T", "FROM T"},
      {"'abc' -- comment \u00e6\u00f8\u00e5", "'ABC' -- COMMENT \u00c6\u00d8\u00c5"},
      {"a\u00a0b", "A\u00a0B"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Input);
    EXPECT_EQ(NormalizeDefinition(QString::fromUtf8(Case.Input)).toStdString(), Case.Expected);
  }
}

TEST(SameNormalizedDefinition, IgnoresLayoutButNotMeaning) {
  struct TCase {
    const char* Name;
    const char* Left;
    const char* Right;
    bool Same;
  };
  const TCase Cases[] = {
      {"brackets, case, white space and line breaks", "CREATE VIEW [dbo].[V] AS\r\n  SELECT [A]  FROM [T]",
       "create view dbo.v as select a from t", true},
      {"white space around comparisons", "WHERE a>=1 AND b<>2", "WHERE a >= 1 AND b <> 2", true},
      {"dbo prefix after white space", "SELECT * FROM dbo.T", "select * from T", true},
      {"dbo prefix at the very start stays", "dbo.T", "T", false},
      {"dbo prefix after a parenthesis stays", "COUNT(dbo.T.x)", "COUNT(T.x)", false},
      {"length right after the type", "nvarchar(50)", "NVARCHAR50", true},
      {"blank before the length stays", "nvarchar(50)", "nvarchar (50)", false},
      {"double parentheses keep one pair, so they differ from single ones", "((0))", "(0)", false},
      {"literals differing in case only", "WHERE x = 'Abc'", "where x = 'aBC'", true},
      {"literals differing in content", "WHERE x = 'Abc'", "WHERE x = 'Abd'", false},
      {"white space only against the empty text", "  \r\n", "", true},
      {"white space only against a text", " ", "x", false},
      {"a parenthesis is not white space", "CHECK ([a]>(0))", "CHECK [a]>0", false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(SameNormalizedDefinition(QString::fromUtf8(Case.Left), QString::fromUtf8(Case.Right)), Case.Same);
    EXPECT_EQ(SameNormalizedDefinition(QString::fromUtf8(Case.Right), QString::fromUtf8(Case.Left)), Case.Same);
  }
}

// A text from the database may hold a lone surrogate; it is compared like any other character
// rather than ending the comparison.
TEST(SameNormalizedDefinition, TakesALoneSurrogateAsItStands) {
  const QString Lone(QChar(char16_t(0xD800)));
  EXPECT_EQ(NormalizeDefinition(QStringLiteral("select (1)") + Lone + QStringLiteral(" dbo.t")),
            QStringLiteral("SELECT 1") + Lone + QStringLiteral(" T"));
  EXPECT_TRUE(SameNormalizedDefinition(QStringLiteral("x ") + Lone, QStringLiteral("X ") + Lone));
  EXPECT_FALSE(SameNormalizedDefinition(QStringLiteral("x ") + Lone, QStringLiteral("x")));
}

}  // namespace
}  // namespace quillon
