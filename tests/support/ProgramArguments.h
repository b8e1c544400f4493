#pragma once

#include <array>

namespace quillon::test {

// The command line of an application object made in a test: only a program name. It must
// outlive the application object, which keeps references to it.
struct TProgramArguments {
  int Argc = 1;
  std::array<char, 8> Name{"quillon"};
  std::array<char*, 2> Argv{Name.data(), nullptr};
};

}  // namespace quillon::test
