// "工具" → "驱动器地址…" and "搜索驱动器…": the address input and the search dialog.
// Both only mirror the shared code: app/drive_address.h takes and remembers the address,
// ui/drive_search_view.h runs the search and says what the dialog shows.
#pragma once

#include <QDialog>
#include "ui/drive_search_view.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace dd {

struct Session;
class MainWindow;

// Adds both items to the window's "工具" menu; usable while communication is closed.
void InstallDriveAddressMenu(Session& session, MainWindow& window);
// Asks for the address and takes it (a message for bad input).
void AskDriveAddress(Session& session, QWidget* parent);

class DriveSearchDialog : public QDialog {
 public:
  DriveSearchDialog(Session& session, QWidget* parent = nullptr);
  ~DriveSearchDialog() override;

  // Starts a search with the chosen port, rate and range; false (after a message) on bad
  // input or while one runs.
  bool Start();
  void Cancel();
  bool Running() const { return view_.Running(); }
  // Takes the drive in `row` for "开启通信" and closes the dialog.
  bool UseRow(int row);
  QTableWidget* Table() const { return table_; }
  QLabel* StatusLabel() const { return status_; }
  QLineEdit* RangeField() const { return range_; }
  QComboBox* PortChoice() const { return port_; }
  QComboBox* BaudChoice() const { return baud_; }
  // Takes the running search's snapshot now (the timer does it ten times a second).
  void Refresh();

 protected:
  void reject() override;

 private:
  // Shows the view's rows, bar and status; the controls follow whether it searches.
  void ShowView();

  DriveSearchView view_;
  QComboBox* port_ = nullptr;
  QComboBox* baud_ = nullptr;
  QLineEdit* range_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* use_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace dd
