#include "app/MainQuillon.h"
#include "app/VclForm.Progress.h"
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

// Both bars round halves to the even neighbour; the main window's takes a fraction and ignores
// negative ones.
TEST_F(ProgressWindowTest, BarsRoundHalvesToEvenAndTheMainBarIgnoresNegativeFractions) {
  TfrmProgress Progress;
  TfrmDbPublish Window;
  const struct {
    double Percent;
    int Expected;
  } Cases[] = {{2.5, 2}, {3.5, 4}, {50, 50}, {99.6, 100}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Percent);
    Progress.SetProgress(Case.Percent);
    EXPECT_EQ(Progress.pbrSplash->value(), Case.Expected);
    Window.ShowProgress(Case.Percent / 100);
    EXPECT_EQ(Window.pbProgress->value(), Case.Expected);
  }
  Window.ShowProgress(-1);
  EXPECT_EQ(Window.pbProgress->value(), 100);
}

}  // namespace
}  // namespace quillon
