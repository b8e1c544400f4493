// The row of version tabs at the foot of a pane, where no tab need be chosen.
#include "gui/Component.VersionTabSet.h"

#include <QStyleOptionTab>

namespace quillon {

TVersionTabSet::TVersionTabSet(QWidget* AParent) : QTabBar(AParent) {
  setShape(QTabBar::RoundedSouth);
  setExpanding(false);
  setDrawBase(true);
  // Arrow keys would choose a version behind the user's back.
  setFocusPolicy(Qt::NoFocus);
  // The strip stays in its place, tabs or none, as the foot of its pane.
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setMinimumHeight(fontMetrics().height() + 12);
  connect(this, &QTabBar::tabBarClicked, this, [this](int AIndex) {
    if (AIndex < 0)
      return;
    SetTabIndex(AIndex);
    emit Clicked();
  });
}

void TVersionTabSet::Clear() {
  while (count() > 0)
    removeTab(count() - 1);
  FNoneChosen = true;
}

void TVersionTabSet::SetTabIndex(qint32 AIndex) {
  FNoneChosen = AIndex < 0 || AIndex >= count();
  if (!FNoneChosen)
    setCurrentIndex(AIndex);
  update();
}

void TVersionTabSet::initStyleOption(QStyleOptionTab* AOption, int ATabIndex) const {
  QTabBar::initStyleOption(AOption, ATabIndex);
  if (FNoneChosen)
    AOption->state &= ~QStyle::State_Selected;
}

}  // namespace quillon
