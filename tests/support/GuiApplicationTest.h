#pragma once

#include "gui/Gui.Application.h"
#include "gui/VclUtil.Style.h"
#include "support/ProgramArguments.h"
#include "support/RecordingLog.h"

#include <QDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace quillon::test {

// A test of the program's windows: the program's own application object (so a handler's
// failure reaches the default error handler), the global style, and a recording log as
// GlobalLog whose presenter answers and records every message box.
class TGuiApplicationTest : public testing::Test {
protected:
  TGuiApplicationTest() {
    Application.setApplicationDisplayName(QStringLiteral("Ulmora Quillon"));
    StartUpGlobalGuiStyle();
  }
  ~TGuiApplicationTest() override { ShutDownGlobalGuiStyle(); }

  TProgramArguments Arguments;
  TApplication Application{Arguments.Argc, Arguments.Argv.data()};
  TRecordingLog Log;
  TGlobalLogGuard LogGuard{&Log};
};

// Saves what AWidget shows as build/screenshots/<AName>.png, for a person to look at.
inline void SaveScreenshot(QWidget& AWidget, const QString& AName) {
  const QDir Folder(QStringLiteral(QUILLON_SCREENSHOTS));
  Folder.mkpath(QStringLiteral("."));
  // Lets pending layout requests settle, as the message loop would before the next paint.
  QCoreApplication::processEvents();
  EXPECT_TRUE(AWidget.grab().save(Folder.filePath(AName + QStringLiteral(".png")))) << AName.toStdString();
}

}  // namespace quillon::test
