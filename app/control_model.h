// Thread-safe state of every control of the windows, addressed by the control's name
// ("Command1", "Text2(4)", "Label1(20)", "Form2.Text1"). Logic and workers read and
// write it from any thread without touching widgets; the window mirrors it. Changes
// are coalesced: the observer is told once per batch, and the window takes the batch
// on its own thread, so a fast bus never floods the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dd {

// Colours are 0x00RRGGBB; kButtonFace stands for the platform's button-face colour.
inline constexpr uint32_t kButtonFace = 0x8000000F;
inline constexpr uint32_t kRed = 0xFF0000;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kGrey = 0x808080;
inline constexpr uint32_t kLightGrey = 0xE0E0E0;

struct ComboItem {
  std::string text;
  int32_t data = 0;
};

struct ControlState {
  std::string text;              // caption or field text
  bool enabled = true;
  bool visible = true;
  uint32_t color = kButtonFace;  // lamp fill, or button background
  bool checked = false;          // check boxes and option buttons
  int comboIndex = -1;           // -1 = no entry chosen
  std::vector<ComboItem> items;  // drop-down lists
};

class ControlModel {
 public:
  // Declares a control with its start state (no change notification).
  void Define(std::string_view id, ControlState initial);
  bool Has(std::string_view id) const;

  void SetText(std::string_view id, std::string text);
  void SetEnabled(std::string_view id, bool enabled);
  void SetVisible(std::string_view id, bool visible);
  void SetColor(std::string_view id, uint32_t color);
  void SetChecked(std::string_view id, bool checked);
  void SetComboIndex(std::string_view id, int index);
  void SetItems(std::string_view id, std::vector<ComboItem> items);

  std::string Text(std::string_view id) const;
  bool Enabled(std::string_view id) const;
  bool Visible(std::string_view id) const;
  uint32_t Color(std::string_view id) const;
  bool Checked(std::string_view id) const;
  int ComboIndex(std::string_view id) const;
  std::vector<ComboItem> Items(std::string_view id) const;
  // Text of the chosen entry, "" when none.
  std::string ComboText(std::string_view id) const;
  // Item data of the chosen entry, or `fallback` when none.
  int32_t ComboData(std::string_view id, int32_t fallback = -1) const;
  ControlState State(std::string_view id) const;

  // Called (on the changing thread, outside the lock) when a change arrives while no
  // batch is pending; the window then queues one TakeChanges() on its own thread.
  void SetObserver(std::function<void()> observer);
  // Names and states of the controls changed since the last call; ends the batch.
  std::vector<std::pair<std::string, ControlState>> TakeChanges();

  // Applies a change that came from the widget itself (typing, picking an entry):
  // the model follows without echoing it back to the window.
  void SetTextFromWidget(std::string_view id, std::string text);
  void SetComboIndexFromWidget(std::string_view id, int index);
  void SetCheckedFromWidget(std::string_view id, bool checked);

 private:
  template <typename F>
  void Change(std::string_view id, F&& apply, bool notify);
  ControlState& Slot(std::string_view id);

  mutable std::mutex mutex_;
  std::map<std::string, ControlState, std::less<>> controls_;
  std::vector<std::string> dirty_;
  bool batchPending_ = false;
  std::function<void()> observer_;
};

}  // namespace dd
