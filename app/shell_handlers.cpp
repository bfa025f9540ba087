#include "app/shell_handlers.h"

#include <chrono>
#include <string>

#include "app/control_names.h"
#include "app/number_text.h"
#include "link/serial_port.h"

namespace dd {
namespace {

void OnLoad(Session& s) {
  using Period = std::chrono::steady_clock::period;
  s.state.TicksPerMs = static_cast<double>(Period::den) / static_cast<double>(Period::num) / 1000.0;
  s.state.HomingMode = 0;
  s.state.DriveAddress = 1;
  s.state.HomingOffsetTurns = 1;
  s.state.HomingIdle = true;
  s.controls.SetText("Text6(1)", kDefaultHomingHint);
  s.controls.SetComboIndex("Combo5", 0);
  s.state.StopPolling = false;
  s.state.WorkerCount = 0;
  s.state.Bus.Open();
  DiscoverPorts(s);
}

void OnClose(Session& s) {
  s.state.StopPolling = true;
  WaitForWorkers(s);
  SerialHandle port = s.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  s.state.Bus.Close();
}

// Command1 becomes usable only when both a port and a baud rate are chosen.
void OnListClick(Session& s, const char* clicked, const char* other) {
  if (s.controls.ComboText(clicked).empty()) {
    s.controls.SetEnabled("Command1", false);
  } else if (!s.controls.ComboText(other).empty() && !s.controls.Enabled("Command1")) {
    s.controls.SetEnabled("Command1", true);
  }
}

// Until the parameter subsystem installs the real sequence, connecting only unlocks the panels.
void ConnectionSequenceStub(Session& s) {
  s.controls.SetEnabled("Picture1", true);
  s.controls.SetEnabled("Picture2", true);
}

void OpenCommunication(Session& s) {
  s.controls.SetText("Command1", kCaptionClose);
  s.controls.SetColor("Shape1", kGreen);
  const int32_t portNumber = s.controls.ComboData("Combo1", 0);
  const auto baud = ParseInt32(s.controls.ComboText("Combo2"));
  const SerialHandle port = OpenPort(portNumber, baud.value_or(0), 8, 0, 2);
  if (port == 0) {
    s.Message(MessageIcon::Error, "提示信息", "打开串口失败");
    s.ui.Quit(1);
    return;
  }
  s.state.PortHandle = port;
  const uint32_t epoch = ++s.state.ConnectionEpoch;
  s.state.StopPolling = false;
  s.controls.SetEnabled("Combo1", false);
  s.controls.SetEnabled("Combo2", false);
  // Timer1: the connection sequence runs from the event loop 10 ms later, unless the
  // communication was closed again meanwhile.
  s.ui.PostDelayed(10, [&s, epoch] {
    if (s.state.ConnectionEpoch.load() != epoch || s.state.PortHandle.load() == 0) return;
    if (s.ConnectionSequence) {
      s.ConnectionSequence();
    } else {
      ConnectionSequenceStub(s);
    }
  });
}

void CloseCommunication(Session& s) {
  if (s.state.MotorMoving || !s.state.HomingIdle) {
    s.Message(MessageIcon::Error, "不能操作",
              "等待归零动作完成或者运动动作完成；\r\n或单击中断，终止归零动作或者其他运动动作；");
    return;
  }
  s.state.StopPolling = true;
  ++s.state.ConnectionEpoch;
  WaitForWorkers(s);
  for (const char* field : {"Text1", "Text3", "Text4"}) s.controls.SetText(field, "");
  s.controls.SetText("Command1", kCaptionOpen);
  s.controls.SetColor("Shape1", kGrey);
  for (int i = 2; i <= 6; ++i) s.controls.SetColor("Shape" + std::to_string(i), kButtonFace);
  SerialHandle port = s.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  s.controls.SetEnabled("Combo1", true);
  s.controls.SetEnabled("Combo2", true);
  for (int i = 0; i <= 23; ++i) s.controls.SetText(Text2(i), "");
  for (const char* list : {"Combo3", "Combo4", "Combo5"}) s.controls.SetComboIndex(list, -1);
  for (int i : {20, 21, 22, 23, 24, 25, 26, 31, 32, 33, 34, 35, 46}) s.controls.SetVisible(Label1(i), false);
  for (const char* box : {"Check1", "Check2", "Check3"}) s.controls.SetChecked(box, false);
  s.controls.SetEnabled("Picture1", false);
  s.controls.SetEnabled("Picture2", false);
}

}  // namespace

void DiscoverPorts(Session& s) {
  std::vector<ComboItem> ports;
  for (int32_t n = 1; n <= 32; ++n) {
    if (ProbePort(n) != 0) ports.push_back({"COM" + std::to_string(n), n});
  }
  s.controls.SetItems("Combo1", ports);
  if (ports.empty()) {
    s.Message(MessageIcon::Error, "终止运行",
              "自动识别串口号最大COM32，请检查系统分配的串口号是否超过32；");
    s.ui.Quit(1);
    return;
  }
  s.controls.SetComboIndex("Combo1", 0);
  s.events.Dispatch("Combo1", UiEvent::Click);
}

void InstallShellHandlers(Session& session) {
  Session* s = &session;
  s->events.On("Form1", UiEvent::Load, [s](int) { OnLoad(*s); });
  s->events.On("Form1", UiEvent::Close, [s](int) { OnClose(*s); });
  s->events.On("Combo1", UiEvent::Click, [s](int) { OnListClick(*s, "Combo1", "Combo2"); });
  s->events.On("Combo2", UiEvent::Click, [s](int) { OnListClick(*s, "Combo2", "Combo1"); });
  s->events.On("Command1", UiEvent::Click, [s](int) {
    if (s->controls.Text("Command1") == kCaptionOpen) {
      OpenCommunication(*s);
    } else {
      CloseCommunication(*s);
    }
  });
}

}  // namespace dd
