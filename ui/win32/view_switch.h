// The full/compact switch of the main window (the view button). Window-only: it
// moves, hides and resizes, and never looks at the connection or the motion state.
#pragma once

namespace dd {

struct Session;
class MainWindow;

// Switches by the caption of the view button: "简洁版" to the compact view, "完全版" back.
void SwitchView(Session& session, MainWindow& window);
// Routes clicks on the view button to SwitchView.
void InstallViewSwitch(Session& session, MainWindow& window);

}  // namespace dd
