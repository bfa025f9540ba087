// Writing the edited parameter set back to the drive, storing it there and reading it
// all again. Runs on the UI thread with the bus to itself: first the controls that
// start workers are disabled, then polling and every worker are waited out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_model.h"
#include "app/session.h"
#include "params/parameter_set.h"

namespace dd {

struct PlannedWrite {
  ParameterWrite write;
  // Value for the drive command; nullopt when the control holds nothing that can be
  // sent (empty, not a number, out of the register's range, no work mode chosen): the
  // drive then keeps what it holds.
  std::optional<double> value;
};

// What a save sends, from the controls and the scaling of the last connection. The
// sensor levels are included only when both level lists are visible.
std::vector<PlannedWrite> PlanParameterWrites(const ControlModel& controls,
                                              int32_t speedCoefficient, double pulsesPerRev);

// Register 0x0008 image with its bytes exchanged, as WriteDriveConfig takes it.
int32_t ComposeDriveConfig(bool motorReversed, bool startReleased, bool appReversed,
                           int32_t mode);
// Low 32 bits of the sensor configuration for the two level lists (1 = "常闭").
int32_t ComposeSensorConfig(int originLevelIndex, int limitLevelIndex);
// Drive current text in amperes to hundredths, through single precision.
std::optional<int32_t> DriveCurrentHundredths(std::string_view text);

// The steps in which a save and a restore from a file differ.
struct ExclusiveWrites {
  std::function<void(const BusAccess&)> write;  // while the panel still shows the values
  std::function<void(const BusAccess&)> store;  // store command and the wait that follows
  std::function<void()> afterReread;            // once the connection sequence ran again
};
// Runs `steps` the way the save runs: waits out motion, disables the controls that start
// workers, stops polling and waits for every worker, darkens the live display, writes,
// empties the panel, stores, and has the connection sequence read everything again.
// False (and nothing more happens) when a save already runs or the port went away.
bool RunLikeSave(Session& session, const ExclusiveWrites& steps);

// The whole save behind the save button ("保存修改"). A save that gives the drive a new
// "驱动器号" follows it there (AnsweringAddress) before reading everything again.
void SaveParameterSet(Session& session);

// Takes a drive's new number as its address, shows it in the title and says so in the
// hint line.
void TakeRenumberedAddress(Session& session, uint16_t number);
std::string RenumberedHint(int number);

inline constexpr const char* kSpeedOrderTitle = "错误信息";
inline constexpr const char* kSpeedOrderText =
    "    [归零速度]必须小于[运行速度]，请修改；\r\n   保存未完成；";

}  // namespace dd
