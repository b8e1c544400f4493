// Event handlers of the main window and its parts that hand any failure to the default error
// handler: Qt's event dispatch must never see an exception unwind through it.
#pragma once

#include "gui/Gui.Application.h"

namespace quillon {

template <class F>
void Guarded(F&& AHandler) {
  try {
    AHandler();
  } catch (...) {
    HandleException();
  }
}

// A slot that runs AOwner's AMethod guarded.
template <class T>
auto GuardedSlot(T* AOwner, void (T::*AMethod)()) {
  return [AOwner, AMethod] { Guarded([AOwner, AMethod] { (AOwner->*AMethod)(); }); };
}

}  // namespace quillon
