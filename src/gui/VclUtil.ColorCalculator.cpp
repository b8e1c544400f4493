// The program's stored colour values: blending, HTML notation and conversion to and from
// QColor.
#include "gui/VclUtil.ColorCalculator.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

qint32 Nearest(double AValue) {
  double Result = std::floor(AValue);
  const double Fraction = AValue - Result;
  if (Fraction > 0.5 || (Fraction == 0.5 && std::fmod(Result, 2.0) != 0.0))
    Result += 1.0;
  return static_cast<qint32>(Result);
}

bool IsSystemColor(TColor AColor) {
  return (AColor >> 24) == 0xFF;
}

}  // namespace

TColor TColorCalculator::BlendColors(TColor AStartAt, TColor AStopAt, qint32 APercent) {
  const quint32 Kind = AStartAt >> 24;
  if (Kind != 0 && Kind != 2)
    return clGray;
  TColor Result = 0;
  for (int Shift = 0; Shift <= 16; Shift += 8) {
    const qint32 Start = static_cast<qint32>((AStartAt >> Shift) & 0xFF);
    const qint32 Stop = static_cast<qint32>((AStopAt >> Shift) & 0xFF);
    const qint32 Channel = Start + Nearest(static_cast<double>((Stop - Start) * APercent) / 100.0);
    Result |= (static_cast<TColor>(Channel) & 0xFF) << Shift;
  }
  return Result;
}

QString TColorCalculator::HtmlColor(TColor AColor) {
  return QStringLiteral("#%1%2%3")
      .arg(GetRValue(AColor), 2, 16, QLatin1Char('0'))
      .arg(GetGValue(AColor), 2, 16, QLatin1Char('0'))
      .arg(GetBValue(AColor), 2, 16, QLatin1Char('0'))
      .toUpper();
}

void TColorCalculator::RGBtoHSL(TColor AColor, double& H, double& S, double& L) {
  const double R = GetRValue(AColor) / 255.0;
  const double G = GetGValue(AColor) / 255.0;
  const double B = GetBValue(AColor) / 255.0;
  const double Max = std::max({R, G, B});
  const double Min = std::min({R, G, B});
  L = (Max + Min) / 2;
  if (Max == Min) {
    H = 0;
    S = 0;
    return;
  }
  const double D = Max - Min;
  S = L < 0.5 ? D / (Max + Min) : D / (2 - Max - Min);
  if (R == Max)
    H = (G - B) / D;
  else if (G != Max)
    H = 4 + (R - G) / D;
  else
    H = 2 + (B - R) / D;
  H /= 6;
  if (H < 0)
    H += 1;
}

TColor TColorCalculator::HSLtoRGB(double H, double S, double L) {
  if (S == 0) {
    const auto Grey = static_cast<quint8>(Nearest(L * 255));
    return RGB(Grey, Grey, Grey);
  }
  const double Q = L > 0.5 ? S + L - S * L : L * (1 + S);
  const double P = 2 * L - Q;
  const auto Channel = [P, Q](double T) {
    if (T < 0)
      T += 1;
    if (T > 1)
      T -= 1;
    double V = P;
    if (6 * T < 1)
      V = P + (Q - P) * 6 * T;
    else if (2 * T < 1)
      V = Q;
    else if (3 * T < 2)
      V = P + (Q - P) * (2.0 / 3.0 - T) * 6;
    return static_cast<quint8>(Nearest(255 * V));
  };
  return RGB(Channel(H + 1.0 / 3.0), Channel(H), Channel(H - 1.0 / 3.0));
}

void TColorCalculator::RGBtoHSLRange(TColor AColor, qint32& H, qint32& S, qint32& L) {
  double Hue;
  double Saturation;
  double Lightness;
  RGBtoHSL(AColor, Hue, Saturation, Lightness);
  H = Nearest(Hue * 239);
  S = Nearest(Saturation * 240);
  L = Nearest(Lightness * 240);
}

TColor TColorCalculator::HSLRangeToRGB(qint32 H, qint32 S, qint32 L) {
  return HSLtoRGB(H / 239.0, S / 240.0, L / 240.0);
}

TColor TColorCalculator::Complement(TColor AColor) {
  double H;
  double S;
  double L;
  RGBtoHSL(AColor, H, S, L);
  H += 0.5;
  if (H > 1)
    H -= 1;
  return HSLtoRGB(H, S, L);
}

TColor TColorCalculator::SelectFontColor(TColor AColor) {
  switch (AColor) {
    case clBlack:
    case clRed:
    case clTeal:
    case clBlue:
      return clWhite;
    case clWhite:
      return clBlack;
    case clWindow:
      return clWindowText;
    case clHighlight:
      return clHighlightText;
    case clBtnFace:
      return clBtnText;
    case clInfoBk:
      return clInfoText;
    default:
      break;
  }
  qint32 H;
  qint32 S;
  qint32 L;
  RGBtoHSLRange(AColor, H, S, L);
  return HSLRangeToRGB(H, S, L < 128 ? 240 : 0);
}

QColor ColorToQColor(TColor AColor) {
  if (!IsSystemColor(AColor))
    return QColor(GetRValue(AColor), GetGValue(AColor), GetBValue(AColor));
  const QPalette Palette = QGuiApplication::palette();
  switch (AColor) {
    case clWindow: return Palette.color(QPalette::Base);
    case clWindowText: return Palette.color(QPalette::Text);
    case clHighlight: return Palette.color(QPalette::Highlight);
    case clHighlightText: return Palette.color(QPalette::HighlightedText);
    case clBtnText: return Palette.color(QPalette::ButtonText);
    case clInfoText: return Palette.color(QPalette::ToolTipText);
    case clInfoBk: return Palette.color(QPalette::ToolTipBase);
    case clBtnFace: return Palette.color(QPalette::Button);
    default: return Palette.color(QPalette::Window);
  }
}

TColor QColorToColor(const QColor& AColor) {
  const QColor Rgb = AColor.toRgb();
  return RGB(static_cast<quint8>(Rgb.red()), static_cast<quint8>(Rgb.green()), static_cast<quint8>(Rgb.blue()));
}

}  // namespace quillon
