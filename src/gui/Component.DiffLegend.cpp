// The legend under the diff grid: a swatch for each of its colours.
#include "gui/Component.DiffLegend.h"

#include "gui/Component.DiffGrid.h"

#include <QHBoxLayout>
#include <QLabel>

namespace quillon {

namespace {

QLabel* AddEntry(QHBoxLayout* ALayout, TColor AColor, const QString& AText, TColor ATextColor = clBlack) {
  auto* Swatch = new QLabel(QStringLiteral("Ab"), ALayout->parentWidget());
  Swatch->setStyleSheet(QStringLiteral("background: %1; color: %2; border: 1px solid gray; padding: 0 3px;")
                            .arg(ColorToQColor(AColor).name(), ColorToQColor(ATextColor).name()));
  auto* Label = new QLabel(AText, ALayout->parentWidget());
  ALayout->addWidget(Swatch);
  ALayout->addWidget(Label);
  ALayout->addSpacing(6);
  return Label;
}

}  // namespace

TDiffLegend::TDiffLegend(QWidget* AParent) : QWidget(AParent) {
  auto* Layout = new QHBoxLayout(this);
  Layout->setContentsMargins(4, 0, 4, 0);
  Layout->setSpacing(2);
  AddEntry(Layout, TDiffGrid::clModified, QStringLiteral("Changed"));
  AddEntry(Layout, TDiffGrid::clModifiedMark, QStringLiteral("Changed characters"));
  fLeftOnly = AddEntry(Layout, TDiffGrid::clDeleted, QString());
  fRightOnly = AddEntry(Layout, TDiffGrid::clAdded, QString());
  AddEntry(Layout, TDiffGrid::clHiddenMark, QStringLiteral("Hidden character"), TDiffGrid::clHiddenText);
  Layout->addStretch();
  SetSideNames(QStringLiteral("left"), QStringLiteral("right"));
}

void TDiffLegend::SetSideNames(const QString& ALeftSide, const QString& ARightSide) {
  fLeftOnly->setText(QStringLiteral("Only on the %1 side").arg(ALeftSide));
  fRightOnly->setText(QStringLiteral("Only on the %1 side").arg(ARightSide));
}

}  // namespace quillon
