// The window "通信日志": every frame on the bus as it happens, with filters, pause, clear,
// save and counters. The rows' texts come from ui/bus_log_view.h. It reads the program's
// bus log on a timer, so workers never wait for it and the main window never waits for
// the bus.
#pragma once

#include <QWidget>
#include <deque>
#include <functional>
#include <string>

#include "app/bus_log.h"
#include "ui/bus_log_view.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace dd {

class BusLogTableModel;
class MainWindow;

// Adds "通信日志" to the window's menu "工具"; values are shown in the units each record
// was logged in.
void InstallBusLogMenu(MainWindow& window);

class BusLogWindow : public QWidget {
  Q_OBJECT

 public:
  // Shows the records pushed from now on, and the last ones already in the log.
  explicit BusLogWindow(BusLog& log, QWidget* parent = nullptr);
  ~BusLogWindow() override;

  // The one window of the program's log: created on first use, raised afterwards.
  static void ShowFor(QWidget* mainWindow);

  // Takes what the log holds now (the timer does this twice a second).
  void TakeNewRecords();
  // Writes the shown rows' records to `path` in the log file format.
  bool SaveShown(const std::string& path);

  int ShownRows() const;
  QString RowText(int row, int column) const;
  QCheckBox* HidePollingBox() const { return hidePolling_; }
  QCheckBox* FailuresOnlyBox() const { return failuresOnly_; }
  QPushButton* PauseButton() const { return pause_; }
  QPushButton* ClearButton() const { return clear_; }
  QString CountersText() const;

 private:
  bool Passes(const BusRecord& record) const;
  void Rebuild();
  void Clear();
  void SaveWithDialog();
  void UpdateCounters();

  BusLog& log_;
  uint64_t cursor_ = 0;
  std::deque<BusRecord> records_;  // the last ones taken, bounded
  BusLogTableModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QCheckBox* hidePolling_ = nullptr;
  QCheckBox* failuresOnly_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* save_ = nullptr;
  QLabel* counters_ = nullptr;
  QTimer* timer_ = nullptr;
  bool paused_ = false;
  BusLogTally tally_;
};

}  // namespace dd
