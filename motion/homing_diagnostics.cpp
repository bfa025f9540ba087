#include "motion/homing_diagnostics.h"

#include <initializer_list>

namespace dd {
namespace {

std::string JoinLines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

}  // namespace

std::string HomingDiagnosticText(HomingDiagnostic diagnostic) {
  switch (diagnostic) {
    case HomingDiagnostic::OriginNotLeft:
      return JoinLines({"原点传感器处于触发状态，移动离开原点传感器的时间超过3秒，原点传感器信号未变化；",
                        "判断原点传感器信号未接入，请修改归零方式或接入原点传感器后再试；",
                        "或运动速度太慢，请修改移动速度后再试；", "归零未完成；"});
    case HomingDiagnostic::OriginStuck:
      return JoinLines({"原点传感器信号一直处于触发状态，未改变；", "刚刚触发了极限信号；",
                        "判断原点传感器信号未接入，请修改归零方式后再试；", "归零未完成；"});
    case HomingDiagnostic::OriginNotFound:
      return JoinLines({"在两个极限传感器之间没有找到原点传感器；",
                        "一种可能是没有原点传感器，请修改归零方式后再试；",
                        "另一种可能是两个极限传感器未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::BothLimits:
      return JoinLines({"两个极限传感器同时触发；", "判断为两个极限信号未接入，请检查后再试；",
                        "归零未完成；"});
    case HomingDiagnostic::UpperLimitStuck:
      return JoinLines({"上限位传感器信号一直处于触发状态，未改变；", "刚刚触发了下限位传感器；",
                        "判断上限位传感器信号未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::UpperLimitNotLeft:
      return JoinLines({"上限位传感器处于触发状态，移动离开上限位传感器的时间超过3秒，上限位传感器信号未变化；",
                        "判断上限位传感器信号未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::LowerLimitStuck:
      return JoinLines({"下限位传感器信号一直处于触发状态，未改变；", "刚刚触发了上限位传感器；",
                        "判断下限位传感器信号未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::LowerLimitNotLeft:
      return JoinLines({"下限位传感器处于触发状态，移动离开下限位传感器的时间超过3秒，下限位传感器信号未变化；",
                        "判断下限位传感器信号未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::LimitWithOrigin:
      return JoinLines({"其中一个极限传感器被触发，同时原点传感器也被触发，判断：",
                        "一种可能为原点传感器未接入，请检查后再试；",
                        "另一种可能为有一个极限传感器未接入，请检查后再试；", "归零未完成；"});
    case HomingDiagnostic::TargetOutOfRange:
      return JoinLines({"归零后偏移的目标位置超出驱动器的位置范围，无法移动；",
                        "请在设定中减小归零后偏移值后再试；", "归零未完成；"});
    case HomingDiagnostic::BackOffOutOfRange:
      return JoinLines({"离开传感器后回退一圈的目标位置超出驱动器的位置范围，无法移动；",
                        "请先将当前位置置零后再试；", "归零未完成；"});
  }
  return {};
}

void ArmHomingDiagnostic(Session& session, HomingDiagnostic diagnostic) {
  session.ui.PostDelayed(kDiagnosticDelayMs, [&session, diagnostic] {
    session.Message(MessageIcon::Error, kHomingFailedTitle, HomingDiagnosticText(diagnostic));
  });
}

}  // namespace dd
