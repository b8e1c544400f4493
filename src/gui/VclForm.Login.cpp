// The dialog that asks for a SQL Server login.
#include "gui/VclForm.Login.h"

#include "gui/Gui.Fonts.h"
#include "infra/text/Support.Format.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

namespace {

// The dialog's picture: a database drum with a key in front of it.
QPixmap LoginPicture() {
  QPixmap Picture(134, 135);
  Picture.fill(Qt::transparent);
  QPainter Painter(&Picture);
  Painter.setRenderHint(QPainter::Antialiasing);
  const QColor Body(0x3A, 0x6E, 0xA5);
  const QColor Top(0x8F, 0xB8, 0xE0);
  const QRectF Drum(18, 14, 84, 100);
  const qreal Cap = 22;
  QPainterPath Side;
  Side.moveTo(Drum.left(), Drum.top() + Cap / 2);
  Side.lineTo(Drum.left(), Drum.bottom() - Cap / 2);
  Side.arcTo(QRectF(Drum.left(), Drum.bottom() - Cap, Drum.width(), Cap), 180, 180);
  Side.lineTo(Drum.right(), Drum.top() + Cap / 2);
  Side.closeSubpath();
  Painter.setPen(QPen(Body.darker(130), 1.5));
  Painter.setBrush(Body);
  Painter.drawPath(Side);
  for (const qreal Ring : {Drum.top() + 42, Drum.top() + 72})
    Painter.drawArc(QRectF(Drum.left(), Ring - Cap / 2, Drum.width(), Cap), 180 * 16, 180 * 16);
  Painter.setBrush(Top);
  Painter.drawEllipse(QRectF(Drum.left(), Drum.top(), Drum.width(), Cap));
  const QColor Gold(0xE8, 0xB4, 0x2A);
  Painter.setPen(QPen(Gold.darker(140), 1.5));
  Painter.setBrush(Gold);
  Painter.drawEllipse(QRectF(78, 78, 34, 34));
  Painter.drawRect(QRectF(104, 90, 26, 10));
  Painter.drawRect(QRectF(118, 100, 6, 10));
  Painter.setBrush(Qt::white);
  Painter.drawEllipse(QRectF(88, 88, 14, 14));
  return Picture;
}

// A band of the dialog with a line along one edge, drawn in the window's shadow colour.
class TBevelPanel : public QWidget {
public:
  TBevelPanel(QWidget* AParent, Qt::Edge AEdge) : QWidget(AParent), FEdge(AEdge) {}

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter Painter(this);
    const qint32 Y = FEdge == Qt::TopEdge ? 0 : height() - 2;
    Painter.setPen(palette().color(QPalette::Mid));
    Painter.drawLine(0, Y, width(), Y);
    Painter.setPen(palette().color(QPalette::Light));
    Painter.drawLine(0, Y + 1, width(), Y + 1);
  }

private:
  Qt::Edge FEdge;
};

QLabel* FieldLabel(const QString& AText, QWidget* AParent) {
  auto* Result = new QLabel(AText, AParent);
  Result->setFont(UiPixelFont(FaceSegoeUi, 13));
  return Result;
}

}  // namespace

TfrmLogin::TfrmLogin(QWidget* AOwner) : QDialog(AOwner) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(QString::fromUtf8("Pålogging"));
  // On top like the progress window that is showing while the connection asks for a login.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::WindowStaysOnTopHint);
  setFont(UiPixelFont(FaceSegoeUi, 16));
  setFixedSize(432, 250);

  panHeader = new TBevelPanel(this, Qt::BottomEdge);
  panHeader->setObjectName(QStringLiteral("panHeader"));
  panHeader->setFixedHeight(49);
  panHeader->setAutoFillBackground(true);
  QPalette White = panHeader->palette();
  White.setColor(QPalette::Window, Qt::white);
  panHeader->setPalette(White);
  lblProgramName = new QLabel(QStringLiteral("Programmets navn"), panHeader);
  lblProgramName->setObjectName(QStringLiteral("lblProgramName"));
  lblProgramName->setFont(UiPixelFont(FaceSegoeUi, 21, true));
  lblProgramName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* HeaderLayout = new QHBoxLayout(panHeader);
  HeaderLayout->setContentsMargins(16, 0, 16, 2);
  HeaderLayout->addWidget(lblProgramName);

  imgLogin = new QLabel(this);
  imgLogin->setObjectName(QStringLiteral("imgLogin"));
  imgLogin->setFixedSize(134, 135);
  imgLogin->setPixmap(LoginPicture());

  panFields = new QWidget(this);
  panFields->setObjectName(QStringLiteral("panFields"));
  lblUsername = FieldLabel(QStringLiteral("Brukernavn"), panFields);
  lblUsername->setObjectName(QStringLiteral("lblUsername"));
  edtUsername = new QLineEdit(panFields);
  edtUsername->setObjectName(QStringLiteral("edtUsername"));
  lblPassword = FieldLabel(QStringLiteral("Passord"), panFields);
  lblPassword->setObjectName(QStringLiteral("lblPassword"));
  edtPassword = new QLineEdit(panFields);
  edtPassword->setObjectName(QStringLiteral("edtPassword"));
  edtPassword->setEchoMode(QLineEdit::Password);
  auto* Fields = new QVBoxLayout(panFields);
  Fields->setContentsMargins(16, 0, 16, 0);
  Fields->setSpacing(0);
  for (QWidget* Field : {static_cast<QWidget*>(lblUsername), static_cast<QWidget*>(edtUsername),
                         static_cast<QWidget*>(lblPassword), static_cast<QWidget*>(edtPassword)}) {
    if (qobject_cast<QLabel*>(Field) != nullptr)
      Fields->addSpacing(8);
    Fields->addWidget(Field);
  }
  Fields->addStretch();

  auto* Middle = new QHBoxLayout;
  Middle->setContentsMargins(16, 0, 0, 0);
  Middle->setSpacing(0);
  Middle->addWidget(imgLogin, 0, Qt::AlignTop);
  Middle->addWidget(panFields, 1);

  panButtons = new TBevelPanel(this, Qt::TopEdge);
  panButtons->setObjectName(QStringLiteral("panButtons"));
  panButtons->setFixedHeight(60);
  btnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Avbryt"), panButtons);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setAutoDefault(false);
  btnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), panButtons);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  for (QPushButton* Button : {btnCancel, btnOk})
    Button->setFixedSize(110, 34);
  auto* Buttons = new QHBoxLayout(panButtons);
  Buttons->setContentsMargins(0, 2, 16, 0);
  Buttons->setSpacing(8);
  Buttons->addStretch();
  Buttons->addWidget(btnCancel);
  Buttons->addWidget(btnOk);

  auto* Bands = new QVBoxLayout(this);
  Bands->setContentsMargins(0, 0, 0, 0);
  Bands->setSpacing(0);
  Bands->addWidget(panHeader);
  Bands->addSpacing(8);
  Bands->addLayout(Middle, 1);
  Bands->addWidget(panButtons);

  setTabOrder(edtUsername, edtPassword);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(edtPassword, &QLineEdit::textChanged, this, &TfrmLogin::RefreshButtons);
}

bool TfrmLogin::Login(QString& AUserName, QString& APassword) {
  edtUsername->setText(Trim(AUserName));
  edtPassword->setText(Trim(APassword));
  edtUsername->setFocus();
  if (exec() != QDialog::Accepted)
    return false;
  AUserName = Trim(edtUsername->text());
  APassword = Trim(edtPassword->text());
  return true;
}

void TfrmLogin::RefreshButtons() {
  btnOk->setEnabled(!Trim(edtUsername->text()).isEmpty() && !Trim(edtPassword->text()).isEmpty());
}

void TfrmLogin::showEvent(QShowEvent* AEvent) {
  QDialog::showEvent(AEvent);
  FormShow();
}

void TfrmLogin::FormShow() {
  connect(edtUsername, &QLineEdit::textChanged, this, &TfrmLogin::RefreshButtons, Qt::UniqueConnection);
  lblProgramName->setText(QGuiApplication::applicationDisplayName());
}

}  // namespace quillon
