// The small window on top that shows what a long activity is doing.
#pragma once

#include "gui/Interfaces.Progress.h"

#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;

namespace quillon {

// A small borderless window on top of the others that shows what a long activity is doing,
// centred on the window it serves.
class TfrmProgress : public QWidget, public IProgress {
  Q_OBJECT

public:
  explicit TfrmProgress(QWidget* AOwner = nullptr);

  QString GetInfo() override;
  // Shows the window when hidden; a changed text is painted at once.
  void SetInfo(const QString& Value) override;
  void Done() override;
  // A percentage; a changed position is painted at once, with the info line.
  void SetProgress(double value) override;
  void SetHeader(const QString& AName) override;

  // The window to centre on when shown; the owner when none is set.
  void SetCentreOn(QWidget* AWindow) { FCentreOn = AWindow; }

  QLabel* lblHeader;
  QLabel* lblInfo;
  QProgressBar* pbrSplash;

private:
  void CentreOnWindow();

  QWidget* FCentreOn = nullptr;
};

// A progress window with AName as its header, a child window of AOwner when one is given.
std::unique_ptr<TfrmProgress> CreateProgressWindow(QWidget* AOwner, const QString& AName);

}  // namespace quillon
