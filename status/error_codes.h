// The drive's error codes and the texts the error field shows for them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dd {

struct ErrorCodeEntry {
  uint16_t code;
  std::string_view message;
};

// Every code the drive documents; the high byte is the fault group.
extern const std::array<ErrorCodeEntry, 33> ErrorCodeTable;

// The table's message for `code`, otherwise "错误码：" and the code in decimal.
std::string ErrorText(uint16_t code);

}  // namespace dd
