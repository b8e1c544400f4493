#include "gui/Gui.Settings.h"
#include "infra/platform/Support.Exceptions.h"
#include "gui/GuiTest.h"
#include "support/MemorySettings.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quillon {
namespace {

using test::TLogEntry;

QSize ScreenSize() {
  return QGuiApplication::primaryScreen()->size();
}

QRect WorkArea() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

class GuiSettings : public test::TGuiTest {
protected:
  GuiSettings() {
    MainForm.setObjectName(QStringLiteral("frmDbPublish"));
    MainForm.setGeometry(30, 40, 500, 300);
  }

  QString FormSection() const {
    return QStringLiteral("frmDbPublish.%1x%2").arg(ScreenSize().width()).arg(ScreenSize().height());
  }
  QString ScreenSection() const {
    return QStringLiteral("Screen%1x%2").arg(ScreenSize().width()).arg(ScreenSize().height());
  }

  test::TMemorySettings Store;
  test::TRecordingLog Log;
  QWidget MainForm;
};

TEST_F(GuiSettings, MainWindowBoundsAreKeptPerScreenResolution) {
  MainForm.setGeometry(100, 120, 640, 480);
  TGuiSettings(&MainForm, &Store, &Log).SaveMainForm();
  EXPECT_EQ((QStringList{Store.Value(scopeLocalPrivate, FormSection(), "State"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Left"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Top"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Width"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Height")}),
            (QStringList{"0", "100", "120", "640", "480"}));

  QWidget Restored;
  Restored.setObjectName(QStringLiteral("frmDbPublish"));
  Restored.setGeometry(1, 2, 300, 200);
  TGuiSettings(&Restored, &Store, &Log).LoadMainForm();
  EXPECT_EQ(Restored.geometry(), QRect(100, 120, 640, 480));
  EXPECT_EQ(Restored.windowState(), Qt::WindowNoState);

  // Bounds saved at another resolution are not used: the window stays where its owner put it
  // (the main window centres itself), not at the screen's corner.
  QWidget Other;
  Other.setObjectName(QStringLiteral("frmDbPublish"));
  Other.setGeometry(5, 6, 320, 240);
  test::TMemorySettings Elsewhere;
  Elsewhere.WriteInteger(scopeLocalPrivate, QStringLiteral("frmDbPublish.1x1"), QStringLiteral("Left"), 300);
  TGuiSettings(&Other, &Elsewhere, &Log).LoadMainForm();
  EXPECT_EQ(Other.geometry(), QRect(5, 6, 320, 240));
  EXPECT_EQ(Log.Dump(), QString());
}

// A maximised window keeps its normal bounds, so that un-maximising after a maximised start
// returns to them.
TEST_F(GuiSettings, AMaximisedWindowRestoresMaximisedOverItsNormalBounds) {
  MainForm.show();
  MainForm.setWindowState(Qt::WindowMaximized);
  TGuiSettings(&MainForm, &Store, &Log).SaveMainForm();
  EXPECT_EQ((QStringList{Store.Value(scopeLocalPrivate, FormSection(), "State"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Width"),
                         Store.Value(scopeLocalPrivate, FormSection(), "Height")}),
            (QStringList{"2", "500", "300"}));

  QWidget Restored;
  Restored.setObjectName(QStringLiteral("frmDbPublish"));
  Restored.setGeometry(10, 20, 300, 200);
  TGuiSettings(&Restored, &Store, &Log).LoadMainForm();
  EXPECT_EQ(Restored.windowState(), Qt::WindowMaximized);
  Restored.setWindowState(Qt::WindowNoState);
  EXPECT_EQ(Restored.geometry().size(), QSize(500, 300));
}

TEST_F(GuiSettings, BoundsOffEveryScreenFallBackToTheWorkArea) {
  const QRect Work = WorkArea();
  Store.WriteInteger(scopeLocalPrivate, FormSection(), QStringLiteral("Left"), Work.right() + 2000);
  Store.WriteInteger(scopeLocalPrivate, FormSection(), QStringLiteral("Top"), 50);
  TGuiSettings(&MainForm, &Store, &Log).LoadMainForm();
  EXPECT_EQ(MainForm.geometry(), Work);

  struct TCase {
    QRect Rect;
    bool Visible;
  } const Cases[] = {
      {QRect(Work.topLeft(), QSize(10, 10)), true},
      {QRect(Work.right() - 5, Work.bottom() - 5, 400, 400), true},
      {QRect(Work.right() + 1, Work.top(), 400, 400), false},
      {QRect(Work.left() - 500, Work.top() - 500, 400, 400), false},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(TGuiSettings::RectIsVisibleOnMonitors(C.Rect), C.Visible) << C.Rect.x() << "," << C.Rect.y();
}

TEST_F(GuiSettings, WithoutAStoreTheWindowFillsTheWorkAreaAndNothingIsKept) {
  TGuiSettings Settings(&MainForm, nullptr, &Log);
  Settings.LoadMainForm();
  EXPECT_EQ(MainForm.geometry(), WorkArea());
  Settings.SetFont(QStringLiteral("Verdana"), 10);
  QString Name;
  qint32 Size = 0;
  EXPECT_FALSE(Settings.GetFont(Name, Size));
  QWidget Control;
  Control.setObjectName(QStringLiteral("panRight"));
  Control.resize(70, 80);
  Settings.LoadWidth(&Control, QString());
  Settings.SaveWidth(&Control, QString());
  EXPECT_EQ(Control.size(), QSize(70, 80));
}

TEST_F(GuiSettings, TheUsersFontIsKeptPerScreenInTheUserScope) {
  TGuiSettings Settings(&MainForm, &Store, &Log);
  Settings.SetFont(QStringLiteral("DejaVu Sans"), 11);
  EXPECT_EQ(Store.Value(scopeUser, ScreenSection(), "FontName"), QStringLiteral("DejaVu Sans"));
  EXPECT_EQ(Store.Value(scopeUser, ScreenSection(), "FontSize"), QStringLiteral("11"));
  struct TCase {
    QString Name;
    qint32 Size;
    bool Usable;
  } const Cases[] = {{"DejaVu Sans", 11, true}, {"DejaVu Sans", 8, true}, {"DejaVu Sans", 7, false}, {"", 12, false}};
  for (const auto& C : Cases) {
    Settings.SetFont(C.Name, C.Size);
    QString Name;
    qint32 Size = 0;
    EXPECT_EQ(Settings.GetFont(Name, Size), C.Usable) << C.Name.toStdString() << " " << C.Size;
    EXPECT_EQ(Name, C.Name);
    EXPECT_EQ(Size, C.Size);
  }
}

TEST_F(GuiSettings, ControlSizesAndPositionsRoundTrip) {
  TGuiSettings Settings(&MainForm, &Store, &Log);
  QWidget Panel;
  Panel.setObjectName(QStringLiteral("panAnomalies"));
  Panel.resize(210, 140);
  QObject Splitter;
  Splitter.setObjectName(QStringLiteral("splMain"));
  Splitter.setProperty("Position", 333);
  Settings.SaveHeight(&Panel, QString());
  Settings.SaveWidth(&Panel, QStringLiteral("Layout"));
  Settings.SavePosition(&Splitter, QString());
  EXPECT_EQ((QStringList{Store.Value(scopeLocalPrivate, ScreenSection(), "panAnomalies.Height"),
                         Store.Value(scopeLocalPrivate, "Layout", "panAnomalies.Width"),
                         Store.Value(scopeLocalPrivate, ScreenSection(), "splMain.Position")}),
            (QStringList{"140", "210", "333"}));

  Panel.resize(10, 10);
  Splitter.setProperty("Position", 1);
  Settings.LoadHeight(&Panel, QString());
  Settings.LoadWidth(&Panel, QStringLiteral("Layout"));
  Settings.LoadPosition(&Splitter, QString());
  EXPECT_EQ(Panel.size(), QSize(210, 140));
  EXPECT_EQ(Splitter.property("Position").toInt(), 333);

  // Nothing stored: the current value stays.
  QWidget Fresh;
  Fresh.setObjectName(QStringLiteral("panNew"));
  Fresh.resize(55, 66);
  Settings.LoadHeight(&Fresh, QString());
  EXPECT_EQ(Fresh.size(), QSize(55, 66));
  EXPECT_EQ(Log.Dump(), QString());
}

TEST_F(GuiSettings, FailuresAreLoggedExceptWhereTheCallerMustHearOfThem) {
  QObject NoPosition;
  NoPosition.setObjectName(QStringLiteral("lblTitle"));
  TGuiSettings Settings(&MainForm, &Store, &Log);
  Settings.LoadPosition(&NoPosition, QString());
  Settings.SavePosition(&NoPosition, QString());

  Store.FailWith = QStringLiteral("disk gone");
  Settings.LoadMainForm();
  Settings.SaveMainForm();
  QWidget Panel;
  Settings.SaveHeight(&Panel, QString());
  EXPECT_THROW(Settings.LoadHeight(&Panel, QString()), Exception);
  EXPECT_THROW(Settings.LoadWidth(&Panel, QString()), Exception);

  EXPECT_EQ(Log.Entries, (QList<TLogEntry>{
                             {TLogEntry::Event, ltInfo, "TGuiSettings.Load: Property Position does not exist"},
                             {TLogEntry::Event, ltInfo, "TGuiSettings.Save: Property Position does not exist"},
                             {TLogEntry::SilentError, ltError, "TGuiSettings.Load: disk gone"},
                             {TLogEntry::SilentWarning, ltWarning, "TGuiSettings.Save: disk gone"},
                             {TLogEntry::Event, ltInfo, "TGuiSettings.Save: disk gone"},
                         }))
      << Log.Dump().toStdString();
  EXPECT_EQ(MainForm.geometry(), QRect(30, 40, 500, 300));
}

}  // namespace
}  // namespace quillon
