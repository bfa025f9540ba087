// Jog while a button is held (Command5(0)/(1)) and the relative move by a distance in
// pulses or revolutions (Text5, Combo5, Command6(0)/(1)).
#pragma once

#include <optional>
#include <string>

#include "app/session.h"

namespace dd {

// Which way a jog or move button points.
enum class MoveButton { Away = 0, Toward = 1 };

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

// Distance in position units from the text of Text5, the unit shown in Combo5 and the
// units per revolution of Text2(8); nullopt when any of them is not a usable number.
std::optional<double> MoveDistance(const std::string& distanceText, const std::string& unit,
                                   const std::string& unitsPerRevText);

// The relative move: stop, new target, restart under one hold of BusLock, then wait
// for standstill and arm the limit re-synchronisation. Reads MoveTarget.
void MoveWorker(Session& session);

// Installs the jog buttons, the move buttons, the Combo5 click and the key filters of
// Text5 and Text3.
void InstallJogMoveHandlers(Session& session);

}  // namespace dd
