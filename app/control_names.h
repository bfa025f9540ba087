// Names of indexed controls, as the window and the logic address them.
#pragma once

#include <string>
#include <string_view>

namespace dd {

// "Text2(4)", "Label1(20)", "Command5(0)".
inline std::string Indexed(std::string_view array, int index) {
  return std::string(array) + "(" + std::to_string(index) + ")";
}
inline std::string Text2(int index) { return Indexed("Text2", index); }
inline std::string Label1(int index) { return Indexed("Label1", index); }

}  // namespace dd
