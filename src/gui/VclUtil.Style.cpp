// The window program's style: a palette derived from one base colour, applied to windows and
// their controls.
#include "gui/VclUtil.Style.h"

#include "infra/platform/Support.Exceptions.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QEvent>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

namespace quillon {

namespace {

void SetControlFontName(QWidget* AControl, const QString& AName) {
  QFont Font = AControl->font();
  Font.setFamily(AName);
  AControl->setFont(Font);
}

void SetControlFontSize(QWidget* AControl, qint32 ASize) {
  QFont Font = AControl->font();
  Font.setPointSize(ASize);
  AControl->setFont(Font);
}

void SetControlFont(QWidget* AControl, const QString& AName, qint32 ASize) {
  SetControlFontName(AControl, AName);
  SetControlFontSize(AControl, ASize);
}

// The pixel height of the control's font (its em size on this screen).
qint32 FontHeight(const QWidget* AControl) {
  return QFontInfo(AControl->font()).pixelSize();
}

void SetPaletteColor(QWidget* AControl, QPalette::ColorRole ARole, TColor AColor) {
  QPalette Palette = AControl->palette();
  Palette.setColor(ARole, ColorToQColor(AColor));
  AControl->setPalette(Palette);
}

void SetBackground(QWidget* AControl, TColor AColor) {
  SetPaletteColor(AControl, QPalette::Window, AColor);
  AControl->setAutoFillBackground(true);
}

void SetFontColor(QWidget* AControl, TColor AColor) {
  SetPaletteColor(AControl, QPalette::WindowText, AColor);
}

void SetVerticalMargins(QWidget* AControl, qint32 ATop, qint32 ABottom) {
  const QMargins Margins = AControl->contentsMargins();
  AControl->setContentsMargins(Margins.left(), ATop, Margins.right(), ABottom);
}

void CenterVertically(QLabel* ALabel) {
  ALabel->setAlignment((ALabel->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

bool IsPanel(const QWidget* AControl) {
  if (AControl == nullptr)
    return false;
  if (AControl->metaObject() == &QWidget::staticMetaObject)
    return true;
  return qobject_cast<const QFrame*>(AControl) != nullptr && qobject_cast<const QLabel*>(AControl) == nullptr &&
         qobject_cast<const QAbstractScrollArea*>(AControl) == nullptr;
}

// Paints an information label's text cut with an ellipsis at the end, and keeps its tooltip
// on the whole text, since a plain label neither elides nor explains itself.
class TElidingLabelFilter : public QObject {
public:
  explicit TElidingLabelFilter(QLabel* ALabel) : QObject(ALabel), FLabel(ALabel) { ALabel->installEventFilter(this); }

  bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
    if (AWatched != FLabel || AEvent->type() != QEvent::Paint)
      return false;
    if (FLabel->toolTip() != FLabel->text())
      FLabel->setToolTip(FLabel->text());
    QPainter Painter(FLabel);
    const QRect Area = FLabel->contentsRect();
    Painter.setPen(FLabel->palette().color(QPalette::WindowText));
    Painter.drawText(Area, static_cast<int>(FLabel->alignment()) | Qt::TextSingleLine,
                     FLabel->fontMetrics().elidedText(FLabel->text(), Qt::ElideRight, Area.width()));
    return true;
  }

private:
  QLabel* FLabel;
};

}  // namespace

TGuiColorSet::TGuiColorSet() {
  FStatusText = RGB(128, 0, 0);
  TGuiColorSet::SetBaseColor(RGB(89, 92, 99));
}

void TGuiColorSet::SetBaseColor(TColor ABaseColor) {
  FBase = ABaseColor == clDefault ? RGB(89, 94, 99) : ABaseColor;
  FMedium = BlendColors(FBase, clWhite, 75);
  FLight = BlendColors(FMedium, clWhite, 50);
  FDarkColor = BlendColors(FBase, clBlack, 25);
  FCodeColor = BlendColors(clBlue, FDarkColor, 50);
  FVeryDark = BlendColors(FDarkColor, clBlack, 50);
  FFocus = RGB(255, 239, 187);
  FUnfocused = RGB(220, 235, 252);
  FCurrRow = BlendColors(RGB(255, 239, 187), clWhite, 50);
  FCurrCell = RGB(166, 202, 240);
  FVeryLight = BlendColors(FLight, clWhite, 75);
}

TColor TGuiColorSet::PrettyDarkColor() const {
  return BlendColors(FMedium, FDarkColor, 50);
}

TGuiStyle::TGuiStyle() : FFontName(QStringLiteral("Arial")), FFontSize(9), FMinFontSize(8) {}

TGuiStyle::~TGuiStyle() {
  UnregisterAll();
}

void TGuiStyle::SetBaseColor(TColor ABaseColor) {
  TGuiColorSet::SetBaseColor(ABaseColor);
  NotifyClients();
}

void TGuiStyle::SetFontName(const QString& Value) {
  if (Value == FFontName)
    return;
  FFontName = Value;
  NotifyClients();
}

void TGuiStyle::SetFontSize(qint32 Value) {
  if (Value == FFontSize)
    return;
  FFontSize = Value;
  NotifyClients();
}

void TGuiStyle::NotifyClients() {
  // An observer may unregister itself (or another) while it applies the style.
  const QList<IGuiStyleObserver*> Clients = FClientList;
  for (IGuiStyleObserver* Client : Clients)
    if (FClientList.contains(Client))
      Client->ApplyStyle(this);
}

void TGuiStyle::RegisterClient(IGuiStyleObserver* AClient) {
  if (AClient == nullptr)
    return;
  FClientList.append(AClient);
  if (auto* Object = dynamic_cast<QObject*>(AClient); Object != nullptr && !FClientGuards.contains(AClient))
    FClientGuards.insert(AClient, QObject::connect(Object, &QObject::destroyed, [this, AClient] {
                           UnregisterClient(AClient);
                         }));
  AClient->ApplyStyle(this);
}

void TGuiStyle::UnregisterClient(IGuiStyleObserver* AClient) {
  FClientList.removeAll(AClient);
  if (auto Guard = FClientGuards.find(AClient); Guard != FClientGuards.end()) {
    QObject::disconnect(*Guard);
    FClientGuards.erase(Guard);
  }
}

void TGuiStyle::UnregisterAll() {
  for (const QMetaObject::Connection& Guard : std::as_const(FClientGuards))
    QObject::disconnect(Guard);
  FClientGuards.clear();
  FClientList.clear();
}

qint32 TGuiStyle::SmallSize() const {
  return std::max(FFontSize - 1, FMinFontSize);
}

void TGuiStyle::StyleButton(QWidget* AButton) {
  auto* Button = qobject_cast<QPushButton*>(AButton);
  if (Button == nullptr)
    return;
  SetControlFont(Button, FFontName, FFontSize - 1);
  // A push button that shows a picture is the wider bitmap button.
  Button->setFixedWidth(FontHeight(Button) * 3 + (Button->icon().isNull() ? 60 : 70));
  SetVerticalMargins(Button, 6, 6);
}

void TGuiStyle::StyleButtonPanel(QWidget* APanel) {
  if (APanel == nullptr)
    return;
  SetControlFont(APanel, FFontName, FFontSize);
  SetBackground(APanel, FVeryLight);
  APanel->setFixedHeight(FontHeight(APanel) + 32);
}

void TGuiStyle::StyleHeaderPanel(QWidget* APanel) {
  StyleHeader(APanel);
}

void TGuiStyle::StyleHeaderLabel(QWidget* ALabel) {
  StyleHeader(ALabel);
}

void TGuiStyle::StyleHeader(QWidget* AControl) {
  Assert(AControl != nullptr, QStringLiteral("StyleHeader needs a control"));
  auto* Label = qobject_cast<QLabel*>(AControl);
  if (Label != nullptr) {
    Label->setAutoFillBackground(false);
    CenterVertically(Label);
    Label->setContentsMargins(8, 0, 2, 0);
    Label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (QWidget* Parent = Label->parentWidget(); Parent != nullptr && Parent->layout() == nullptr) {
      auto* Fill = new QVBoxLayout(Parent);
      Fill->setContentsMargins(0, 0, 0, 0);
      Fill->addWidget(Label);
    }
  }
  QWidget* Panel = IsPanel(AControl) ? AControl : nullptr;
  if (Label != nullptr || Panel != nullptr) {
    SetControlFontName(AControl, FFontName);
    QFont Font = AControl->font();
    Font.setPointSize(FFontSize + 1);
    Font.setBold(true);
    AControl->setFont(Font);
    SetFontColor(AControl, clWhite);
  }
  if (Label != nullptr && IsPanel(Label->parentWidget()))
    Panel = Label->parentWidget();
  if (Panel == nullptr)
    return;
  if (auto* Frame = qobject_cast<QFrame*>(Panel)) {
    Frame->setFrameShape(QFrame::NoFrame);
    Frame->setLineWidth(0);
  }
  SetBackground(Panel, FBase);
  const QMargins Margins = Panel->contentsMargins();
  Panel->setFixedHeight(FontHeight(AControl) + 10 + Margins.top() + Margins.bottom());
}

void TGuiStyle::StylePanel(QWidget* APanel) {
  if (APanel == nullptr)
    return;
  SetBackground(APanel, FLight);
  SetFontColor(APanel, FDarkColor);
  SetControlFontName(APanel, FFontName);
}

void TGuiStyle::StyleForm(QWidget* AForm) {
  if (AForm == nullptr)
    return;
  SetBackground(AForm, FLight);
  SetControlFont(AForm, FFontName, FFontSize);
}

void TGuiStyle::StyleFrame(QWidget* AFrame) {
  StyleForm(AFrame);
}

void TGuiStyle::StyleTopPanel(QWidget* APanel) {
  if (APanel == nullptr)
    return;
  SetBackground(APanel, FVeryLight);
  SetControlFontName(APanel, FFontName);
}

void TGuiStyle::StyleLabel(QLabel* ALabel) {
  if (ALabel == nullptr)
    return;
  SetControlFont(ALabel, FFontName, SmallSize());
  ALabel->setAutoFillBackground(false);
  ALabel->adjustSize();
}

void TGuiStyle::StyleSmallLabel(QLabel* ALabel) {
  if (ALabel == nullptr)
    return;
  StyleLabel(ALabel);
  SetControlFontSize(ALabel, std::max(ALabel->font().pointSize() - 1, FMinFontSize));
  ALabel->adjustSize();
}

void TGuiStyle::StyleInfoLabel(QLabel* ALabel) {
  if (ALabel == nullptr)
    return;
  SetControlFont(ALabel, FFontName, std::max(std::min(FFontSize - 1, 9), FMinFontSize));
  SetFontColor(ALabel, BlendColors(FDarkColor, clBlue, 50));
  ALabel->setAutoFillBackground(false);
  CenterVertically(ALabel);
  ALabel->setFixedHeight(FontHeight(ALabel) + 4);
  // Cut with an ellipsis rather than widening its container.
  ALabel->setMinimumWidth(0);
  ALabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  ALabel->setToolTip(ALabel->text());
  if (ALabel->findChild<TElidingLabelFilter*>(QString(), Qt::FindDirectChildrenOnly) == nullptr)
    new TElidingLabelFilter(ALabel);
}

void TGuiStyle::StyleCheckPanel(QWidget* APanel) {
  if (APanel == nullptr)
    return;
  SetControlFont(APanel, FFontName, SmallSize());
  APanel->setFixedHeight(FontHeight(APanel) + 12);
  APanel->setContentsMargins(3, 3, 3, 3);
}

void TGuiStyle::StyleTabset(QTabBar* ATabset) {
  if (ATabset == nullptr)
    return;
  SetControlFont(ATabset, FFontName, SmallSize());
  ATabset->setDocumentMode(true);
  SetBackground(ATabset, FVeryLight);
  ATabset->setStyleSheet(QStringLiteral("QTabBar::tab { background: %1; padding: 2px 10px; }"
                                        "QTabBar::tab:selected { background: %2; }")
                             .arg(VeryLight(), Light()));
  ATabset->setFixedHeight(FontHeight(ATabset) + 10);
}

void TGuiStyle::StyleSimpleCheckbox(QCheckBox* ACheckBox) {
  if (ACheckBox == nullptr)
    return;
  SetControlFont(ACheckBox, FFontName, std::max(FFontSize - 2, FMinFontSize));
  ACheckBox->setFixedWidth(FFontSize * 7 + 15);
}

void TGuiStyle::StyleToolBar(QToolBar* AToolBar) {
  if (AToolBar == nullptr)
    return;
  SetControlFont(AToolBar, FFontName, SmallSize());
  const qint32 ImageHeight = AToolBar->iconSize().height();
  FToolbarHeight = FontHeight(AToolBar) + ImageHeight + 14;
  const bool CaptionsHidden = AToolBar->toolButtonStyle() == Qt::ToolButtonIconOnly;
  AToolBar->setFixedHeight(CaptionsHidden ? ImageHeight + 11 : FToolbarHeight);
  // A lowered edge at the top and a raised one at the bottom around a vertical gradient.
  AToolBar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; border-top: 1px solid %1;"
                                         " border-bottom: 1px solid #FFFFFF; background: qlineargradient("
                                         "x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 %2, stop: 1 %3); }")
                              .arg(HtmlColor(PrettyDarkColor()), VeryLight(), Medium()));
}

void TGuiStyle::StyleSmallHeaderLabel(QLabel* ALabel) {
  if (ALabel == nullptr)
    return;
  SetControlFontName(ALabel, FFontName);
  QFont Font = ALabel->font();
  Font.setPointSize(SmallSize());
  Font.setBold(false);
  ALabel->setFont(Font);
  const QMargins Margins = ALabel->contentsMargins();
  ALabel->setContentsMargins(Margins.left(), Margins.top(), 3, Margins.bottom());
  CenterVertically(ALabel);
  SetFontColor(ALabel, clWhite);
}

namespace {
std::unique_ptr<TGuiStyle> TheGuiStyle;
}

void StartUpGlobalGuiStyle() {
  TheGuiStyle = std::make_unique<TGuiStyle>();
  GlobalGuiStyle = TheGuiStyle.get();
}

void ShutDownGlobalGuiStyle() {
  GlobalGuiStyle = nullptr;
  if (TheGuiStyle)
    TheGuiStyle->UnregisterAll();
  TheGuiStyle.reset();
}

}  // namespace quillon
