#include "app/port_descriptions.h"

#include <algorithm>
#include <cstdio>

namespace dd {
namespace {

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

}  // namespace

std::string PortToolTip(const PortFacts& facts) {
  std::vector<std::string> lines;
  std::string device = "设备：" + facts.device;
  if (facts.resolved != facts.device) device += " → " + facts.resolved;
  lines.push_back(device);
  if (facts.usb) {
    std::vector<std::string> names;
    for (const std::string* part : {&facts.manufacturer, &facts.product}) {
      if (!part->empty()) names.push_back(*part);
    }
    lines.push_back("USB 适配器：" + Joined(names, " ") + "（" + facts.usbId + "）");
    if (!facts.serial.empty()) lines.push_back("序列号：" + facts.serial);
  }
  if (facts.latencyTimerMs >= 0) {
    std::string latency = "延迟计时器：" + std::to_string(facts.latencyTimerMs) + " ms";
    if (facts.latencyTimerMs > 1) {
      latency += facts.latencyWritable ? "（打开时设为 1 ms）"
                                       : "（不可写，应答会晚到；见 README 中的 udev 规则）";
    }
    lines.push_back(latency);
  }
  return Joined(lines, "\n");
}

std::string NoPermissionLine(const std::vector<PortFacts>& denied) {
  std::vector<std::string> devices;
  std::vector<std::string> groups;
  std::vector<std::string> closed;  // no group may open them: joining one does not help
  for (const PortFacts& facts : denied) {
    if (!facts.GroupMayOpen()) {
      closed.push_back(facts.resolved + "（" + ModeText(facts) + "）");
      continue;
    }
    devices.push_back(facts.resolved);
    if (std::find(groups.begin(), groups.end(), facts.group) == groups.end())
      groups.push_back(facts.group);
  }
  std::vector<std::string> lines;
  if (!devices.empty()) {
    lines.push_back("设备 " + Joined(devices, "、") + " 存在但当前用户无权打开，需加入 " +
                    Joined(groups, "、") + " 组（sudo usermod -aG " + Joined(groups, ",") +
                    " $USER，然后重新登录）；");
  }
  if (!closed.empty()) {
    lines.push_back("设备 " + Joined(closed, "、") +
                    " 只有其所有者可以打开，加入组无济于事：请用 udev 规则把它交给 dialout 组（见 README）；");
  }
  return Joined(lines, "\r\n");
}

std::string ModeText(const PortFacts& facts) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%03o", facts.mode & 0777);
  return facts.owner + " " + mode;
}

std::string LatencyNotice(const LatencyTimerState& latency) {
  if (!latency.NotLowered()) return {};
  return "USB 适配器的延迟计时器为 " + std::to_string(latency.nowMs) + " ms，且 " +
         latency.attribute + " 不可写：应答最多晚到 " + std::to_string(latency.nowMs) +
         " ms，轮询会变慢；见 README 中的 udev 规则；";
}

}  // namespace dd
