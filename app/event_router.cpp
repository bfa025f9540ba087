#include "app/event_router.h"

namespace dd {

void EventRouter::On(std::string_view control, UiEvent event, Handler handler) {
  handlers_.insert_or_assign({std::string(control), event}, std::move(handler));
}

bool EventRouter::Dispatch(std::string_view control, UiEvent event, int argument) const {
  auto it = handlers_.find(std::pair<std::string, UiEvent>{std::string(control), event});
  if (it == handlers_.end() || !it->second) return false;
  // Copy: a handler may run a nested event loop during which routes are looked up again.
  Handler handler = it->second;
  handler(argument);
  return true;
}

void EventRouter::SetKeyFilter(std::string_view control, KeyFilter filter) {
  keyFilters_.insert_or_assign(std::string(control), std::move(filter));
}

bool EventRouter::FilterKey(std::string_view control, char32_t key) const {
  auto it = keyFilters_.find(control);
  return it == keyFilters_.end() || !it->second || it->second(key);
}

bool EventRouter::HasKeyFilter(std::string_view control) const {
  return keyFilters_.find(control) != keyFilters_.end();
}

void EventRouter::SetValidator(std::string_view control, Validator validator) {
  validators_.insert_or_assign(std::string(control), std::move(validator));
}

bool EventRouter::Validate(std::string_view control) const {
  auto it = validators_.find(control);
  return it == validators_.end() || !it->second || it->second();
}

}  // namespace dd
