// The dialog that asks whether a local routine text becomes the gold standard of a version.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillon {

class TDiffGrid;

// Asks whether a local routine text becomes the gold standard of a version, with the line
// difference between that version's gold text and the local text below the question.
class TfrmApproval : public QDialog {
  Q_OBJECT

public:
  TfrmApproval(const QString& AQuestion, const QString& AGoldCaption, const QString& AGoldText,
               const QString& ALocalText, QWidget* AOwner);

  QLabel* lblQuestion;
  TDiffGrid* grdDiff;
  QPushButton* btnYes;
  QPushButton* btnNo;
};

}  // namespace quillon
