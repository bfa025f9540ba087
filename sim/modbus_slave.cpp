#include "sim/modbus_slave.h"

#include "link/modbus_rtu.h"

namespace dd {

namespace {

uint16_t Be16(const std::vector<uint8_t>& f, std::size_t i) {
  return static_cast<uint16_t>((f[i] << 8) | f[i + 1]);
}

void Push16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v & 0xFF));
}

void Finish(std::vector<uint8_t>& out) {
  const std::size_t n = out.size();
  out.resize(n + 2);
  AppendCrc(out.data(), n);
}

// Length a request of this function must have, from the bytes seen so far; 0 if
// not yet known or not a function with a fixed layout.
std::size_t ExpectedLength(const std::vector<uint8_t>& f) {
  if (f.size() < 2) return 0;
  switch (f[1]) {
    case 3:
    case 4:
    case 6: return 8;
    case 16: return f.size() >= 7 ? 9u + f[6] : 0;
    default: return 0;
  }
}

}  // namespace

bool IsCompleteRequest(const std::vector<uint8_t>& frame) {
  const std::size_t n = ExpectedLength(frame);
  return n != 0 && frame.size() == n && CheckCrc(frame.data(), n);
}

bool ParseRequest(const std::vector<uint8_t>& f, uint8_t slaveAddress, SlaveRequest& out) {
  if (f.size() < 4 || !CheckCrc(f.data(), f.size())) return false;
  if (f[0] != slaveAddress && f[0] != 0) return false;
  out = SlaveRequest{};
  out.address = f[0];
  out.function = f[1];
  switch (f[1]) {
    case 3:
    case 4:
    case 6:
      if (f.size() != 8) {
        out.malformed = kExIllegalValue;
        return true;
      }
      out.reg = Be16(f, 2);
      if (f[1] == 6) {
        out.count = 1;
        out.value = Be16(f, 4);
      } else {
        out.count = Be16(f, 4);
      }
      return true;
    case 16: {
      if (f.size() < 9) {
        out.malformed = kExIllegalValue;
        return true;
      }
      out.reg = Be16(f, 2);
      out.count = Be16(f, 4);
      const std::size_t bytes = f[6];
      if (f.size() != 9 + bytes || bytes != 2u * out.count || out.count == 0) {
        out.malformed = kExIllegalValue;
        return true;
      }
      for (uint16_t i = 0; i < out.count; ++i) {
        const uint16_t w = Be16(f, 7 + 2u * i);
        out.words.push_back(w);
        if (i < 4) out.value = (out.value << 16) | w;
      }
      return true;
    }
    default:
      out.malformed = kExIllegalFunction;
      return true;
  }
}

std::vector<uint8_t> ExceptionReply(uint8_t address, uint8_t function, uint8_t code) {
  std::vector<uint8_t> out{address, static_cast<uint8_t>(function | 0x80), code};
  Finish(out);
  return out;
}

std::vector<uint8_t> Execute(DriveModel& drive, const SlaveRequest& r, uint8_t& exceptionCode) {
  exceptionCode = r.malformed;
  std::vector<uint8_t> out{r.address, r.function};
  if (exceptionCode == 0) {
    switch (r.function) {
      case 3:
      case 4: {
        std::vector<uint16_t> words;
        exceptionCode = drive.Read(r.reg, r.count, words);
        if (exceptionCode == 0) {
          out.push_back(static_cast<uint8_t>(2 * words.size()));
          for (uint16_t w : words) Push16(out, w);
        }
        break;
      }
      case 6:
        exceptionCode = drive.WriteSingle(r.reg, static_cast<uint16_t>(r.value));
        if (exceptionCode == 0) {
          Push16(out, r.reg);
          Push16(out, static_cast<uint16_t>(r.value));
        }
        break;
      case 16:
        exceptionCode = drive.WriteMultiple(r.reg, r.words);
        if (exceptionCode == 0) {
          Push16(out, r.reg);
          Push16(out, r.count);
        }
        break;
      default: exceptionCode = kExIllegalFunction; break;
    }
  }
  if (exceptionCode != 0) return ExceptionReply(r.address, r.function, exceptionCode);
  Finish(out);
  return out;
}

}  // namespace dd
