#include "infra/platform/Support.Exceptions.h"
#include "gui/VclUtil.Style.h"
#include "gui/GuiTest.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace quillon {
namespace {

QString Html(TColor AColor) {
  return TColorCalculator::HtmlColor(AColor);
}

QString Background(const QWidget& AControl) {
  return Html(QColorToColor(AControl.palette().color(QPalette::Window)));
}

qint32 PixelHeight(const QWidget& AControl) {
  return QFontInfo(AControl.font()).pixelSize();
}

class GuiStyle : public test::TGuiTest {};

TEST_F(GuiStyle, PaletteOfTheDefaultBaseColour) {
  TGuiStyle Style;
  const std::pair<TColor, const char*> Expected[] = {
      {Style.clBase(), "#595C63"},           {Style.MediumColor(), "#D5D6D8"},
      {Style.LightColor(), "#EAEAEC"},       {Style.DarkColor(), "#43454A"},
      {Style.clDark(), "#43454A"},           {Style.CodeColor(), "#2222A5"},
      {Style.VeryDarkColor(), "#212325"},    {Style.FocusedSelection(), "#FFEFBB"},
      {Style.UnfocusedSelection(), "#DCEBFC"}, {Style.clCurrRow(), "#FFF7DD"},
      {Style.clCurrCell(), "#A6CAF0"},       {Style.VeryLightColor(), "#FAFAFA"},
      {Style.clVeryLight(), "#FAFAFA"},      {Style.PrettyDarkColor(), "#8C8E91"},
      {Style.clStatusText(), "#800000"},
  };
  for (const auto& [Color, Html_] : Expected)
    EXPECT_EQ(Html(Color), QString::fromLatin1(Html_));
  EXPECT_EQ((QStringList{Style.Medium(), Style.Dark(), Style.VeryLight(), Style.Light(), Style.Code(),
                         Style.StatusText()}),
            (QStringList{"#D5D6D8", "#43454A", "#FAFAFA", "#EAEAEC", "#2222A5", "#800000"}));
  EXPECT_EQ(Style.FontName(), QStringLiteral("Arial"));
  EXPECT_EQ(Style.FontSize(), 9);
  EXPECT_EQ(Style.ToolbarHeight(), 0);

  Style.SetBaseColor(clDefault);
  EXPECT_EQ(Html(Style.clBase()), QStringLiteral("#595E63"));
}

// Records each ApplyStyle it receives in a shared log.
class TObserver : public QObject, public IGuiStyleObserver {
public:
  TObserver(QString AName, QStringList& ALog) : FName(std::move(AName)), FLog(ALog) {}
  void ApplyStyle(IGuiStyle* AStyle) override {
    FLog << FName + u':' + AStyle->GetFontName() + u':' + QString::number(AStyle->GetFontSize());
    if (OnApply)
      OnApply();
  }
  std::function<void()> OnApply;

private:
  QString FName;
  QStringList& FLog;
};

TEST_F(GuiStyle, ObserversApplyTheStyleOnRegistrationAndOnEveryChange) {
  TGuiStyle Style;
  QStringList Log;
  TObserver First(QStringLiteral("first"), Log);
  TObserver Second(QStringLiteral("second"), Log);
  Style.RegisterClient(nullptr);
  Style.RegisterClient(&First);
  Style.RegisterClient(&Second);
  EXPECT_EQ(Log, (QStringList{"first:Arial:9", "second:Arial:9"}));

  Log.clear();
  Style.SetFontName(QStringLiteral("Arial"));
  Style.SetFontSize(9);
  EXPECT_EQ(Log, QStringList());
  Style.SetFontSize(11);
  Style.SetBaseColor(RGB(0, 64, 128));
  EXPECT_EQ(Log, (QStringList{"first:Arial:11", "second:Arial:11", "first:Arial:11", "second:Arial:11"}));

  Log.clear();
  Style.UnregisterClient(&First);
  Style.SetFontName(QStringLiteral("Verdana"));
  EXPECT_EQ(Log, QStringList{"second:Verdana:11"});
  Style.UnregisterAll();
  Style.SetFontName(QStringLiteral("Arial"));
  EXPECT_EQ(Log, QStringList{"second:Verdana:11"});
}

TEST_F(GuiStyle, ObserversThatLeaveOrDieAreNotCalledAgain) {
  TGuiStyle Style;
  QStringList Log;
  TObserver Stays(QStringLiteral("stays"), Log);
  auto Dies = std::make_unique<TObserver>(QStringLiteral("dies"), Log);
  TObserver Leaves(QStringLiteral("leaves"), Log);
  Style.RegisterClient(&Leaves);
  Style.RegisterClient(Dies.get());
  Style.RegisterClient(&Stays);
  Leaves.OnApply = [&] { Style.UnregisterClient(&Leaves); };
  Dies.reset();
  Log.clear();
  Style.SetFontSize(12);
  Style.SetFontSize(13);
  EXPECT_EQ(Log, (QStringList{"leaves:Arial:12", "stays:Arial:12", "stays:Arial:13"}));
}

TEST_F(GuiStyle, GlobalStyleLivesBetweenStartUpAndShutDown) {
  ASSERT_EQ(GlobalGuiStyle, nullptr);
  StartUpGlobalGuiStyle();
  ASSERT_NE(GlobalGuiStyle, nullptr);
  QStringList Log;
  TObserver Observer(QStringLiteral("window"), Log);
  GlobalGuiStyle->RegisterClient(&Observer);
  ShutDownGlobalGuiStyle();
  EXPECT_EQ(GlobalGuiStyle, nullptr);
  EXPECT_EQ(Log, QStringList{"window:Arial:9"});
}

TEST_F(GuiStyle, ButtonsGetTheirSizeFromTheFont) {
  TGuiStyle Style;
  QPushButton Plain(QStringLiteral("OK"));
  QPushButton Bitmap(QStringLiteral("Repair"));
  QPixmap Picture(16, 16);
  Picture.fill(Qt::red);
  Bitmap.setIcon(QIcon(Picture));
  QToolButton Tool;
  const QSize ToolSize = Tool.size();
  Style.StyleButton(&Plain);
  Style.StyleButton(&Bitmap);
  Style.StyleButton(&Tool);
  EXPECT_EQ(Plain.font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(Plain.font().pointSize(), 8);
  EXPECT_EQ(Plain.width(), PixelHeight(Plain) * 3 + 60);
  EXPECT_EQ(Bitmap.width(), PixelHeight(Bitmap) * 3 + 70);
  EXPECT_EQ(Plain.contentsMargins().top(), 6);
  EXPECT_EQ(Plain.contentsMargins().bottom(), 6);
  EXPECT_EQ(Tool.size(), ToolSize);

  QCheckBox Check(QStringLiteral("Views"));
  Style.StyleSimpleCheckbox(&Check);
  EXPECT_EQ(Check.font().pointSize(), 8);
  EXPECT_EQ(Check.width(), 9 * 7 + 15);
}

TEST_F(GuiStyle, HeaderLabelWhiteAndBoldOnABasePanel) {
  TGuiStyle Style;
  QFrame Panel;
  Panel.setFrameShape(QFrame::Box);
  auto* Label = new QLabel(QStringLiteral("Anomalies"), &Panel);
  Style.StyleHeaderLabel(Label);
  EXPECT_TRUE(Label->font().bold());
  EXPECT_EQ(Label->font().pointSize(), 10);
  EXPECT_EQ(Html(QColorToColor(Label->palette().color(QPalette::WindowText))), QStringLiteral("#FFFFFF"));
  EXPECT_FALSE(Label->autoFillBackground());
  EXPECT_TRUE(Label->alignment() & Qt::AlignVCenter);
  EXPECT_EQ(Label->contentsMargins(), QMargins(8, 0, 2, 0));
  EXPECT_EQ(Panel.frameShape(), QFrame::NoFrame);
  EXPECT_EQ(Background(Panel), QStringLiteral("#595C63"));
  EXPECT_TRUE(Panel.autoFillBackground());
  EXPECT_EQ(Panel.height(), PixelHeight(*Label) + 10);

  // A label outside any panel gets the header font only; other controls are left alone.
  QLabel Loose(QStringLiteral("x"));
  Style.StyleHeaderLabel(&Loose);
  EXPECT_TRUE(Loose.font().bold());
  QPushButton Button;
  Style.StyleHeaderLabel(&Button);
  EXPECT_FALSE(Button.font().bold());
  EXPECT_FALSE(Button.autoFillBackground());
  EXPECT_THROW(Style.StyleHeaderPanel(nullptr), EAssertionFailed);
  EXPECT_THROW(Style.StyleHeaderLabel(nullptr), EAssertionFailed);
}

TEST_F(GuiStyle, PanelsAndBarsTakeThePaletteAndHeights) {
  TGuiStyle Style;
  QFrame ButtonPanel;
  QFrame Top;
  QFrame Plain;
  QWidget Form;
  Style.StyleButtonPanel(&ButtonPanel);
  Style.StyleTopPanel(&Top);
  Style.StylePanel(&Plain);
  Style.StyleForm(&Form);
  EXPECT_EQ((QStringList{Background(ButtonPanel), Background(Top), Background(Plain), Background(Form)}),
            (QStringList{"#FAFAFA", "#FAFAFA", "#EAEAEC", "#EAEAEC"}));
  EXPECT_EQ(ButtonPanel.height(), PixelHeight(ButtonPanel) + 32);
  EXPECT_EQ(Html(QColorToColor(Plain.palette().color(QPalette::WindowText))), QStringLiteral("#43454A"));

  QToolBar Bar;
  Bar.setIconSize(QSize(24, 24));
  Bar.setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  Style.StyleToolBar(&Bar);
  EXPECT_EQ(Style.ToolbarHeight(), PixelHeight(Bar) + 24 + 14);
  EXPECT_EQ(Bar.height(), Style.ToolbarHeight());
  Bar.setToolButtonStyle(Qt::ToolButtonIconOnly);
  Style.StyleToolBar(&Bar);
  EXPECT_EQ(Bar.height(), 24 + 11);

  QLabel Info(QStringLiteral("A long explanation that does not fit"));
  Style.StyleInfoLabel(&Info);
  EXPECT_EQ(Info.toolTip(), Info.text());
  EXPECT_EQ(Info.height(), PixelHeight(Info) + 4);
  EXPECT_EQ(Info.font().pointSize(), 8);
  EXPECT_EQ(Html(QColorToColor(Info.palette().color(QPalette::WindowText))),
            Html(TColorCalculator::BlendColors(Style.DarkColor(), clBlue, 50)));
}

}  // namespace
}  // namespace quillon
