// The legend under the diff grid: a swatch for each of its colours.
#pragma once

#include <QWidget>

class QLabel;

namespace quillon {

// A row of colour swatches that explains the diff grid's colours, the sides named as the
// grid's captions name them.
class TDiffLegend : public QWidget {
  Q_OBJECT

public:
  explicit TDiffLegend(QWidget* AParent = nullptr);
  // "gold", "local": the rows only on one side read "Only on the gold side".
  void SetSideNames(const QString& ALeftSide, const QString& ARightSide);

private:
  QLabel* fLeftOnly;
  QLabel* fRightOnly;
};

}  // namespace quillon
