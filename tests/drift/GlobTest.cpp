#include "infra/text/Support.Glob.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(GlobTest, MatchesWholeNamesIgnoringCase) {
  const struct {
    const char* Pattern;
    const char* Text;
    bool Expected;
  } Cases[] = {
      {"dbo.*", "dbo.Orders", true},     {"dbo.*", "DBO.orders", true},  {"dbo.*", "sales.Orders", false},
      {"*.Orders", "dbo.Orders", true},  {"*Ord*", "dbo.Orders", true},  {"dbo.Order", "dbo.Orders", false},
      {"dbo.Order?", "dbo.Orders", true}, {"dbo.Order?", "dbo.Order", false}, {"*", "", true},
      {"", "", true},                    {"", "x", false},               {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},        {"[dbo].*", "[dbo].x", true},   {"*.*.*", "a.b", false},
      {"økonomi.*", "ØKONOMI.Beløp", true},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Pattern) + " ~ " + Case.Text);
    EXPECT_EQ(GlobMatches(QString::fromUtf8(Case.Pattern), QString::fromUtf8(Case.Text)), Case.Expected);
  }
}

TEST(GlobTest, FilterTakesIncludesThenDropsExcludes) {
  const TNameFilter Filter({QStringLiteral("dbo.*"), QStringLiteral("sales.O*")}, {QStringLiteral("*.tmp*")});
  EXPECT_TRUE(Filter.Accepts(QStringLiteral("dbo.Orders")));
  EXPECT_TRUE(Filter.Accepts(QStringLiteral("Sales.Offers")));
  EXPECT_FALSE(Filter.Accepts(QStringLiteral("sales.Customers")));
  EXPECT_FALSE(Filter.Accepts(QStringLiteral("dbo.TmpLoad")));
  EXPECT_TRUE(TNameFilter({}, {QStringLiteral("x.*")}).Accepts(QStringLiteral("dbo.Orders")));
  EXPECT_TRUE(TNameFilter().IsEmpty());
}

}  // namespace
}  // namespace quillon
