// Routes window events to the handlers that the subsystems install by control name,
// so the window forwards events without knowing what they do.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace dd {

enum class UiEvent {
  Click,      // buttons; also a combo entry picked (by the user or the program)
  MouseDown,  // argument: Qt-independent button number (1 left, 2 right, 4 middle)
  MouseUp,
  Load,       // a form is created ("Form1", "Form2")
  Close,      // a form is asked to close
};

class EventRouter {
 public:
  using Handler = std::function<void(int argument)>;
  using KeyFilter = std::function<bool(char32_t key)>;  // true = keep the key
  using Validator = std::function<bool()>;              // true = may lose the focus

  void On(std::string_view control, UiEvent event, Handler handler);
  // Runs the handler if one is installed; returns whether one was.
  bool Dispatch(std::string_view control, UiEvent event, int argument = 0) const;

  void SetKeyFilter(std::string_view control, KeyFilter filter);
  bool FilterKey(std::string_view control, char32_t key) const;  // no filter: keep
  bool HasKeyFilter(std::string_view control) const;

  void SetValidator(std::string_view control, Validator validator);
  bool Validate(std::string_view control) const;  // no validator: accept

  // Installed handlers are not changed after start-up, so lookups need no lock.
 private:
  std::map<std::pair<std::string, UiEvent>, Handler, std::less<>> handlers_;
  std::map<std::string, KeyFilter, std::less<>> keyFilters_;
  std::map<std::string, Validator, std::less<>> validators_;
};

}  // namespace dd
