#include "tests/support/headless_program.h"

#include <algorithm>
#include <string>

#include "app/shell_handlers.h"
#include "params/connection_sequence.h"
#include "ui/install_handlers.h"
#include "ui/window_layout.h"

namespace dd::test {

HeadlessProgram::HeadlessProgram() {
  DefineControls(session.controls);
  InstallAllHandlers(session);
}

HeadlessProgram::~HeadlessProgram() { CloseWindow(); }

bool HeadlessProgram::Pick(int com, uint32_t baud) {
  auto indexOf = [&](Control list, const std::string& text) {
    const auto items = session.controls.Items(list);
    const auto it = std::find_if(items.begin(), items.end(), [&](const ComboItem& item) { return item.text == text; });
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
  };
  for (const auto& [list, text] : {std::pair{Control::PortList, "COM" + std::to_string(com)},
                                   {Control::BaudList, std::to_string(baud)}}) {
    if (indexOf(list, text) < 0) return false;
    session.controls.SetComboIndex(list, indexOf(list, text));
    session.events.Dispatch(list, UiEvent::Click);
  }
  return session.controls.Enabled(Control::OpenCloseButton);
}

bool HeadlessProgram::Open(int timeoutMs) {
  if (session.controls.Text(Control::OpenCloseButton) != kCaptionOpen) return false;
  const std::size_t before = ui.Messages().size();
  // A fatal read failure ends the sequence with its message; notices do not.
  auto failed = [&] {
    const auto messages = ui.Messages();
    return std::any_of(messages.begin() + static_cast<std::ptrdiff_t>(before), messages.end(),
                       [](const RecordedMessage& m) { return m.title == kFatalTitle || m.icon == MessageIcon::Error; });
  };
  session.events.Dispatch(Control::OpenCloseButton, UiEvent::Click);
  return ui.RunUntil([&] { return Polling() || failed(); }, timeoutMs) && Polling();
}

void HeadlessProgram::CloseCommunication() {
  if (session.controls.Text(Control::OpenCloseButton) == kCaptionClose) {
    session.events.Dispatch(Control::OpenCloseButton, UiEvent::Click);
  }
}

void HeadlessProgram::CloseWindow() {
  if (closed_) return;
  closed_ = true;
  session.events.Dispatch(Control::MainWindow, UiEvent::Close);
}

bool HeadlessProgram::Polling() const {
  return session.Connected() && session.controls.Enabled(Control::MotionPanel) &&
         session.state.WorkerCount.load() > 0;
}

}  // namespace dd::test
