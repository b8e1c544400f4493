// The window program's style: a palette derived from one base colour, applied to windows and
// their controls.
#pragma once

#include "gui/VclUtil.ColorCalculator.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QString>

class QCheckBox;
class QLabel;
class QTabBar;
class QToolBar;
class QWidget;

namespace quillon {

// A palette derived from one base colour.
class TGuiColorSet : public TColorCalculator {
public:
  TGuiColorSet();
  virtual ~TGuiColorSet() = default;

  virtual void SetBaseColor(TColor ABaseColor);

  TColor clDark() const { return FDarkColor; }
  TColor clVeryLight() const { return FVeryLight; }
  TColor clStatusText() const { return FStatusText; }
  TColor clBase() const { return FBase; }
  TColor clCurrCell() const { return FCurrCell; }
  TColor clCurrRow() const { return FCurrRow; }
  TColor MediumColor() const { return FMedium; }
  TColor DarkColor() const { return FDarkColor; }
  TColor CodeColor() const { return FCodeColor; }
  TColor LightColor() const { return FLight; }
  TColor VeryLightColor() const { return FVeryLight; }
  TColor VeryDarkColor() const { return FVeryDark; }
  TColor PrettyDarkColor() const;
  TColor FocusedSelection() const { return FFocus; }
  TColor UnfocusedSelection() const { return FUnfocused; }

  QString Medium() const { return HtmlColor(FMedium); }
  QString Dark() const { return HtmlColor(FDarkColor); }
  QString VeryLight() const { return HtmlColor(FVeryLight); }
  QString Light() const { return HtmlColor(FLight); }
  QString Code() const { return HtmlColor(FCodeColor); }
  QString StatusText() const { return HtmlColor(FStatusText); }

protected:
  TColor FCodeColor = 0;
  TColor FStatusText = 0;
  TColor FFocus = 0;
  TColor FUnfocused = 0;
  TColor FMedium = 0;
  TColor FLight = 0;
  TColor FVeryLight = 0;
  TColor FVeryDark = 0;
  TColor FBase = 0;
  TColor FCurrCell = 0;
  TColor FCurrRow = 0;
  TColor FDarkColor = 0;
};

class IGuiStyle;

// A window or frame that styles its own controls; told again whenever the style changes.
class IGuiStyleObserver {
public:
  virtual ~IGuiStyleObserver() = default;
  virtual void ApplyStyle(IGuiStyle* AStyle) = 0;
};

// One look for every window. Each Style… operation takes a control of the kind its name
// says; "panel" means a QFrame (not a label or scroll area) or a plain QWidget.
class IGuiStyle {
public:
  virtual ~IGuiStyle() = default;
  virtual QString GetFontName() = 0;
  virtual qint32 GetFontSize() = 0;
  virtual TColor GetCodeColor() = 0;
  virtual TColor GetDarkColor() = 0;
  virtual TColor GetMediumColor() = 0;
  virtual TColor GetLightColor() = 0;
  virtual TColor GetPrettyDarkColor() = 0;
  virtual TColor GetVeryDarkColor() = 0;
  virtual TColor GetVeryLightColor() = 0;
  virtual TColor GetFocusedSelection() = 0;
  virtual TColor GetUnfocusedSelection() = 0;
  virtual void SetFontName(const QString& Value) = 0;
  virtual void SetFontSize(qint32 Value) = 0;
  virtual qint32 ToolbarHeight() = 0;
  virtual void StyleButton(QWidget* AButton) = 0;
  virtual void StyleButtonPanel(QWidget* APanel) = 0;
  virtual void StyleHeaderPanel(QWidget* APanel) = 0;
  virtual void StyleHeaderLabel(QWidget* ALabel) = 0;
  virtual void StylePanel(QWidget* APanel) = 0;
  virtual void StyleForm(QWidget* AForm) = 0;
  virtual void StyleFrame(QWidget* AFrame) = 0;
  virtual void StyleTopPanel(QWidget* APanel) = 0;
  virtual void StyleLabel(QLabel* ALabel) = 0;
  virtual void StyleSmallLabel(QLabel* ALabel) = 0;
  virtual void StyleInfoLabel(QLabel* ALabel) = 0;
  virtual void StyleCheckPanel(QWidget* APanel) = 0;
  virtual void StyleTabset(QTabBar* ATabset) = 0;
  virtual void StyleSimpleCheckbox(QCheckBox* ACheckBox) = 0;
  virtual void StyleToolBar(QToolBar* AToolBar) = 0;
  virtual void StyleSmallHeaderLabel(QLabel* ALabel) = 0;
  virtual void RegisterClient(IGuiStyleObserver* AClient) = 0;
  virtual void UnregisterClient(IGuiStyleObserver* AClient) = 0;
};

class TGuiStyle : public TGuiColorSet, public IGuiStyle {
public:
  TGuiStyle();
  ~TGuiStyle() override;
  TGuiStyle(const TGuiStyle&) = delete;
  TGuiStyle& operator=(const TGuiStyle&) = delete;

  QString FontName() const { return FFontName; }
  qint32 FontSize() const { return FFontSize; }
  void SetBaseColor(TColor ABaseColor) override;
  // Forgets every observer without telling it.
  void UnregisterAll();

  QString GetFontName() override { return FFontName; }
  qint32 GetFontSize() override { return FFontSize; }
  TColor GetCodeColor() override { return CodeColor(); }
  TColor GetDarkColor() override { return DarkColor(); }
  TColor GetMediumColor() override { return MediumColor(); }
  TColor GetLightColor() override { return LightColor(); }
  TColor GetPrettyDarkColor() override { return PrettyDarkColor(); }
  TColor GetVeryDarkColor() override { return VeryDarkColor(); }
  TColor GetVeryLightColor() override { return VeryLightColor(); }
  TColor GetFocusedSelection() override { return FocusedSelection(); }
  TColor GetUnfocusedSelection() override { return UnfocusedSelection(); }
  void SetFontName(const QString& Value) override;
  void SetFontSize(qint32 Value) override;
  qint32 ToolbarHeight() override { return FToolbarHeight; }
  void StyleButton(QWidget* AButton) override;
  void StyleButtonPanel(QWidget* APanel) override;
  void StyleHeaderPanel(QWidget* APanel) override;
  void StyleHeaderLabel(QWidget* ALabel) override;
  void StylePanel(QWidget* APanel) override;
  void StyleForm(QWidget* AForm) override;
  void StyleFrame(QWidget* AFrame) override;
  void StyleTopPanel(QWidget* APanel) override;
  void StyleLabel(QLabel* ALabel) override;
  void StyleSmallLabel(QLabel* ALabel) override;
  void StyleInfoLabel(QLabel* ALabel) override;
  void StyleCheckPanel(QWidget* APanel) override;
  void StyleTabset(QTabBar* ATabset) override;
  void StyleSimpleCheckbox(QCheckBox* ACheckBox) override;
  void StyleToolBar(QToolBar* AToolBar) override;
  void StyleSmallHeaderLabel(QLabel* ALabel) override;
  // Ignores an absent observer; otherwise lists it and has it apply the style at once.
  void RegisterClient(IGuiStyleObserver* AClient) override;
  void UnregisterClient(IGuiStyleObserver* AClient) override;

private:
  void NotifyClients();
  void StyleHeader(QWidget* AControl);
  qint32 SmallSize() const;

  QList<IGuiStyleObserver*> FClientList;
  // An observer that is a QObject leaves the list by itself when it is destroyed.
  QHash<IGuiStyleObserver*, QMetaObject::Connection> FClientGuards;
  qint32 FToolbarHeight = 0;
  QString FFontName;
  qint32 FFontSize = 0;
  qint32 FMinFontSize = 0;
};

// The program's one style: created by StartUpGlobalGuiStyle before the main window and
// freed by ShutDownGlobalGuiStyle after it, without telling the observers.
inline TGuiStyle* GlobalGuiStyle = nullptr;
void StartUpGlobalGuiStyle();
void ShutDownGlobalGuiStyle();

}  // namespace quillon
