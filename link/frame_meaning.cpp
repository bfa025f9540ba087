#include "link/frame_meaning.h"

#include "link/drive_catalog.h"
#include "link/modbus_rtu.h"
#include "link/value_codec.h"

namespace dd {
namespace {

using E = ValueEncoding;

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
  for (const DriveOperation& op : DriveOperations()) {
    const OperationShape& shape = op.frame;
    if (shape.function != function || shape.reg != reg) continue;
    if (shape.command >= 0 ? Word(request, 4) != shape.command
                           : function != kWriteSingle && Word(request, 4) != shape.count) {
      continue;
    }
    return &shape;
  }
  return nullptr;
}

std::optional<double> FrameRegisterValue(const OperationShape& shape, std::span<const uint8_t> request,
                                         std::span<const uint8_t> reply) {
  if (shape.function == kReadHolding || shape.function == kReadInput) {
    if (reply.size() != ReadReplyLength(shape.count)) return std::nullopt;
    return Decode(shape.encoding, reply.subspan(3, 2u * shape.count));
  }
  if (request.size() < 6) return std::nullopt;
  if (shape.function == kWriteSingle) return Decode(shape.encoding, request.subspan(4, 2));
  if (request.size() < 7u + 2u * shape.count) return std::nullopt;
  return Decode(shape.encoding, request.subspan(7, 2u * shape.count));
}

std::optional<double> FrameValue(const OperationShape& shape, std::span<const uint8_t> request,
                                 std::span<const uint8_t> reply) {
  const std::optional<double> raw = FrameRegisterValue(shape, request, reply);
  if (!raw) return std::nullopt;
  return *raw * shape.scale;
}

std::optional<uint8_t> ExceptionCode(std::span<const uint8_t> request, std::span<const uint8_t> reply) {
  if (request.size() < 2 || reply.size() != 5 || reply[1] != (request[1] | 0x80)) return std::nullopt;
  if (!CheckCrc(reply.data(), reply.size())) return std::nullopt;
  return reply[2];
}

std::string_view ExceptionName(uint8_t code) {
  switch (code) {
    case 1: return "IllegalFunction";
    case 2: return "IllegalDataAddress";
    case 3: return "IllegalDataValue";
    case 4: return "SlaveDeviceFailure";
    case 5: return "Acknowledge";
    case 6: return "SlaveDeviceBusy";
    case 8: return "MemoryParityError";
    case 10: return "GatewayPathUnavailable";
    case 11: return "GatewayTargetFailed";
    default: return "Unknown";
  }
}

}  // namespace dd
