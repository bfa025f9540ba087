#include "app/control.h"

#include <array>
#include <ostream>

namespace dd {

std::string_view ControlName(Control control) {
  static constexpr std::array<std::string_view, kControlCount> kNames = {
#define DD_CONTROL_NAME(name) #name,
      DD_CONTROLS(DD_CONTROL_NAME)
#undef DD_CONTROL_NAME
  };
  return kNames.at(static_cast<std::size_t>(control));
}

std::ostream& operator<<(std::ostream& out, Control control) { return out << ControlName(control); }

}  // namespace dd
