// The messages that explain a failed homing run. A worker arms the one-shot timer of
// its failure case and ends; the timer shows the message on the UI thread.
#pragma once

#include <string>

#include "app/session.h"

namespace dd {

// One per failure case: a sensor that never let go or was not left within 3 s, no
// origin between the limits, both limits at once, a limit together with the origin.
enum class HomingDiagnostic {
  OriginNotLeft,
  OriginStuck,
  OriginNotFound,
  BothLimits,
  UpperLimitStuck,
  UpperLimitNotLeft,
  LowerLimitStuck,
  LowerLimitNotLeft,
  LimitWithOrigin,
  TargetOutOfRange,  // the offset move's target is beyond what the drive can hold
  BackOffOutOfRange, // the one-turn back-off's target is beyond it
};

inline constexpr const char* kHomingFailedTitle = "归零失败";
inline constexpr int kDiagnosticDelayMs = 10;

// The message text: its lines joined by "\r\n", the last line "归零未完成；".
std::string HomingDiagnosticText(HomingDiagnostic diagnostic);

// Arms the timer of `diagnostic`: 10 ms later the UI thread shows the message (error
// icon, title "归零失败"). Any thread; never waits for the message.
void ArmHomingDiagnostic(Session& session, HomingDiagnostic diagnostic);

}  // namespace dd
