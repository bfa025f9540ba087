#include "ui/bus_log_view.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "app/bus_log_format.h"
#include "app/clock_text.h"
#include "app/number_text.h"
#include "app/shared_state.h"
#include "link/frame_meaning.h"
#include "params/field_validation.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"
#include "status/error_codes.h"
#include "status/status_display.h"

namespace dd {
namespace {

// The status worker's reads; every cycle begins with the error code.
constexpr std::array<std::string_view, 9> kPollingReads{
    "ReadErrorCode", "ReadActualPosition", "ReadTargetPosition", "ReadPositionDeviation",
    "ReadActualCurrent", "ReadActualSpeed", "ReadRunTime", "ReadTravelTotal", "ReadPortStatus"};

// Names of the registers and commands that are not parameters of the save (those take
// the parameter table's captions).
constexpr std::array<std::pair<std::string_view, std::string_view>, 30> kCaptions{{
    {"DriveModel", "驱动器型号"},        {"MaxCurrent", "最大电流"},
    {"MinCurrent", "最小电流"},          {"PulsesPerTooth", "齿脉冲数"},
    {"DeviationAlarm", "偏差报警"},      {"InPositionWindow", "到位窗口"},
    {"InPositionTime", "到位时间"},      {"SpeedFactor", "速度系数"},
    {"MotorTeeth", "电机齿数"},          {"BusBaudRate", "通信速率"},
    {"ControlWord", "控制字"},           {"ErrorCode", "错误代码"},
    {"ActualCurrent", "实时电流"},       {"ActualPosition", "实时位置"},
    {"TargetPosition", "目标位置"},      {"PositionDeviation", "位置偏差"},
    {"ActualSpeed", "实时速度"},         {"PortStatus", "端口状态"},
    {"CpuTemperature", "处理器温度"},    {"RunTime", "累计时间"},
    {"TravelTotal", "累计行程"},         {"ClearCommand", "清除命令"},
    {"SaveParameters", "保存参数"},      {"ReleaseMotor", "释放电机"},
    {"StopMotion", "停止运动"},          {"JogAwayFromMotor", "点动（远离马达）"},
    {"JogTowardMotor", "点动（靠近马达）"}, {"SetZeroPosition", "置零"},
    {"ReverseOriginSearch", "反向原点搜索"}, {"StartOriginSearch", "原点搜索"},
}};

std::string_view BaseName(std::string_view operation) {
  for (const std::string_view prefix : {"Read", "Write"}) {
    if (operation.starts_with(prefix) && operation.size() > prefix.size()) return operation.substr(prefix.size());
  }
  return operation;
}

std::string Hex16(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

std::string RequestMeaning(const BusRecord& r, const LogUnits& units) {
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return "程序不发送的请求";
  std::string text;
  if (shape->command >= 0) {
    text = "命令 " + OperationCaption(shape->name) + "（控制字 " + Hex16(shape->command) + "）";
  } else if (shape->function == 3 || shape->function == 4) {
    text = "读 " + OperationCaption(shape->name) + "（寄存器 " + Hex16(shape->reg) + "）";
  } else {
    text = "写 " + OperationCaption(shape->name);
    if (const auto value = FrameRegisterValue(*shape, r.Request(), {})) {
      text += " = " + ValueReading(shape->name, *value, units);
    }
  }
  if (r.attempt > 1) text += "（第 " + std::to_string(r.attempt) + " 次）";
  return text;
}

std::string ReplyMeaning(const BusRecord& r, const LogUnits& units) {
  if (r.Request().empty()) return "读取放弃后迟到的应答，已丢弃";
  if (const auto code = ExceptionCode(r.Request(), r.Reply())) {
    return "异常应答：代码 " + TwoDigits(*code) + "，" + ExceptionMeaning(*code);
  }
  if (r.result != kOk) return std::to_string(r.replySize) + " 字节，无法使用";
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return {};
  if (shape->function != 3 && shape->function != 4) return "驱动器已确认";
  const auto value = FrameRegisterValue(*shape, r.Request(), r.Reply());
  return value ? OperationCaption(shape->name) + " = " + ValueReading(shape->name, *value, units) : std::string();
}

std::string FailureMeaning(const BusRecord& r) {
  std::string text = "失败：" + FailureCaption(FailureName(r));
  if (const auto code = ExceptionCode(r.Request(), r.Reply())) {
    text += " " + TwoDigits(*code) + "（" + ExceptionMeaning(*code) + "）";
  }
  if (r.PortError()) text += "，请求未能发出（适配器已拔出或串口已失效）";
  return text;
}

}  // namespace

std::string OperationCaption(std::string_view operation) {
  const std::string_view base = BaseName(operation);
  if (const ParameterInfo* entry = FindParameter(base)) {
    std::string caption(entry->caption);
    if (caption.ends_with("：")) caption.resize(caption.size() - std::string_view("：").size());
    return caption;
  }
  for (const auto& [name, caption] : kCaptions) {
    if (name == base) return std::string(caption);
  }
  return std::string(operation);
}

std::string FailureCaption(std::string_view failure) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kNames{{
      {"Timeout", "超时"},          {"ShortReply", "应答不完整"}, {"BadCrc", "校验错误"},
      {"LateReply", "迟到应答"},    {"Exception", "异常应答"},    {"PortError", "串口错误"},
      {"NoPort", "串口未打开"},     {"ValueOutOfRange", "数值超出范围"},
  }};
  for (const auto& [name, caption] : kNames) {
    if (name == failure) return std::string(caption);
  }
  return std::string(failure);
}

std::string ExceptionMeaning(uint8_t code) {
  switch (code) {
    case 1: return "非法功能码";
    case 2: return "非法数据地址";
    case 3: return "非法数据值";
    case 4: return "从站设备故障";
    case 5: return "已受理，处理中";
    case 6: return "从站设备忙";
    case 8: return "存储奇偶校验错误";
    case 10: return "网关路径不可用";
    case 11: return "网关目标设备无响应";
    default: return "未知异常";
  }
}

std::string ValueReading(std::string_view operation, double value, const LogUnits& units) {
  const std::string_view base = BaseName(operation);
  const bool scaled = units.pulsesPerRev > 0;
  std::string reading = PlainDecimal(value);
  if (const ParameterInfo* entry = FindParameter(base)) {
    reading = PersonReading(entry->write, static_cast<int64_t>(value),
                            RpmPerSpeedUnit(units.speedCoefficient, units.pulsesPerRev), units.pulsesPerRev);
  } else if (base == "ActualSpeed" && scaled && units.speedCoefficient != 0) {
    reading = SpeedRpmText(value, units.speedCoefficient, units.pulsesPerRev) + " rpm";
  } else if (base == "ActualCurrent" || base == "MaxCurrent" || base == "MinCurrent") {
    reading = CurrentText(static_cast<int32_t>(value)) + " A";
  } else if (base == "TravelTotal" && scaled) {
    reading = TravelText(value, units.pulsesPerRev) + " 圈";
  } else if (base == "PortStatus") {
    reading = PortStatusText(static_cast<int32_t>(value));
    while (reading.ends_with(' ')) reading.pop_back();
  } else if (base == "RunTime") {
    reading = RunTimeText(value);
  } else if (base == "ErrorCode") {
    reading = ErrorText(static_cast<uint16_t>(value));
  } else if (base == "CpuTemperature") {
    reading += " °C";
  } else if (base == "BusBaudRate" || base == "ReductionDelay") {
    reading = Grouped(value);
  }
  const std::string raw = PlainDecimal(value);
  return reading == raw ? reading : reading + "（原始值 " + raw + "）";
}

bool IsPollingRead(const BusRecord& r) {
  return r.kind == BusRecordKind::Frame &&
         std::find(kPollingReads.begin(), kPollingReads.end(), r.operation) != kPollingReads.end();
}

bool BusLogFilter::Passes(const BusRecord& r) const {
  if (hidePolling && IsPollingRead(r)) return false;
  return !(failuresOnly && r.kind == BusRecordKind::Frame && FailureName(r).empty());
}

void AppendLogRows(const BusRecord& r, std::vector<BusLogRow>& rows) {
  const LogUnits& units = r.units;
  const auto row = [&](std::chrono::system_clock::time_point at, std::string direction, std::string bytes,
                       std::string meaning, bool failed) {
    rows.push_back({LocalClockText(at, true, true), std::move(direction), std::move(bytes), std::move(meaning),
                    failed, r.sequence});
  };
  switch (r.kind) {
    case BusRecordKind::Notice: row(r.sentWall, "--", {}, "提示：" + *r.notice, false); return;
    case BusRecordKind::Repeated:
      row(r.sentWall, "--", FailureCaption(FailureName(r)),
          "同一失败又发生 " + Grouped(static_cast<double>(r.count)) + " 次（" + FailureMeaning(r) + "）", true);
      return;
    case BusRecordKind::PortBack:
      row(r.sentWall, "--", {}, "串口恢复；其间 " + Grouped(static_cast<double>(r.count)) + " 个请求未能发出", false);
      return;
    case BusRecordKind::Frame: break;
  }
  const std::string_view failure = FailureName(r);
  const bool failed = !failure.empty();
  if (!r.Written().empty()) row(r.sentWall, "TX", HexBytes(r.Written()), RequestMeaning(r, units), failed);
  if (r.replySize > 0) row(r.ReceivedWall(), "RX", HexBytes(r.Reply()), ReplyMeaning(r, units), failed);
  if (failed) row(r.ReceivedWall(), "--", FailureCaption(failure), FailureMeaning(r), true);
}

void BusLogTally::Take(const BusRecord& r) {
  const uint64_t times = r.kind == BusRecordKind::Repeated ? r.count : 1;
  if (r.kind == BusRecordKind::PortBack) unsent_ += r.count;
  if (r.kind != BusRecordKind::Frame && r.kind != BusRecordKind::Repeated) return;
  if (!r.Written().empty()) requests_ += times;
  if (r.attempt > 1 || r.kind == BusRecordKind::Repeated) retries_ += times;
  if (const auto failure = FailureName(r); !failure.empty()) failures_[FailureCaption(failure)] += times;
  if (r.kind == BusRecordKind::Frame && r.operation == kPollingReads[0] && r.attempt == 1) {
    cycleStarts_.push_back(r.sent);
  }
}

void BusLogTally::Clear() { *this = BusLogTally{}; }

std::string BusLogTally::Text(std::chrono::steady_clock::time_point now, bool paused) {
  while (!cycleStarts_.empty() && now - cycleStarts_.front() > std::chrono::seconds(1)) cycleStarts_.pop_front();
  std::string failures;
  for (const auto& [name, count] : failures_) failures += " " + name + " " + std::to_string(count);
  std::string text = "请求 " + std::to_string(requests_) + "    重试 " + std::to_string(retries_) + "    失败" +
                     (failures.empty() ? std::string(" 0") : failures) + "    轮询 " +
                     std::to_string(cycleStarts_.size()) + " 次/秒";
  if (unsent_ > 0) text += "    未发出 " + std::to_string(unsent_);
  if (lost_ > 0) text += "    未能显示 " + std::to_string(lost_);
  if (paused) text += "    （表格已暂停）";
  return text;
}

}  // namespace dd
