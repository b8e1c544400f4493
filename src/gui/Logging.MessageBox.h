// The log's message boxes on screen.
#pragma once

#include "infra/logging/Logging.Base.h"

namespace quillon {

// The log's message box on screen: a modal QMessageBox of the kind's icon with the requested
// buttons, centred on the screen, titled with the application's display name.
class TMessageBoxPresenter : public IMessageBoxPresenter {
public:
  qint32 ShowMessageBox(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons) override;
};

}  // namespace quillon
