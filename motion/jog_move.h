// Jog while a button is held (the jog buttons) and the relative move by a distance in
// pulses or revolutions (distance field, unit list, move buttons).
#pragma once

#include <optional>
#include <string>

#include "app/session.h"

namespace dd {

// Which way a jog or move button points.
enum class MoveButton { Away, Toward };

inline constexpr const char* kUnitPulses = "脉冲";
inline constexpr const char* kMsgNoDistance = "    错误，请输入移动距离；";
inline constexpr const char* kMsgBadDistance = "    输入的数值不合规范，请修改；";
inline constexpr const char* kTitleCannotOperate = "不能操作";
inline constexpr const char* kTitleCannotInput = "不能输入";

// Attempts of the move's restart command before it is given up, and how long it may
// keep BusLock: shorter than the 3000 ms other workers wait for the bus.
inline constexpr int kMoveRestartPatienceMs = 2000;

// Absolute target of a move by `distance` (position units, already whole) from `base`.
double MoveTargetFor(double base, double distance, MoveButton button, bool directionReversed);

// Distance in position units from the move distance text, the chosen move unit and the
// units per revolution of UnitsPerRevField; nullopt when any of them is not a usable number.
std::optional<double> MoveDistance(const std::string& distanceText, const std::string& unit,
                                   const std::string& unitsPerRevText);

// The relative move: stop, new target, restart under one hold of BusLock, then wait
// for standstill and arm the limit re-synchronisation. Reads MoveTarget.
void MoveWorker(Session& session);

// Installs the jog buttons, the move buttons, the move unit list and the key filters of
// the move distance and actual position fields.
void InstallJogMoveHandlers(Session& session);

}  // namespace dd
