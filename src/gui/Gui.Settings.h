// Where the main window was and the sizes of single controls, kept in the settings store.
#pragma once

#include <QRect>
#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace quillon {

class ILog;
class ISettings;

// Where the main window was, the sizes and positions of single controls, and the user's
// font, kept in the settings store. Window bounds are kept per screen resolution, so a new
// resolution starts from the window's own defaults.
class IGuiSettings {
public:
  virtual ~IGuiSettings() = default;
  // True when a usable font (a name and a size above 7 points) is stored for this screen.
  virtual bool GetFont(QString& AFontName, qint32& AFontSize) = 0;
  virtual void SetFont(const QString& AFontName, qint32 AFontSize) = 0;
  virtual void LoadMainForm() = 0;
  virtual void SaveMainForm() = 0;
  // An empty ASection means the section of the current screen resolution.
  virtual void LoadHeight(QWidget* AControl, const QString& ASection) = 0;
  virtual void LoadWidth(QWidget* AControl, const QString& ASection) = 0;
  // The component's integer property "Position".
  virtual void LoadPosition(QObject* AComponent, const QString& ASection) = 0;
  virtual void SaveHeight(QWidget* AControl, const QString& ASection) = 0;
  virtual void SaveWidth(QWidget* AControl, const QString& ASection) = 0;
  virtual void SavePosition(QObject* AComponent, const QString& ASection) = 0;
};

// Controls are named by their objectName. Without a settings store every operation but
// LoadMainForm does nothing and GetFont answers false.
class TGuiSettings : public IGuiSettings {
public:
  // ALog may be absent: GlobalLog is taken then.
  TGuiSettings(QWidget* AMainForm, ISettings* ASettings, ILog* ALog);

  // True when ARect meets the available area of at least one screen.
  static bool RectIsVisibleOnMonitors(const QRect& ARect);

  bool GetFont(QString& AFontName, qint32& AFontSize) override;
  void SetFont(const QString& AFontName, qint32 AFontSize) override;
  void LoadMainForm() override;
  void SaveMainForm() override;
  void LoadHeight(QWidget* AControl, const QString& ASection) override;
  void LoadWidth(QWidget* AControl, const QString& ASection) override;
  void LoadPosition(QObject* AComponent, const QString& ASection) override;
  void SaveHeight(QWidget* AControl, const QString& ASection) override;
  void SaveWidth(QWidget* AControl, const QString& ASection) override;
  void SavePosition(QObject* AComponent, const QString& ASection) override;

  QString FormSection() const;
  static QString ScreenSection();

private:
  enum TReport { rpSilentError, rpSilentWarning, rpInfo };
  // Runs AWork; a failure is logged as "<class>.<AVerb>: <message>" in the way AReport says.
  void Guarded(const QString& AVerb, const std::function<void()>& AWork, TReport AReport);
  void SaveInteger(const QString& ASection, const QString& AKey, const std::function<qint32()>& AValue);
  QString SectionOrScreen(const QString& ASection) const;

  QWidget* FMainForm;
  ISettings* FSettings;
  ILog* FLog;
};

}  // namespace quillon
