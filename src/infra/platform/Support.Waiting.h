// The hook a waiting thread calls now and then, so a blocked window keeps answering.
#pragma once

#include <functional>

namespace quillon {

// Called now and then while the calling thread waits on something outside the program (an
// answer of the gold-standard service, the next row from the database), so that a window the
// wait blocks can keep answering the window system. Empty when nobody needs it. The hook
// decides itself how often it does any work, so waits call it freely.
inline std::function<void()> WhileWaiting;

// Runs WhileWaiting; nothing the hook throws may end the wait that calls it.
inline void KeepAnswering() noexcept {
  try {
    if (WhileWaiting)
      WhileWaiting();
  } catch (...) {
  }
}

}  // namespace quillon
