#include "gui/VclForm.Progress.h"
#include "support/GuiApplicationTest.h"

#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using ProgressWindowTest = test::TGuiApplicationTest;

TEST_F(ProgressWindowTest, ShowsItselfWithTheFirstInfoAndHidesWhenDone) {
  const std::unique_ptr<TfrmProgress> Progress = CreateProgressWindow(nullptr, QStringLiteral("Connecting to database..."));
  EXPECT_EQ(Progress->lblHeader->text(), QStringLiteral("Connecting to database..."));
  EXPECT_EQ(Progress->Info(), QStringLiteral("Aktiviteten er ikke startet"));
  EXPECT_FALSE(Progress->isVisible());
  EXPECT_TRUE(Progress->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(Progress->size(), QSize(320, 114));

  Progress->SetInfo(QStringLiteral("SQLTEST01.Harbour"));
  EXPECT_TRUE(Progress->isVisible());
  EXPECT_EQ(Progress->Info(), QStringLiteral("SQLTEST01.Harbour"));
  Progress->SetProgress(40);
  test::SaveScreenshot(*Progress, QStringLiteral("progress-window"));

  Progress->Done();
  EXPECT_FALSE(Progress->isVisible());
  EXPECT_EQ(Progress->pbrSplash->value(), 100);
  EXPECT_EQ(Progress->Info(), QStringLiteral("Ingen aktivitet"));
}

// The bar rounds halves to the even neighbour. (The main window's bar counts the objects of a
// compare run; its tests are the main window's.)
TEST_F(ProgressWindowTest, TheBarRoundsHalvesToEven) {
  TfrmProgress Progress;
  const struct {
    double Percent;
    int Expected;
  } Cases[] = {{2.5, 2}, {3.5, 4}, {50, 50}, {99.6, 100}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Percent);
    Progress.SetProgress(Case.Percent);
    EXPECT_EQ(Progress.pbrSplash->value(), Case.Expected);
  }
}

}  // namespace
}  // namespace quillon
