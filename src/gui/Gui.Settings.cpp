// Where the main window was and the sizes of single controls, kept in the settings store.
#include "gui/Gui.Settings.h"

#include "infra/settings/Interfaces.Settings.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

namespace quillon {

namespace {

const QString StateKey = QStringLiteral("State");
const char* const PositionProperty = "Position";

enum TWindowStateOrdinal : qint32 { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

qint32 StateOrdinal(Qt::WindowStates AState) {
  if (AState & Qt::WindowMinimized)
    return wsMinimized;
  if (AState & (Qt::WindowMaximized | Qt::WindowFullScreen))
    return wsMaximized;
  return wsNormal;
}

QSize ScreenSize() {
  const QScreen* Screen = QGuiApplication::primaryScreen();
  return Screen != nullptr ? Screen->size() : QSize();
}

QRect WorkArea() {
  const QScreen* Screen = QGuiApplication::primaryScreen();
  return Screen != nullptr ? Screen->availableGeometry() : QRect();
}

QVariant PositionOf(const QObject* AComponent) {
  QVariant Value = AComponent->property(PositionProperty);
  if (!Value.isValid())
    throw Exception(QStringLiteral("Property Position does not exist"));
  return Value;
}

}  // namespace

TGuiSettings::TGuiSettings(QWidget* AMainForm, ISettings* ASettings, ILog* ALog)
    : FMainForm(AMainForm), FSettings(ASettings), FLog(ALog != nullptr ? ALog : GlobalLog) {}

bool TGuiSettings::RectIsVisibleOnMonitors(const QRect& ARect) {
  const auto Screens = QGuiApplication::screens();
  return std::any_of(Screens.begin(), Screens.end(),
                     [&ARect](const QScreen* AScreen) { return AScreen->availableGeometry().intersects(ARect); });
}

QString TGuiSettings::FormSection() const {
  const QSize Size = ScreenSize();
  return Format(QStringLiteral("%s.%dx%d"), {FMainForm->objectName(), Size.width(), Size.height()});
}

QString TGuiSettings::ScreenSection() {
  const QSize Size = ScreenSize();
  return Format(QStringLiteral("Screen%dx%d"), {Size.width(), Size.height()});
}

void TGuiSettings::Guarded(const QString& AVerb, const std::function<void()>& AWork, TReport AReport) {
  QString Message;
  try {
    AWork();
    return;
  } catch (const Exception& E) {
    Message = E.Message();
  } catch (const std::exception& E) {
    Message = QString::fromUtf8(E.what());
  }
  if (FLog == nullptr)
    return;
  const QString Text = QStringLiteral("%s.") + AVerb + QStringLiteral(": %s");
  const QVariantList Params{ClassNameOf(typeid(*this)), Message};
  switch (AReport) {
    case rpSilentError: FLog->SilentError(Text, Params); break;
    case rpSilentWarning: FLog->SilentWarning(Text, Params); break;
    case rpInfo: FLog->Event(Text, Params, ltInfo); break;
  }
}

void TGuiSettings::SaveInteger(const QString& ASection, const QString& AKey, const std::function<qint32()>& AValue) {
  Guarded(
      QStringLiteral("Save"),
      [&] { FSettings->WriteInteger(scopeLocalPrivate, SectionOrScreen(ASection), AKey, AValue()); }, rpInfo);
}

bool TGuiSettings::GetFont(QString& AFontName, qint32& AFontSize) {
  if (FSettings == nullptr)
    return false;
  AFontName = FSettings->ReadString(scopeUser, ScreenSection(), QStringLiteral("FontName"), QString());
  AFontSize = FSettings->ReadInteger(scopeUser, ScreenSection(), QStringLiteral("FontSize"), 0);
  return !AFontName.isEmpty() && AFontSize > 7;
}

void TGuiSettings::SetFont(const QString& AFontName, qint32 AFontSize) {
  if (FSettings == nullptr)
    return;
  FSettings->WriteString(scopeUser, ScreenSection(), QStringLiteral("FontName"), AFontName);
  FSettings->WriteInteger(scopeUser, ScreenSection(), QStringLiteral("FontSize"), AFontSize);
}

void TGuiSettings::LoadMainForm() {
  if (FMainForm == nullptr)
    return;
  if (FSettings == nullptr) {
    FMainForm->setGeometry(WorkArea());
    return;
  }
  Guarded(
      QStringLiteral("Load"),
      [this] {
        const QString Section = FormSection();
        const qint32 State = FSettings->ReadInteger(scopeLocalPrivate, Section, StateKey, wsNormal);
        // The normal bounds come first, also for a maximised window: un-maximising returns to
        // them. Without saved bounds the window keeps the place its owner chose.
        FMainForm->setWindowState(Qt::WindowNoState);
        const QRect Current = FMainForm->geometry();
        QRect Bounds(FSettings->ReadInteger(scopeLocalPrivate, Section, QStringLiteral("Left"), Current.left()),
                     FSettings->ReadInteger(scopeLocalPrivate, Section, QStringLiteral("Top"), Current.top()),
                     FSettings->ReadInteger(scopeLocalPrivate, Section, QStringLiteral("Width"), Current.width()),
                     FSettings->ReadInteger(scopeLocalPrivate, Section, QStringLiteral("Height"), Current.height()));
        if (!RectIsVisibleOnMonitors(Bounds))
          Bounds = WorkArea();
        FMainForm->setGeometry(Bounds);
        if (State == wsMinimized || State == wsMaximized)
          FMainForm->setWindowState(State == wsMinimized ? Qt::WindowMinimized : Qt::WindowMaximized);
      },
      rpSilentError);
}

void TGuiSettings::SaveMainForm() {
  if (FMainForm == nullptr || FSettings == nullptr)
    return;
  Guarded(
      QStringLiteral("Save"),
      [this] {
        const QString Section = FormSection();
        const qint32 State = StateOrdinal(FMainForm->windowState());
        FSettings->WriteInteger(scopeLocalPrivate, Section, StateKey, State);
        if (State == wsMinimized)
          return;
        // A maximised window keeps the bounds it returns to.
        QRect Bounds = State == wsMaximized ? FMainForm->normalGeometry() : FMainForm->geometry();
        if (!Bounds.isValid())
          Bounds = FMainForm->geometry();
        FSettings->WriteInteger(scopeLocalPrivate, Section, QStringLiteral("Left"), Bounds.left());
        FSettings->WriteInteger(scopeLocalPrivate, Section, QStringLiteral("Top"), Bounds.top());
        FSettings->WriteInteger(scopeLocalPrivate, Section, QStringLiteral("Width"), Bounds.width());
        FSettings->WriteInteger(scopeLocalPrivate, Section, QStringLiteral("Height"), Bounds.height());
      },
      rpSilentWarning);
}

QString TGuiSettings::SectionOrScreen(const QString& ASection) const {
  return ASection.isEmpty() ? ScreenSection() : ASection;
}

void TGuiSettings::LoadHeight(QWidget* AControl, const QString& ASection) {
  if (FSettings == nullptr || AControl == nullptr)
    return;
  AControl->resize(AControl->width(),
                   FSettings->ReadInteger(scopeLocalPrivate, SectionOrScreen(ASection),
                                          AControl->objectName() + QStringLiteral(".Height"), AControl->height()));
}

void TGuiSettings::LoadWidth(QWidget* AControl, const QString& ASection) {
  if (FSettings == nullptr || AControl == nullptr)
    return;
  AControl->resize(FSettings->ReadInteger(scopeLocalPrivate, SectionOrScreen(ASection),
                                          AControl->objectName() + QStringLiteral(".Width"), AControl->width()),
                   AControl->height());
}

void TGuiSettings::LoadPosition(QObject* AComponent, const QString& ASection) {
  if (FSettings == nullptr || AComponent == nullptr)
    return;
  Guarded(
      QStringLiteral("Load"),
      [&] {
        const qint32 Position =
            FSettings->ReadInteger(scopeLocalPrivate, SectionOrScreen(ASection),
                                   AComponent->objectName() + QStringLiteral(".Position"), PositionOf(AComponent).toInt());
        AComponent->setProperty(PositionProperty, Position);
      },
      rpInfo);
}

void TGuiSettings::SaveHeight(QWidget* AControl, const QString& ASection) {
  if (FSettings != nullptr && AControl != nullptr)
    SaveInteger(ASection, AControl->objectName() + QStringLiteral(".Height"), [AControl] { return AControl->height(); });
}

void TGuiSettings::SaveWidth(QWidget* AControl, const QString& ASection) {
  if (FSettings != nullptr && AControl != nullptr)
    SaveInteger(ASection, AControl->objectName() + QStringLiteral(".Width"), [AControl] { return AControl->width(); });
}

void TGuiSettings::SavePosition(QObject* AComponent, const QString& ASection) {
  if (FSettings != nullptr && AComponent != nullptr)
    SaveInteger(ASection, AComponent->objectName() + QStringLiteral(".Position"),
                [AComponent] { return PositionOf(AComponent).toInt(); });
}

}  // namespace quillon
