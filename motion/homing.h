// Homing: find the origin sensor or one limit switch, creep onto it twice, move back
// a number of whole revolutions and make that position zero. One worker per mode.
#pragma once

#include <cstdint>

#include "app/session.h"

namespace dd {

inline constexpr int kCreepRpm = 60;
inline constexpr int kSecondCreepFilter = 12;
inline constexpr int kFlagPollMs = 10;
inline constexpr int kFirstTestMs = 50;
inline constexpr int kSpeedSettleMs = 100;
inline constexpr int kLeaveSensorMs = 3000;

// Speed register value of `rpm` with the connection-time scaling (halves to even);
// 0 when the scaling is unusable.
int32_t SpeedRegisterValue(const SharedState& state, double rpm);

// Puts the configured run speed, homing filter and homing speed back into the drive.
void RestoreSpeeds(Session& session);

// Worker bodies (run inside StartWorker); `offsetTurns` is HomingOffsetTurns at the click.
void HomeToOriginWorker(Session& session, int32_t offsetTurns);
void HomeToNearLimitWorker(Session& session, int32_t offsetTurns);
void HomeToFarLimitWorker(Session& session, int32_t offsetTurns);

// The "归零" click: refused while moving or homing; starts the worker of HomingMode.
void StartHoming(Session& session);

}  // namespace dd
