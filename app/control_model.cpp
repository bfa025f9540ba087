#include "app/control_model.h"

namespace dd {

void ControlModel::Define(std::string_view id, ControlState initial) {
  std::lock_guard lock(mutex_);
  controls_.insert_or_assign(std::string(id), std::move(initial));
}

bool ControlModel::Has(std::string_view id) const {
  std::lock_guard lock(mutex_);
  return controls_.find(id) != controls_.end();
}

ControlState& ControlModel::Slot(std::string_view id) {
  auto it = controls_.find(id);
  if (it == controls_.end()) it = controls_.emplace(std::string(id), ControlState{}).first;
  return it->second;
}

template <typename F>
void ControlModel::Change(std::string_view id, F&& apply, bool notify) {
  std::function<void()> observer;
  {
    std::lock_guard lock(mutex_);
    ControlState& slot = Slot(id);
    if (!apply(slot) || !notify) return;  // unchanged: nothing to show
    bool listed = false;
    for (const auto& d : dirty_) {
      if (d == id) {
        listed = true;
        break;
      }
    }
    if (!listed) dirty_.emplace_back(id);
    if (batchPending_) return;
    batchPending_ = true;
    observer = observer_;
  }
  if (observer) observer();
}

void ControlModel::SetText(std::string_view id, std::string text) {
  Change(id, [&](ControlState& s) {
    if (s.text == text) return false;
    s.text = std::move(text);
    return true;
  }, true);
}

void ControlModel::SetEnabled(std::string_view id, bool enabled) {
  Change(id, [&](ControlState& s) { return std::exchange(s.enabled, enabled) != enabled; }, true);
}

void ControlModel::SetVisible(std::string_view id, bool visible) {
  Change(id, [&](ControlState& s) { return std::exchange(s.visible, visible) != visible; }, true);
}

void ControlModel::SetColor(std::string_view id, uint32_t color) {
  Change(id, [&](ControlState& s) { return std::exchange(s.color, color) != color; }, true);
}

void ControlModel::SetChecked(std::string_view id, bool checked) {
  Change(id, [&](ControlState& s) { return std::exchange(s.checked, checked) != checked; }, true);
}

void ControlModel::SetComboIndex(std::string_view id, int index) {
  Change(id, [&](ControlState& s) {
    if (index < -1 || index >= static_cast<int>(s.items.size())) index = -1;
    return std::exchange(s.comboIndex, index) != index;
  }, true);
}

void ControlModel::SetItems(std::string_view id, std::vector<ComboItem> items) {
  Change(id, [&](ControlState& s) {
    s.items = std::move(items);
    if (s.comboIndex >= static_cast<int>(s.items.size())) s.comboIndex = -1;
    return true;
  }, true);
}

void ControlModel::SetTextFromWidget(std::string_view id, std::string text) {
  Change(id, [&](ControlState& s) {
    s.text = std::move(text);
    return true;
  }, false);
}

void ControlModel::SetComboIndexFromWidget(std::string_view id, int index) {
  Change(id, [&](ControlState& s) {
    s.comboIndex = index;
    return true;
  }, false);
}

void ControlModel::SetCheckedFromWidget(std::string_view id, bool checked) {
  Change(id, [&](ControlState& s) {
    s.checked = checked;
    return true;
  }, false);
}

ControlState ControlModel::State(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? ControlState{} : it->second;
}

std::string ControlModel::Text(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second.text;
}

bool ControlModel::Enabled(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.enabled;
}

bool ControlModel::Visible(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.visible;
}

uint32_t ControlModel::Color(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? kButtonFace : it->second.color;
}

bool ControlModel::Checked(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.checked;
}

int ControlModel::ComboIndex(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? -1 : it->second.comboIndex;
}

std::vector<ComboItem> ControlModel::Items(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? std::vector<ComboItem>{} : it->second.items;
}

std::string ControlModel::ComboText(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  if (it == controls_.end()) return {};
  const ControlState& s = it->second;
  if (s.comboIndex < 0 || s.comboIndex >= static_cast<int>(s.items.size())) return {};
  return s.items[static_cast<std::size_t>(s.comboIndex)].text;
}

int32_t ControlModel::ComboData(std::string_view id, int32_t fallback) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  if (it == controls_.end()) return fallback;
  const ControlState& s = it->second;
  if (s.comboIndex < 0 || s.comboIndex >= static_cast<int>(s.items.size())) return fallback;
  return s.items[static_cast<std::size_t>(s.comboIndex)].data;
}

void ControlModel::SetObserver(std::function<void()> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::vector<std::pair<std::string, ControlState>> ControlModel::TakeChanges() {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, ControlState>> out;
  out.reserve(dirty_.size());
  for (auto& id : dirty_) {
    auto it = controls_.find(id);
    if (it != controls_.end()) out.emplace_back(std::move(id), it->second);
  }
  dirty_.clear();
  batchPending_ = false;
  return out;
}

}  // namespace dd
