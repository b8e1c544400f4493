#pragma once

#include "support/ProgramArguments.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace quillon::test {

// Widgets need an application object; each test gets its own, made before the fixture's
// widgets and destroyed after them.
class TGuiTest : public testing::Test {
protected:
  TProgramArguments Arguments;
  QApplication Application{Arguments.Argc, Arguments.Argv.data()};
};

}  // namespace quillon::test
