#include "app/event_router.h"

namespace dd {

void EventRouter::On(Control control, UiEvent event, Handler handler) {
  handlers_.insert_or_assign({control, event}, std::move(handler));
}

bool EventRouter::Dispatch(Control control, UiEvent event, int argument) const {
  auto it = handlers_.find(std::pair{control, event});
  if (it == handlers_.end() || !it->second) return false;
  // Copy: a handler may run a nested event loop during which routes are looked up again.
  Handler handler = it->second;
  handler(argument);
  return true;
}

void EventRouter::SetKeyFilter(Control control, KeyFilter filter) {
  keyFilters_.insert_or_assign(control, std::move(filter));
}

bool EventRouter::FilterKey(Control control, char32_t key) const {
  auto it = keyFilters_.find(control);
  return it == keyFilters_.end() || !it->second || it->second(key);
}

void EventRouter::SetValidator(Control control, Validator validator) {
  validators_.insert_or_assign(control, std::move(validator));
}

bool EventRouter::Validate(Control control) const {
  auto it = validators_.find(control);
  return it == validators_.end() || !it->second || it->second();
}

}  // namespace dd
