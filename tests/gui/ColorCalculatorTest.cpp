#include "gui/VclUtil.ColorCalculator.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

std::string Show(TColor AColor) {
  return QStringLiteral("%1 (%2)").arg(TColorCalculator::HtmlColor(AColor)).arg(AColor, 8, 16, QLatin1Char('0')).toStdString();
}

TEST(ColorCalculator, BlendRoundsHalvesToEvenAndGreysSystemStarts) {
  struct TCase {
    TColor Start;
    TColor Stop;
    qint32 Percent;
    TColor Expected;
  } const Cases[] = {
      {clWhite, RGB(255, 224, 192), 50, RGB(255, 239, 223)},  // -15.5 -> -16, -31.5 -> -32
      {RGB(89, 92, 99), clWhite, 75, RGB(213, 214, 216)},     // 124.5 -> 124
      {RGB(0, 0, 255), RGB(67, 69, 74), 50, RGB(34, 34, 165)},  // 33.5 -> 34, -90.5 -> -90
      {RGB(10, 20, 30), RGB(200, 100, 0), 0, RGB(10, 20, 30)},
      {RGB(10, 20, 30), RGB(200, 100, 0), 100, RGB(200, 100, 0)},
      {0x02000000 | RGB(0, 0, 0), clWhite, 50, RGB(128, 128, 128)},  // palette-relative blends
      {clBtnFace, clWhite, 50, clGray},                               // system start: grey
      {clBlack, clBtnFace, 50, RGB(8, 0, 0)},                          // system stop: raw bytes
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(Show(C.Start) + " to " + Show(C.Stop));
    EXPECT_EQ(Show(TColorCalculator::BlendColors(C.Start, C.Stop, C.Percent)), Show(C.Expected));
  }
}

TEST(ColorCalculator, HtmlNotation) {
  EXPECT_EQ(TColorCalculator::HtmlColor(RGB(89, 92, 99)), QStringLiteral("#595C63"));
  EXPECT_EQ(TColorCalculator::HtmlColor(RGB(10, 171, 255)), QStringLiteral("#0AABFF"));
}

TEST(ColorCalculator, HslConversionsAndComplement) {
  // Expected values from an independent HSL implementation.
  struct TCase {
    TColor Color;
    qint32 H, S, L;
    TColor Complement;
  } const Cases[] = {
      {RGB(89, 92, 99), 147, 13, 88, RGB(99, 96, 89)},
      {RGB(255, 0, 0), 0, 240, 120, RGB(0, 255, 255)},
      {RGB(0, 128, 128), 120, 240, 60, RGB(128, 0, 0)},
      {RGB(200, 100, 50), 13, 144, 118, RGB(50, 150, 200)},
      {RGB(12, 200, 180), 115, 213, 100, RGB(200, 12, 32)},
      {RGB(77, 77, 77), 0, 0, 72, RGB(77, 77, 77)},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(Show(C.Color));
    qint32 H, S, L;
    TColorCalculator::RGBtoHSLRange(C.Color, H, S, L);
    EXPECT_EQ((std::array{H, S, L}), (std::array{C.H, C.S, C.L}));
    double h, s, l;
    TColorCalculator::RGBtoHSL(C.Color, h, s, l);
    EXPECT_EQ(Show(TColorCalculator::HSLtoRGB(h, s, l)), Show(C.Color));
    EXPECT_EQ(Show(TColorCalculator::Complement(C.Color)), Show(C.Complement));
  }
  EXPECT_EQ(Show(TColorCalculator::HSLRangeToRGB(0, 240, 120)), Show(RGB(255, 0, 0)));
}

TEST(ColorCalculator, FontColorIsReadableOnTheBackground) {
  struct TCase {
    TColor Background;
    TColor Font;
  } const Cases[] = {
      {clBlack, clWhite},        {clRed, clWhite},           {clTeal, clWhite},
      {clBlue, clWhite},         {clWhite, clBlack},         {clWindow, clWindowText},
      {clHighlight, clHighlightText}, {clBtnFace, clBtnText}, {clInfoBk, clInfoText},
      {RGB(89, 92, 99), clWhite}, {RGB(255, 255, 128), clBlack}, {RGB(234, 234, 236), clBlack},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(Show(C.Background));
    EXPECT_EQ(Show(TColorCalculator::SelectFontColor(C.Background)), Show(C.Font));
  }
}

}  // namespace
}  // namespace quillon
