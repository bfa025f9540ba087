#include "link/frame_meaning.h"

#include <array>

#include "link/drive_registers.h"
#include "link/modbus_rtu.h"
#include "link/value_codec.h"

namespace dd {
namespace {

using E = ValueEncoding;

constexpr OperationShape Read(std::string_view name, uint8_t function, uint16_t reg, uint16_t count,
                              E encoding, double scale = 1, std::string_view unit = {}) {
  return {name, function, reg, count, encoding, scale, unit, -1};
}
constexpr OperationShape Write(std::string_view name, uint16_t reg, uint16_t count, E encoding,
                               double scale = 1, std::string_view unit = {}) {
  return {name, count == 1 ? kWriteSingle : kWriteMultiple, reg, count, encoding, scale, unit, -1};
}
constexpr OperationShape Command(std::string_view name, uint16_t value) {
  return {name, kWriteSingle, reg::kControlWord, 1, E::None, 1, {}, value};
}

constexpr std::array kShapes{
    Read("ReadDriveModel", kReadHolding, reg::kDriveModel, 4, E::First32),
    Read("ReadDriveConfig", kReadInput, reg::kDriveConfig, 1, E::U16),
    Write("WriteDriveConfig", reg::kDriveConfig, 1, E::U16LowFirst),
    Read("ReadMaxCurrent", kReadInput, reg::kMaxCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadMinCurrent", kReadInput, reg::kMinCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadDriveCurrent", kReadInput, reg::kDriveCurrent, 1, E::U16, 0.01, "A"),
    Write("WriteDriveCurrent", reg::kDriveCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadCurrentReduction", kReadInput, reg::kCurrentReduction, 1, E::U16, 1, "%"),
    Write("WriteCurrentReduction", reg::kCurrentReduction, 1, E::U16, 1, "%"),
    Read("ReadReductionDelay", kReadInput, reg::kReductionDelay, 1, E::U16, 1, "ms"),
    Write("WriteReductionDelay", reg::kReductionDelay, 1, E::U16, 1, "ms"),
    Read("ReadPulsesPerTooth", kReadHolding, reg::kPulsesPerTooth, 2, E::U32),
    Read("ReadPulseLength", kReadHolding, reg::kPulseLength, 2, E::U32),
    Write("WritePulseLength", reg::kPulseLength, 2, E::U32),
    Read("ReadDeviationAlarm", kReadHolding, reg::kDeviationAlarm, 2, E::U32),
    Read("ReadInPositionWindow", kReadHolding, reg::kInPositionWindow, 2, E::U32),
    Read("ReadInPositionTime", kReadInput, reg::kInPositionTime, 1, E::U16),
    Read("ReadRunSpeed", kReadInput, reg::kRunSpeed, 1, E::U16),
    Write("WriteRunSpeed", reg::kRunSpeed, 1, E::U16),
    Read("ReadStartSpeed", kReadInput, reg::kStartSpeed, 1, E::U16),
    Write("WriteStartSpeed", reg::kStartSpeed, 1, E::U16),
    Read("ReadCommFilter", kReadInput, reg::kCommFilter, 1, E::U16),
    Write("WriteCommFilter", reg::kCommFilter, 1, E::U16),
    Read("ReadSpeedFactor", kReadInput, reg::kSpeedFactor, 1, E::U16),
    Read("ReadSpeedFilter", kReadInput, reg::kSpeedFilter, 1, E::U16),
    Write("WriteSpeedFilter", reg::kSpeedFilter, 1, E::U16),
    Read("ReadHomingSpeed", kReadInput, reg::kHomingSpeed, 1, E::U16),
    Write("WriteHomingSpeed", reg::kHomingSpeed, 1, E::U16),
    Read("ReadHomingFilter", kReadInput, reg::kHomingFilter, 1, E::U16),
    Write("WriteHomingFilter", reg::kHomingFilter, 1, E::U16),
    Read("ReadMotorTeeth", kReadHolding, reg::kMotorTeeth, 4, E::First16),
    Read("ReadDriveNumber", kReadInput, reg::kDriveNumber, 1, E::U16),
    Write("WriteDriveNumber", reg::kDriveNumber, 1, E::U16),
    Read("ReadBusBaudRate", kReadHolding, reg::kBusBaudRate, 2, E::U32, 1, "bit/s"),
    Read("ReadSensorConfig", kReadHolding, reg::kSensorConfig, 4, E::Last32),
    Write("WriteSensorConfig", reg::kSensorConfig, 4, E::U64Low32),
    Read("ReadInputBandwidth", kReadHolding, reg::kInputBandwidth, 2, E::U32),
    Write("WriteInputBandwidth", reg::kInputBandwidth, 2, E::U32),
    Command("ClearCommand", ctl::kClear),
    Command("SaveParameters", ctl::kSave),
    Command("ReleaseMotor", ctl::kRelease),
    Command("StopMotion", ctl::kStop),
    Command("JogAwayFromMotor", ctl::kJogAway),
    Command("JogTowardMotor", ctl::kJogToward),
    Command("SetZeroPosition", ctl::kSetZero),
    Command("ReverseOriginSearch", ctl::kReverseOriginSearch),
    Command("StartOriginSearch", ctl::kStartOriginSearch),
    Read("ReadControlWord", kReadInput, reg::kControlWord, 1, E::U16),
    Read("ReadErrorCode", kReadInput, reg::kErrorCode, 1, E::U16),
    Read("ReadActualCurrent", kReadInput, reg::kActualCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadActualPosition", kReadHolding, reg::kActualPosition, 2, E::S32),
    Read("ReadTargetPosition", kReadHolding, reg::kTargetPosition, 2, E::S32),
    Write("WriteTargetPosition", reg::kTargetPosition, 2, E::S32),
    Read("ReadPositionDeviation", kReadHolding, reg::kPositionDeviation, 2, E::S32),
    Read("ReadActualSpeed", kReadHolding, reg::kActualSpeed, 2, E::S32),
    Read("ReadPortStatus", kReadInput, reg::kPortStatus, 1, E::U16),
    Read("ReadCpuTemperature", kReadInput, reg::kCpuTemperature, 1, E::U16, 1, "°C"),
    Read("ReadRunTime", kReadHolding, reg::kRunTime, 2, E::U32, 1, "s"),
    Read("ReadTravelTotal", kReadHolding, reg::kTravelTotal, 4, E::U64),
};

uint16_t Word(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

template <std::size_t N>
std::span<const uint8_t, N> First(std::span<const uint8_t> data) {
  return std::span<const uint8_t, N>(data.data(), N);
}

std::optional<double> Decode(E encoding, std::span<const uint8_t> data) {
  const std::size_t need = encoding == E::U16 || encoding == E::U16LowFirst ? 2
                           : encoding == E::U32 || encoding == E::S32      ? 4
                                                                           : 8;
  if (data.size() < need) return std::nullopt;
  switch (encoding) {
    case E::U16: return DecodeU16(First<2>(data));
    case E::U16LowFirst: return DecodeU16LowFirst(First<2>(data));
    case E::U32: return DecodeU32(First<4>(data));
    case E::S32: return DecodeS32(First<4>(data));
    case E::U64: return static_cast<double>(DecodeU64(First<8>(data)));
    case E::First16: return DecodeFirst16(First<8>(data));
    case E::First32: return DecodeFirst32(First<8>(data));
    case E::Last32: return DecodeLast32(First<8>(data));
    case E::U64Low32: return DecodeU32(First<4>(data.subspan(4)));
    case E::None: break;
  }
  return std::nullopt;
}

}  // namespace

const OperationShape* OperationOfRequest(std::span<const uint8_t> request) {
  if (request.size() < 8) return nullptr;
  const uint8_t function = request[1];
  const uint16_t reg = Word(request, 2);
  for (const OperationShape& shape : kShapes) {
    if (shape.function != function || shape.reg != reg) continue;
    if (shape.command >= 0 ? Word(request, 4) != shape.command
                           : function != kWriteSingle && Word(request, 4) != shape.count) {
      continue;
    }
    return &shape;
  }
  return nullptr;
}

std::optional<double> FrameValue(const OperationShape& shape, std::span<const uint8_t> request,
                                 std::span<const uint8_t> reply) {
  std::optional<double> raw;
  if (shape.function == kReadHolding || shape.function == kReadInput) {
    if (reply.size() != ReadReplyLength(shape.count)) return std::nullopt;
    raw = Decode(shape.encoding, reply.subspan(3, 2u * shape.count));
  } else if (shape.function == kWriteSingle) {
    raw = Decode(shape.encoding, request.subspan(4, 2));
  } else if (request.size() >= 7u + 2u * shape.count) {
    raw = Decode(shape.encoding, request.subspan(7, 2u * shape.count));
  }
  if (!raw) return std::nullopt;
  return *raw * shape.scale;
}

}  // namespace dd
