#include "motion/motion_handlers.h"

#include "motion/homing.h"
#include "motion/homing_settings.h"
#include "motion/jog_move.h"

namespace dd {

void InstallMotionHandlers(Session& s) {
  InstallJogMoveHandlers(s);
  InstallHomingSettingsHandlers(s);
  s.events.On(Control::HomingButton, UiEvent::Click, [&s](int) { StartHoming(s); });
}

}  // namespace dd
