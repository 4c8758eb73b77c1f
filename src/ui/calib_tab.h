#pragma once
// The calibration page of the live panel: one row per leaf of the calibration
// block (the checksum word excepted, 48 at most), paired with the formula of
// the same rank in the project's ".cal" file and, when the operator mapped
// one, with a live channel whose reading is the row's measure. The operator
// selects a row and presses Calculate, Send or Calc&Send.
//
// The page keeps its own value pack and device image of the calibration
// block, read from the device whenever it is updated. Columns: "Value" (the
// device's value), "Calc" (the last result), "Unit", "Load[A]", "Channel",
// "Target", "Meas" (the channel's live value). The row-to-channel mapping is
// list 5 of the user configuration, saved after every Add and Delete.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "child_panel.h"
#include "device_image.h"
#include "pack.h"
#include "user_calib.h"

class QPushButton;
class QTableWidget;

namespace tavomark::ui {

inline constexpr int kCalibTabIndex = 5;
// The user configuration's list of the page's channels.
inline constexpr std::size_t kCalibUserList = 5;

enum CalibColumn : int {
  kColValue = 0,
  kColCalc,
  kColUnit,
  kColLoad,
  kColChannel,
  kColTarget,
  kColMeas,
  kCalibColumns,
};

// Which of the three buttons SendCalib serves.
enum class CalibButton { Calculate, Send, CalcAndSend };

class CalibTab final : public QObject {
  Q_OBJECT
 public:
  // CalibTabInit. area: a widget on the live panel's calibration page; the
  // tab puts into it (into its layout, made when it has none) one widget with
  // the table "TABLE" and the buttons "cbCalculate", "cbSend", "cbCalcSend",
  // "cbAddCalib", "cbDelCalib", and removes that widget when it goes. The tab
  // has no parent: its owner deletes it.
  // selectedChannel: the 1-based list position of the record selected in the
  // live panel's channel tree, 0 when none.
  CalibTab(QWidget* area, PanelContext& context, std::function<std::size_t()> selectedChannel);
  ~CalibTab() override;
  CalibTab(const CalibTab&) = delete;
  CalibTab& operator=(const CalibTab&) = delete;

  // Rebuilds the rows after the configuration or the data set changed; 1.
  // While a command waits for the device the rebuild follows its end.
  int CalibTabRefresh();
  // For this tab's index: reads the block from the device (while connected;
  // a failed read keeps the previous values), then refreshes "Value", "Calc"
  // and, from live (may be null), "Meas".
  void CalibTabUpdate(int tabIndex, const std::vector<uint8_t>* live);
  // Releases the value pack and the device image; 1.
  int CalibTabTerminate();
  // Dims Calculate, Send and Calc&Send while not connected.
  void EnableButtons(bool connected);

  void CalibTabCreateTable();
  void CalibTabUpdateTableData();
  void CalibTabUpdateTableChannels(const std::vector<uint8_t>* live);
  // Shows the row's channel (null: none) and makes its "Channel" cell current.
  void CalibTabRefreshTableRow(const Record* channel, int row);

  // The buttons' commands; each acts on the current row.
  void AddCalib();
  void DelCalib();
  void SendCalib(CalibButton button);

  [[nodiscard]] QTableWidget* Table() const { return m_table; }
  [[nodiscard]] const calib::CalibTable& Calibration() const { return m_calib; }
  [[nodiscard]] const Pack& Values() const { return m_values; }

 private:
  [[nodiscard]] int CurrentRow() const;
  [[nodiscard]] const Record* Channel(uint32_t position) const;
  void SetCell(int row, int column, const std::string& text);
  void SaveChannels();

  PanelContext& m_context;
  std::function<std::size_t()> m_selectedChannel;
  QPointer<QWidget> m_page;  // null once the area has deleted it
  QTableWidget* m_table = nullptr;
  QPushButton* m_calculate = nullptr;
  QPushButton* m_send = nullptr;
  QPushButton* m_calcSend = nullptr;
  Pack m_values;
  DeviceData m_device;
  calib::CalibTable m_calib;
  bool m_busy = false;  // a command runs: the timer's updates wait
  bool m_refreshPending = false;
};

}  // namespace tavomark::ui
