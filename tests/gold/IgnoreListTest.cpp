#include "gold/Sync.IgnoreList.h"
#include "model/Columns.h"
#include "model/Routines.h"
#include "model/Tables.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(IgnoreList, HoldsTheDatabasesHelperRoutinesInAnyLetterCase) {
  const TDatabaseObjectIgnoreList Ignored;
  ASSERT_EQ(Ignored.Count(), 3);
  EXPECT_EQ(Ignored.Items(0).Key(), QStringLiteral("[DBO].[FNEVENTNUMTODATE]"));
  const struct {
    std::unique_ptr<TDatabaseObject> Object;
    bool Contained;
  } Cases[] = {
      {std::make_unique<TDatabaseRoutine>("dbo", "GetDatabaseInfo", "PROCEDURE"), true},
      {std::make_unique<TDatabaseRoutine>("DBO", "getdatabaseinfo", "PROCEDURE"), true},
      {std::make_unique<TDatabaseView>("dbo", "FnEventTimeToNum"), true},
      {std::make_unique<TDatabaseRoutine>("sales", "GetDatabaseInfo", "PROCEDURE"), false},
      {std::make_unique<TDatabaseRoutine>("dbo", "GetDatabaseInfo2", "PROCEDURE"), false},
      {std::make_unique<TDatabaseColumn>("dbo", "T", "GetDatabaseInfo", "int"), false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Object->FullName().toStdString());
    EXPECT_EQ(Ignored.ContainsName(Case.Object.get()), Case.Contained);
  }
}

}  // namespace
}  // namespace quillon
