#include "app/control_model.h"

namespace dd {

void ControlModel::Define(Control id, ControlState initial) {
  std::lock_guard lock(mutex_);
  controls_.insert_or_assign(id, std::move(initial));
}

bool ControlModel::Has(Control id) const {
  std::lock_guard lock(mutex_);
  return controls_.find(id) != controls_.end();
}

ControlState& ControlModel::Slot(Control id) {
  auto it = controls_.find(id);
  if (it == controls_.end()) it = controls_.emplace(id, ControlState{}).first;
  return it->second;
}

template <typename F>
void ControlModel::Change(Control id, F&& apply, bool notify) {
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
    if (!listed) dirty_.push_back(id);
    if (batchPending_) return;
    batchPending_ = true;
    observer = observer_;
  }
  if (observer) observer();
}

void ControlModel::SetText(Control id, std::string text) {
  Change(id, [&](ControlState& s) {
    if (s.text == text) return false;
    s.text = std::move(text);
    return true;
  }, true);
}

void ControlModel::SetEnabled(Control id, bool enabled) {
  Change(id, [&](ControlState& s) { return std::exchange(s.enabled, enabled) != enabled; }, true);
}

void ControlModel::SetVisible(Control id, bool visible) {
  Change(id, [&](ControlState& s) { return std::exchange(s.visible, visible) != visible; }, true);
}

void ControlModel::SetColor(Control id, uint32_t color) {
  Change(id, [&](ControlState& s) { return std::exchange(s.color, color) != color; }, true);
}

void ControlModel::SetTextColor(Control id, uint32_t color) {
  Change(id, [&](ControlState& s) { return std::exchange(s.textColor, color) != color; }, true);
}

void ControlModel::SetToolTip(Control id, std::string text) {
  Change(id, [&](ControlState& s) {
    if (s.toolTip == text) return false;
    s.toolTip = std::move(text);
    return true;
  }, true);
}

void ControlModel::SetChecked(Control id, bool checked) {
  Change(id, [&](ControlState& s) { return std::exchange(s.checked, checked) != checked; }, true);
}

void ControlModel::SetComboIndex(Control id, int index) {
  Change(id, [&](ControlState& s) {
    if (index < -1 || index >= static_cast<int>(s.items.size())) index = -1;
    return std::exchange(s.comboIndex, index) != index;
  }, true);
}

void ControlModel::SetItems(Control id, std::vector<ComboItem> items) {
  Change(id, [&](ControlState& s) {
    s.items = std::move(items);
    if (s.comboIndex >= static_cast<int>(s.items.size())) s.comboIndex = -1;
    return true;
  }, true);
}

void ControlModel::SetTextFromWidget(Control id, std::string text) {
  Change(id, [&](ControlState& s) {
    s.text = std::move(text);
    return true;
  }, false);
}

void ControlModel::SetComboIndexFromWidget(Control id, int index) {
  Change(id, [&](ControlState& s) {
    s.comboIndex = index;
    return true;
  }, false);
}

void ControlModel::SetCheckedFromWidget(Control id, bool checked) {
  Change(id, [&](ControlState& s) {
    s.checked = checked;
    return true;
  }, false);
}

ControlState ControlModel::State(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? ControlState{} : it->second;
}

std::string ControlModel::Text(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second.text;
}

bool ControlModel::Enabled(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.enabled;
}

bool ControlModel::Visible(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.visible;
}

uint32_t ControlModel::Color(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? kButtonFace : it->second.color;
}

bool ControlModel::Checked(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.checked;
}

int ControlModel::ComboIndex(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? -1 : it->second.comboIndex;
}

std::vector<ComboItem> ControlModel::Items(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? std::vector<ComboItem>{} : it->second.items;
}

std::string ControlModel::ComboText(Control id) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  if (it == controls_.end()) return {};
  const ControlState& s = it->second;
  if (s.comboIndex < 0 || s.comboIndex >= static_cast<int>(s.items.size())) return {};
  return s.items[static_cast<std::size_t>(s.comboIndex)].text;
}

int32_t ControlModel::ComboData(Control id, int32_t fallback) const {
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

std::vector<std::pair<Control, ControlState>> ControlModel::TakeChanges() {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<Control, ControlState>> out;
  out.reserve(dirty_.size());
  for (const Control id : dirty_) {
    auto it = controls_.find(id);
    if (it != controls_.end()) out.emplace_back(id, it->second);
  }
  dirty_.clear();
  batchPending_ = false;
  return out;
}

}  // namespace dd
