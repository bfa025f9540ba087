// Program shell: the main window's load and close, port discovery, and opening and
// closing communication with the connect button.
#pragma once

#include "app/session.h"

namespace dd {

// Installs the handlers of the main window's load and close, the port and baud lists
// and the connect button.
void InstallShellHandlers(Session& session);

// Fills the port list with the ports that open now; none: message and end of program.
void DiscoverPorts(Session& session);

// The texts the shell shows.
inline constexpr const char* kCaptionOpen = "开启通信";
inline constexpr const char* kCaptionClose = "关闭通信";
// Closing communication refused while a motion or homing runs.
inline constexpr const char* kAxisBusyTitle = "不能操作";
inline constexpr const char* kAxisBusyText =
    "等待归零动作完成或者运动动作完成；\r\n或单击中断，终止归零动作或者其他运动动作；";
inline constexpr const char* kDefaultHomingHint =
    "归零方式：找原点传感器(Origin Sensor)；归零后偏移值：向后移动 1 圈；";

}  // namespace dd
