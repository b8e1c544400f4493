#include "gold/Normalizer.h"
#include "infra/text/Support.Format.h"
#include "infra/text/Support.PerlRegEx.h"
#include "model/DatabaseObjects.h"

#include <gtest/gtest.h>

#include <random>

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

// The normalizer is a hand-written single pass for speed. This reference follows the rules
// literally, one regular-expression substitution per step (with the ASCII classes that PCRE's
// \d and \s have without options), and the two must agree on every text.
QString ReferenceNormalizeDefinition(const QString& ADefinition) {
  QString Spaced;
  for (QChar C : ADefinition) {
    if (C == u'\t' || C == u'\n' || C == u'\r')
      Spaced.append(u' ');
    else if (C == u'<' || C == u'=' || C == u'>')
      Spaced.append(u' ').append(C).append(u' ');
    else if (C != u'[' && C != u']')
      Spaced.append(C);
  }
  QString Result = AnsiUpperCase(Spaced);
  Result = TPerlRegEx(QStringLiteral("\\(([0-9]+)\\)")).ReplaceAll(Result, QStringLiteral("$1"));
  Result = TPerlRegEx(QStringLiteral("[ \\t\\n\\x0B\\f\\r]DBO\\.")).ReplaceAll(Result, QStringLiteral(" "));
  Result = TPerlRegEx(QStringLiteral("[ \\t\\n\\x0B\\f\\r]+")).ReplaceAll(Result, QStringLiteral(" "));
  return Trim(Result);
}

TEST(NormalizeDefinition, AgreesWithTheStepByStepRulesOnRandomTexts) {
  // Characters that the rules treat specially, in the combinations that trip a single pass:
  // brackets inside parentheses, prefixes split by line breaks, doubled parentheses.
  const QString Alphabet = QString::fromUtf8(" \t\n\r\v\f[]<=>()(0123dbo.DBOx\u00e6\u00a0\u0131\u00df");
  std::mt19937 Random(20261210);
  std::uniform_int_distribution<qsizetype> Letter(0, Alphabet.size() - 1);
  std::uniform_int_distribution<int> Length(0, 24);
  for (int I = 0; I < 20000; ++I) {
    QString Text;
    for (int N = Length(Random); N > 0; --N)
      Text.append(Alphabet.at(Letter(Random)));
    ASSERT_EQ(NormalizeDefinition(Text), ReferenceNormalizeDefinition(Text)) << Text.toStdString();
  }
}

}  // namespace
}  // namespace quillon
