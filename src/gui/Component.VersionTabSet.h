// The row of version tabs at the foot of a pane, where no tab need be chosen.
#pragma once

#include <QTabBar>

namespace quillon {

// A row of tabs at the foot of a pane where, unlike a plain tab bar, no tab need be chosen:
// after the tabs are filled none is, until the user clicks one.
class TVersionTabSet : public QTabBar {
  Q_OBJECT

public:
  explicit TVersionTabSet(QWidget* AParent = nullptr);

  // Removes every tab; none is chosen afterwards.
  void Clear();
  // The chosen tab, -1 when none is.
  qint32 TabIndex() const { return FNoneChosen ? -1 : currentIndex(); }
  void SetTabIndex(qint32 AIndex);

signals:
  // The user clicked a tab, whether or not it was chosen already.
  void Clicked();

protected:
  void initStyleOption(QStyleOptionTab* AOption, int ATabIndex) const override;

private:
  bool FNoneChosen = true;
};

}  // namespace quillon
