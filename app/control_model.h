// Thread-safe state of every control of the windows, addressed by its Control
// identifier (Control::OpenCloseButton, Control::RunSpeedField). Logic and workers read
// and write it from any thread without touching widgets; the window mirrors it. Changes
// are coalesced: the observer is told once per batch, and the window takes the batch
// on its own thread, so a fast bus never floods the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/control.h"

namespace dd {

// Colours are 0x00RRGGBB; kButtonFace stands for the platform's button-face colour.
inline constexpr uint32_t kButtonFace = 0x8000000F;
inline constexpr uint32_t kRed = 0xFF0000;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kGrey = 0x808080;
inline constexpr uint32_t kLightGrey = 0xE0E0E0;
// A field's text in the platform's own colours (also its greyed look when disabled).
inline constexpr uint32_t kDefaultTextColor = 0x80000008;

struct ComboItem {
  std::string text;
  int32_t data = 0;
  std::string toolTip;  // shown when the pointer rests on the entry; "" = none
};

struct ControlState {
  std::string text;              // caption or field text
  bool enabled = true;
  bool visible = true;
  uint32_t color = kButtonFace;  // lamp fill, or button background
  bool checked = false;          // check boxes and option buttons
  int comboIndex = -1;           // -1 = no entry chosen
  std::vector<ComboItem> items;  // drop-down lists
  uint32_t textColor = kDefaultTextColor;  // text fields
  std::string toolTip;           // empty: the layout's own tooltip
};

class ControlModel {
 public:
  // Declares a control with its start state (no change notification).
  void Define(Control id, ControlState initial);
  bool Has(Control id) const;

  void SetText(Control id, std::string text);
  void SetEnabled(Control id, bool enabled);
  void SetVisible(Control id, bool visible);
  void SetColor(Control id, uint32_t color);
  void SetChecked(Control id, bool checked);
  void SetComboIndex(Control id, int index);
  void SetItems(Control id, std::vector<ComboItem> items);
  void SetTextColor(Control id, uint32_t color);
  void SetToolTip(Control id, std::string text);

  std::string Text(Control id) const;
  bool Enabled(Control id) const;
  bool Visible(Control id) const;
  uint32_t Color(Control id) const;
  bool Checked(Control id) const;
  int ComboIndex(Control id) const;
  std::vector<ComboItem> Items(Control id) const;
  // Text of the chosen entry, "" when none.
  std::string ComboText(Control id) const;
  // Item data of the chosen entry, or `fallback` when none.
  int32_t ComboData(Control id, int32_t fallback = -1) const;
  ControlState State(Control id) const;

  // Called (on the changing thread, outside the lock) when a change arrives while no
  // batch is pending; the window then queues one TakeChanges() on its own thread.
  void SetObserver(std::function<void()> observer);
  // The controls changed since the last call; ends the batch.
  std::vector<std::pair<Control, ControlState>> TakeChanges();

  // Applies a change that came from the widget itself (typing, picking an entry):
  // the model follows without echoing it back to the window.
  void SetTextFromWidget(Control id, std::string text);
  void SetComboIndexFromWidget(Control id, int index);
  void SetCheckedFromWidget(Control id, bool checked);

 private:
  template <typename F>
  void Change(Control id, F&& apply, bool notify);
  ControlState& Slot(Control id);

  mutable std::mutex mutex_;
  std::map<Control, ControlState> controls_;
  std::vector<Control> dirty_;
  bool batchPending_ = false;
  std::function<void()> observer_;
};

}  // namespace dd
