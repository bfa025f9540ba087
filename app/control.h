// Every control of the main window and of the homing settings dialog, named by what
// it is. Logic, the control model and the event routes address controls only by these
// names; where each one sits and what it shows is in the layout table (ui/window_layout).
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string_view>

namespace dd {

// One list, so the enumeration and the names cannot drift apart.
#define DD_CONTROLS(X)                                                                     \
  /* The windows themselves: events Load and Close, parents of their controls. */          \
  X(MainWindow) X(SettingsDialog)                                                           \
  /* Connection group. */                                                                   \
  X(PortCaption) X(PortList) X(BaudCaption) X(BaudList) X(OpenCloseButton) X(CommLamp)      \
  /* Parameter panel: lists and check boxes. */                                             \
  X(ParameterPanel) X(DriveInfoCaption)                                                     \
  X(WorkModeCaption) X(WorkModeList) X(DriveBaudCaption) X(DriveBaudList)                   \
  X(OriginLevelCaption) X(OriginLevelList) X(LimitLevelCaption) X(LimitLevelList)           \
  X(MotorReversedCheck) X(StartReleasedCheck) X(AppReversedCheck)                           \
  /* Parameter fields, each with its caption and, where it has one, its unit label. */      \
  X(DriveCurrentField) X(DriveCurrentCaption) X(DriveCurrentUnit)                           \
  X(CurrentReductionField) X(CurrentReductionCaption) X(CurrentReductionUnit)               \
  X(ReductionDelayField) X(ReductionDelayCaption) X(ReductionDelayUnit)                     \
  X(LiveCurrentField) X(LiveCurrentCaption) X(LiveCurrentUnit)                              \
  X(RunSpeedField) X(RunSpeedCaption) X(RunSpeedUnit)                                       \
  X(StartSpeedField) X(StartSpeedCaption) X(StartSpeedUnit)                                 \
  X(CommFilterField) X(CommFilterCaption)                                                   \
  X(LiveSpeedField) X(LiveSpeedCaption) X(LiveSpeedUnit)                                    \
  X(UnitsPerRevField) X(UnitsPerRevCaption)                                                 \
  X(PulseLengthField) X(PulseLengthCaption)                                                 \
  X(PulsesPerRevField) X(PulsesPerRevCaption)                                               \
  X(DeviationAlarmField) X(DeviationAlarmCaption) X(DeviationAlarmUnit)                     \
  X(InPositionWindowField) X(InPositionWindowCaption) X(InPositionWindowUnit)               \
  X(InPositionTimeField) X(InPositionTimeCaption) X(InPositionTimeUnit)                     \
  X(InputBandwidthField) X(InputBandwidthCaption)                                           \
  X(DriveNumberField) X(DriveNumberCaption)                                                 \
  X(CpuTemperatureField) X(CpuTemperatureCaption) X(CpuTemperatureUnit)                     \
  X(HomingSpeedField) X(HomingSpeedCaption) X(HomingSpeedUnit)                              \
  X(PortStatusField) X(PortStatusCaption)                                                   \
  X(ErrorTextField) X(ErrorTextCaption)                                                     \
  X(RunTimeField) X(RunTimeCaption)                                                         \
  X(TravelField) X(TravelCaption) X(TravelUnit)                                             \
  X(SpeedFilterField) X(SpeedFilterCaption)                                                 \
  X(HomingFilterField) X(HomingFilterCaption)                                               \
  X(SaveButton)                                                                             \
  /* Motion panel: lamps, positions, buttons, jog and move frames. */                       \
  X(MotionPanel)                                                                            \
  X(FarLimitCaption) X(FarLimitLamp) X(NearLimitCaption) X(NearLimitLamp)                   \
  X(OriginCaption) X(OriginLamp) X(WaitingCaption) X(WaitingLamp)                           \
  X(MovingCaption) X(MovingLamp)                                                            \
  X(ActualPositionCaption) X(ActualPositionField)                                           \
  X(TargetPositionCaption) X(TargetPositionField)                                           \
  X(PositionDeviationCaption) X(PositionDeviationField)                                     \
  X(JogFrame) X(JogAwayButton) X(JogTowardButton)                                           \
  X(StopButton) X(SetZeroButton) X(HomingButton) X(EnableButton) X(SettingsButton)          \
  X(ViewButton)                                                                             \
  X(MoveFrame) X(MoveDistanceCaption) X(MoveDistanceField) X(MoveUnitList)                  \
  X(MoveAwayButton) X(MoveTowardButton)                                                     \
  /* Status line. */                                                                        \
  X(StatusCaption) X(StatusText)                                                            \
  /* Homing settings dialog. */                                                             \
  X(HomingModeCaption) X(HomingModePanel) X(OriginModeOption) X(FarLimitModeOption)         \
  X(NearLimitModeOption) X(HomingOffsetCaption) X(HomingOffsetField) X(HomingOffsetUnit)    \
  X(SaveSettingsButton)

enum class Control : uint8_t {
#define DD_CONTROL_ENUM(name) name,
  DD_CONTROLS(DD_CONTROL_ENUM)
#undef DD_CONTROL_ENUM
};

inline constexpr int kControlCount = 0
#define DD_CONTROL_COUNT(name) +1
    DD_CONTROLS(DD_CONTROL_COUNT)
#undef DD_CONTROL_COUNT
    ;

// The text fields of the parameter grid, and the unit labels beside some of them.
inline constexpr std::array kParameterFields = {
    Control::DriveCurrentField,     Control::CurrentReductionField, Control::ReductionDelayField,
    Control::LiveCurrentField,      Control::RunSpeedField,         Control::StartSpeedField,
    Control::CommFilterField,       Control::LiveSpeedField,        Control::UnitsPerRevField,
    Control::PulseLengthField,      Control::PulsesPerRevField,     Control::DeviationAlarmField,
    Control::InPositionWindowField, Control::InPositionTimeField,   Control::InputBandwidthField,
    Control::DriveNumberField,      Control::CpuTemperatureField,   Control::HomingSpeedField,
    Control::PortStatusField,       Control::ErrorTextField,        Control::RunTimeField,
    Control::TravelField,           Control::SpeedFilterField,      Control::HomingFilterField};
inline constexpr std::array kParameterUnits = {
    Control::DriveCurrentUnit,   Control::CurrentReductionUnit, Control::ReductionDelayUnit,
    Control::LiveCurrentUnit,    Control::RunSpeedUnit,         Control::StartSpeedUnit,
    Control::LiveSpeedUnit,      Control::DeviationAlarmUnit,   Control::InPositionWindowUnit,
    Control::InPositionTimeUnit, Control::CpuTemperatureUnit,   Control::HomingSpeedUnit,
    Control::TravelUnit};
// The lamps of the motion panel: limits, origin, waiting and moving.
inline constexpr std::array kMotionLamps = {Control::FarLimitLamp, Control::NearLimitLamp,
                                            Control::WaitingLamp, Control::MovingLamp,
                                            Control::OriginLamp};

// The identifier as text ("RunSpeedField"): object names of widgets, test output.
std::string_view ControlName(Control control);
std::ostream& operator<<(std::ostream& out, Control control);

}  // namespace dd
