#include "app/shell_handlers.h"

#include <chrono>
#include <string>

#include "app/bus_log.h"
#include "app/control.h"
#include "app/drive_address.h"
#include "app/number_text.h"
#include "app/port_descriptions.h"
#include "link/port_facts.h"
#include "app/orderly_shutdown.h"
#include "link/serial_port.h"

namespace dd {
namespace {

void OnLoad(Session& s) {
  using Period = std::chrono::steady_clock::period;
  s.state.TicksPerMs = static_cast<double>(Period::den) / static_cast<double>(Period::num) / 1000.0;
  s.state.HomingMode = 0;
  LoadDriveAddress(s);
  s.state.HomingOffsetTurns = 1;
  s.state.HomingIdle = true;
  s.controls.SetText(Control::StatusText, kDefaultHomingHint);
  s.controls.SetComboIndex(Control::MoveUnitList, 0);
  s.state.StopPolling = false;
  s.state.WorkerCount = 0;
  s.state.Bus.Open();
  DiscoverPorts(s);
}

void OnClose(Session& s) {
  // A jog button still held as the window goes: its release never comes.
  if (s.state.JogHeld) StopRunningMotion(s);
  // Moves and homing runs watch the polled inputs: they finish, or are stopped, with
  // live values before polling stops.
  WaitForMotionWorkers(s);
  s.state.StopPolling = true;
  WaitForWorkers(s);
  SerialHandle port = s.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  s.state.Bus.Close();
  s.state.WindowClosed = true;
}

// The connect button becomes usable only when both a port and a baud rate are chosen.
void OnListClick(Session& s, Control clicked, Control other) {
  if (s.controls.ComboText(clicked).empty()) {
    s.controls.SetEnabled(Control::OpenCloseButton, false);
  } else if (!s.controls.ComboText(other).empty() &&
             !s.controls.Enabled(Control::OpenCloseButton)) {
    s.controls.SetEnabled(Control::OpenCloseButton, true);
  }
}

void OpenCommunication(Session& s) {
  s.controls.SetText(Control::OpenCloseButton, kCaptionClose);
  s.controls.SetColor(Control::CommLamp, kGreen);
  const int32_t portNumber = s.controls.ComboData(Control::PortList, 0);
  const auto baud = ParseInt32(s.controls.ComboText(Control::BaudList));
  const SerialHandle port = OpenPort(portNumber, baud.value_or(0), 8, 0, 2);
  if (port == 0) {
    s.Message(MessageIcon::Error, "提示信息", "打开串口失败");
    s.ui.Quit(1);
    return;
  }
  s.state.PortHandle = port;
  s.PortNotice = LatencyNotice(LatencyTimerOf(port));
  if (!s.PortNotice.empty()) ProgramBusLog().PushNotice(s.PortNotice);
  const uint32_t epoch = ++s.state.ConnectionEpoch;
  s.state.StopPolling = false;
  s.controls.SetEnabled(Control::PortList, false);
  s.controls.SetEnabled(Control::BaudList, false);
  // One-shot timer: the connection sequence runs from the event loop 10 ms later, unless the
  // communication was closed again meanwhile.
  s.ui.PostDelayed(10, [&s, epoch] {
    if (s.state.ConnectionEpoch.load() != epoch || s.state.PortHandle.load() == 0) return;
    if (s.ConnectionSequence) s.ConnectionSequence();
  });
}

void CloseCommunication(Session& s) {
  const bool axisBusy = s.state.MotorMoving || !s.state.HomingIdle;
  // A drive that fell silent mid-move reports nothing more and takes no command: its last
  // reported motion must not keep the port open.
  if (axisBusy && !s.state.DriveSilent) {
    s.Message(MessageIcon::Error, kAxisBusyTitle, kAxisBusyText);
    return;
  }
  if (axisBusy) WaitForMotionWorkers(s);
  s.state.StopPolling = true;
  ++s.state.ConnectionEpoch;
  WaitForWorkers(s);
  for (const Control field : {Control::PositionDeviationField, Control::ActualPositionField,
                              Control::TargetPositionField}) {
    s.controls.SetText(field, "");
  }
  s.controls.SetText(Control::OpenCloseButton, kCaptionOpen);
  s.controls.SetColor(Control::CommLamp, kGrey);
  for (const Control lamp : kMotionLamps) s.controls.SetColor(lamp, kButtonFace);
  SerialHandle port = s.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  // Nothing is known of the axis now; the next connection's polling says.
  s.state.MotorMoving = false;
  s.controls.SetEnabled(Control::PortList, true);
  s.controls.SetEnabled(Control::BaudList, true);
  for (const Control field : kParameterFields) s.controls.SetText(field, "");
  for (const Control list : {Control::WorkModeList, Control::DriveBaudList, Control::MoveUnitList}) {
    s.controls.SetComboIndex(list, -1);
  }
  for (const Control unit : kParameterUnits) s.controls.SetVisible(unit, false);
  for (const Control box : {Control::MotorReversedCheck, Control::StartReleasedCheck,
                            Control::AppReversedCheck}) {
    s.controls.SetChecked(box, false);
  }
  s.controls.SetEnabled(Control::MotionPanel, false);
  s.controls.SetEnabled(Control::ParameterPanel, false);
}

}  // namespace

void DiscoverPorts(Session& s) {
  std::vector<ComboItem> ports;
  std::vector<PortFacts> denied;
  for (int32_t n = 1; n <= 32; ++n) {
    // The probe of the port, with what the system says about it for the tooltip.
    const PortFacts facts = InspectPort(PortDeviceName(n));
    if (facts.access == PortAccess::Usable) {
      ports.push_back({"COM" + std::to_string(n), n, PortToolTip(facts)});
    } else if (facts.access == PortAccess::NoPermission) {
      denied.push_back(facts);
    }
  }
  s.controls.SetItems(Control::PortList, ports);
  if (ports.empty()) {
    std::string text = "自动识别串口号最大COM32，请检查系统分配的串口号是否超过32；";
    // The usual cause on Linux is a missing group membership, not the port number.
    if (!denied.empty()) text += "\r\n" + NoPermissionLine(denied);
    s.Message(MessageIcon::Error, "终止运行", text);
    s.ui.Quit(1);
    return;
  }
  s.controls.SetComboIndex(Control::PortList, 0);
  s.events.Dispatch(Control::PortList, UiEvent::Click);
}

void InstallShellHandlers(Session& session) {
  Session* s = &session;
  s->events.On(Control::MainWindow, UiEvent::Load, [s](int) { OnLoad(*s); });
  s->events.On(Control::MainWindow, UiEvent::Close, [s](int) { OnClose(*s); });
  s->events.On(Control::PortList, UiEvent::Click,
               [s](int) { OnListClick(*s, Control::PortList, Control::BaudList); });
  s->events.On(Control::BaudList, UiEvent::Click,
               [s](int) { OnListClick(*s, Control::BaudList, Control::PortList); });
  s->events.On(Control::OpenCloseButton, UiEvent::Click, [s](int) {
    if (s->controls.Text(Control::OpenCloseButton) == kCaptionOpen) {
      OpenCommunication(*s);
    } else {
      CloseCommunication(*s);
    }
  });
}

}  // namespace dd
