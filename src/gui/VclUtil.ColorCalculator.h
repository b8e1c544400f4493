// The program's stored colour values: blending, HTML notation and conversion to and from
// QColor.
#pragma once

#include <QColor>
#include <QString>

namespace quillon {

// A colour in the layout the program stores and blends: red in the low byte, then green,
// then blue; the high byte is 0 for a plain RGB colour, 2 for a palette-relative one and
// 0xFF for a system colour whose low byte names a palette role.
using TColor = quint32;

constexpr TColor RGB(quint8 ARed, quint8 AGreen, quint8 ABlue) {
  return static_cast<TColor>(ARed) | (static_cast<TColor>(AGreen) << 8) | (static_cast<TColor>(ABlue) << 16);
}
constexpr quint8 GetRValue(TColor AColor) { return static_cast<quint8>(AColor); }
constexpr quint8 GetGValue(TColor AColor) { return static_cast<quint8>(AColor >> 8); }
constexpr quint8 GetBValue(TColor AColor) { return static_cast<quint8>(AColor >> 16); }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clTeal = RGB(0, 128, 128);
constexpr TColor clNavy = RGB(0, 0, 128);
constexpr TColor clGray = RGB(128, 128, 128);
// "The default colour" of a control, as a value a colour property can hold.
constexpr TColor clDefault = 0x1FFFFFFF;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowText = 0xFF000008;
constexpr TColor clHighlight = 0xFF00000D;
constexpr TColor clHighlightText = 0xFF00000E;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clBtnText = 0xFF000012;
constexpr TColor clInfoText = 0xFF000017;
constexpr TColor clInfoBk = 0xFF000018;

// Colour arithmetic without state. Rounding is to the nearest integer with ties to even.
class TColorCalculator {
public:
  // The colour APercent % of the way from AStartAt to AStopAt, per channel; grey when
  // AStartAt is a system colour.
  static TColor BlendColors(TColor AStartAt, TColor AStopAt, qint32 APercent);
  // "#RRGGBB" in upper-case hexadecimal.
  static QString HtmlColor(TColor AColor);
  // Hue, saturation and lightness, each 0 … 1.
  static void RGBtoHSL(TColor AColor, double& H, double& S, double& L);
  static TColor HSLtoRGB(double H, double S, double L);
  // The same with H in 0 … 239 and S, L in 0 … 240.
  static void RGBtoHSLRange(TColor AColor, qint32& H, qint32& S, qint32& L);
  static TColor HSLRangeToRGB(qint32 H, qint32 S, qint32 L);
  // The hue turned by half a circle.
  static TColor Complement(TColor AColor);
  // A readable text colour on a background of AColor.
  static TColor SelectFontColor(TColor AColor);
};

// The colour to paint with: system colours resolve through the application's palette.
QColor ColorToQColor(TColor AColor);
TColor QColorToColor(const QColor& AColor);

}  // namespace quillon
