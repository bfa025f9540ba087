// Routes window events to the handlers that the subsystems install by control,
// so the window forwards events without knowing what they do.
#pragma once

#include <functional>
#include <map>
#include <utility>

#include "app/control.h"

namespace dd {

enum class UiEvent {
  Click,      // buttons; also a combo entry picked (by the user or the program)
  MouseDown,  // argument: Qt-independent button number (1 left, 2 right, 4 middle)
  MouseUp,
  Load,       // a window is created (Control::MainWindow, Control::SettingsDialog)
  Close,      // a window is asked to close
};

class EventRouter {
 public:
  using Handler = std::function<void(int argument)>;
  using KeyFilter = std::function<bool(char32_t key)>;  // true = keep the key
  using Validator = std::function<bool()>;              // true = may lose the focus

  void On(Control control, UiEvent event, Handler handler);
  // Runs the handler if one is installed; returns whether one was.
  bool Dispatch(Control control, UiEvent event, int argument = 0) const;

  void SetKeyFilter(Control control, KeyFilter filter);
  bool FilterKey(Control control, char32_t key) const;  // no filter: keep

  void SetValidator(Control control, Validator validator);
  bool Validate(Control control) const;  // no validator: accept

  // Installed handlers are not changed after start-up, so lookups need no lock.
 private:
  std::map<std::pair<Control, UiEvent>, Handler> handlers_;
  std::map<Control, KeyFilter> keyFilters_;
  std::map<Control, Validator> validators_;
};

}  // namespace dd
