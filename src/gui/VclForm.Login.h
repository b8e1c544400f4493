// The dialog that asks for a SQL Server login.
#pragma once

#include "database/Database.Interfaces.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

// The modal dialog that asks for a SQL Server login. Created hidden by its owner and reused for
// every login; between logins it keeps its state, which the next Login overwrites.
class TfrmLogin : public QDialog, public IDatabaseLoginDialog {
  Q_OBJECT

public:
  explicit TfrmLogin(QWidget* AOwner);

  // Shows the dialog with the trimmed values; on OK returns true with the trimmed entries, on
  // Avbryt or the close box returns false and leaves both arguments alone.
  bool Login(QString& AUserName, QString& APassword) override;
  // OK is enabled exactly when the trimmed user name and password are both non-empty.
  void RefreshButtons();

  QWidget* panHeader;
  QLabel* lblProgramName;
  QLabel* imgLogin;
  QWidget* panFields;
  QLabel* lblUsername;
  QLineEdit* edtUsername;
  QLabel* lblPassword;
  QLineEdit* edtPassword;
  QWidget* panButtons;
  QPushButton* btnCancel;
  QPushButton* btnOk;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormShow();
};

}  // namespace quillon
