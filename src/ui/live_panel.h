#pragma once
// The live page: what the device is doing while it runs. A tab control with
// the whole live structure as a tree, the highlight page of chosen channels
// with their status bits, three chart pages, the calibration page and the
// info page (identity record, error list, chosen values). Every main timer
// tick asks the device for one live buffer, whether or not the page is shown,
// and hands it to the pages.
//
// Channels are list positions of monitor records kept in the user
// configuration: 48 slots for each of the seven pages. The highlight page
// uses slots 0-41 as value rows (TABLE1 and TABLE2, 21 rows each) and 42-47
// as flag-word rows (TABLE3, one cell per bit); the info page slots 0-13.

#include <QColor>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "child_panel.h"
#include "platform_services.h"
#include "config_set.h"
#include "live_recording.h"
#include "protocol_frames.h"
#include "record.h"

class QComboBox;
class QEvent;
class QLabel;
class QModelIndex;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace Ui {
class LivePanel;
}

namespace tavomark::ui {

class CalibTab;
class GraphTab;
class StructTreeModel;

// Saves the user configuration (the channels of every live page) to its file
// in the project's config folder; a failure is told to the user.
void SaveUserChannels(PanelContext& context);

// The pages of the tab control; each also names its list of channel slots.
enum LivePage : int {
  kTabAll = 0,
  kTabHilight = 1,
  kTabGraph1 = 2,
  kTabGraph2 = 3,
  kTabGraph3 = 4,
  kTabCalib = 5,
  kTabInfo = 6,
};
inline constexpr int kLivePages = 7;

// The forced-function buttons that every page carries, in order.
struct ForcedFunction {
  const char* name;
  const char* label;
  uint8_t value;
};
inline constexpr std::array<ForcedFunction, 5> kForcedFunctions{{
    {"cbReset", "RESET", 10},
    {"cbStandBy", "STAND BY", 11},
    {"cbAlarmReset", "ALARM RESET", 0},
    {"CbLifeReset", "LIFE RESET", 1},
    {"CbErrListReset", "ERR LIST RESET", 2},
}};

inline constexpr int kHilightRows = 21;
inline constexpr int kHilightValueSlots = 42;  // slots 0-41; 42-47 are flag words
inline constexpr int kHilightSlots = 48;
inline constexpr int kBitCells = 16;
inline constexpr int kInfoRows = 14;
using link::kErrorLines;
inline constexpr QRgb kClearBitColour = 0xE0E0E0;

// The slot of row (1-based) of highlight table 0-2, or -1 when it has none.
[[nodiscard]] int HilightSlot(int table, int row);

// Shortens text in place to at most n capitals and digits: the first letter
// and the consonants become capitals first, then the vowels, while room is
// left; everything else is dropped. "motorSpeed", 4 -> "MTRS".
void ShortName(std::string& text, std::size_t n);

// "A.B.name": up to depth containers above the record (the root never), then
// its own name.
[[nodiscard]] std::string RecordPathLabel(const StructPack& pack, const Record& record, int depth);

// The record's value in the live buffer as the tree shows it; empty when the
// record is a container or lies beyond the buffer.
[[nodiscard]] std::string LiveValueText(const StructPack& monitor, const Record& record,
                                        std::span<const uint8_t> live);

// Colour of a set bit, by the first character of the field's unit: alarm red,
// fault orange, output green, state light blue, warning yellow, else grey.
[[nodiscard]] QRgb BitColour(const Record& field);

// The bit fields shown by a flag-word row: the fields below the container, in
// order, each with its first cell; a field that would pass the 16th cell is
// cut there.
struct BitCell {
  std::size_t position = 0;  // the field's record
  int bit = 0;               // bit of the field shown by the cell
  int width = 0;             // the field's width
};
[[nodiscard]] std::vector<BitCell> FlagWordCells(const StructPack& monitor, std::size_t container);

// The error list's lines, as the info page and the CLI show them.
using link::ErrorListText;
using link::FormatErrorList;

class LivePanel final : public QObject, public ChildPanel {
  Q_OBJECT
 public:
  LivePanel(QWidget* parent, PanelContext& context);
  ~LivePanel() override;
  LivePanel(const LivePanel&) = delete;
  LivePanel& operator=(const LivePanel&) = delete;

  QWidget* Widget() override;
  bool Enable(bool flag) override { return LivePanelEnable(flag); }
  void Handler(bool connected) override { LivePanelUpdate(connected); }
  bool Terminate() override { return LivePanelTerminate(); }

  // True: rebuilds the pages when the monitor pack is new and becomes
  // active. False: inactive.
  bool LivePanelEnable(bool flag);
  bool LivePanelTerminate();
  // The main timer's tick: one live request, then the pages; 1.
  int LivePanelUpdate(bool connected);
  // Hands one live buffer to the pages, in order: highlight, charts, tree,
  // calibration (each acts only when it is the page shown or must advance).
  // The charts take seconds as the time of the points; without it, the time
  // since the panel was made.
  void LivePagesUpdate(int page, const std::vector<uint8_t>& live, double seconds = -1.0);
  // Rebuilds every page from the data set; the highlight page becomes the
  // active one. 1.
  int LivePanelRefresh();
  void LiveUpdateButton(bool connected);
  // 1 (swallowed) for the user's input while the panel is inactive, else 0.
  int LiveEvents(QObject* target, QEvent* event) const;

  // The All page.
  void TreeTabRefresh(int page);
  void TreeTabRefreshTree(const StructPack& pack);
  int TreeTabUpdate(std::span<const uint8_t> live);
  int TreeTabUpdateItem(const StructPack& pack, std::span<const uint8_t> live, const QModelIndex& item);
  void Collapse();
  void Expande();
  void CollapseTree(bool flag, const QModelIndex& item);

  void SetForcedFunction(uint8_t value);

  // Channel editing on the highlight page.
  void AddChannel();
  void DelChannel();
  void MoveUp();
  void MoveDw();
  // A highlight table took the focus (table 0-2): it becomes the current one;
  // TABLE3 also names the bit under its active cell in its tooltip.
  void TableChange(int table);

  // The highlight page.
  void HilightTabRefresh();
  void HilightTabRefreshRow(const Record* record, int slot);
  void HilightTabUpdate(int page, std::span<const uint8_t> live);
  [[nodiscard]] int GetHilightPos() const;

  // The info page.
  void InfoTabRefresh();
  void InfoTabPopulate(const Record* record, int slot);
  void InfoTabUpdate(bool connected, int page, const std::vector<uint8_t>* live);
  void InfoTabUpdateTable(const std::vector<uint8_t>* live);
  [[nodiscard]] int GetInfoPos() const;
  void AddInfo();
  void DelInfo();

  // Shows or hides the channel buttons and remembers the choice.
  void EditChannels(bool shown);
  // Shows or hides the calibration page and remembers the choice.
  void ShowCalibration(bool shown);

  // Recording: every live buffer becomes a row of a CSV file.
  bool StartRecording(const std::string& path);
  void StopRecording();
  [[nodiscard]] bool IsRecording() const { return m_recorder.IsOpen(); }

  // Replay of a recording through the pages, at the recorded pace times the
  // speed (0 x1, 1 x4, 2 as fast as possible), without the device. False
  // (after a message) when the recording cannot be read or does not fit.
  bool StartReplay(const std::string& path);
  void StopReplay();
  void PauseReplay(bool paused);
  void SetReplaySpeed(int speed);
  // Plays the next row now; false when the recording has ended.
  bool ReplayNext();
  [[nodiscard]] bool IsReplaying() const { return m_replay.active; }
  [[nodiscard]] const Recording& ReplayedRecording() const { return m_replay.recording; }
  [[nodiscard]] std::size_t ReplayRow() const { return m_replay.next; }

  [[nodiscard]] bool Polling() const { return m_polling; }
  [[nodiscard]] int HilightTable() const { return m_hilightTable; }
  [[nodiscard]] QTreeView* Tree() const;
  [[nodiscard]] StructTreeModel& TreeModel() const { return *m_treeModel; }
  [[nodiscard]] QTableWidget* HilightTableWidget(int table) const;
  [[nodiscard]] QTableWidget* InfoTable() const;
  // The chart of a chart page (kTabGraph1 to kTabGraph3).
  [[nodiscard]] GraphTab& Graph(int page) const;
  [[nodiscard]] CalibTab& Calibration() const { return *m_calibTab; }
  // The items (list position - 1) the last tree update wrote, in order.
  [[nodiscard]] const std::vector<std::size_t>& LastTreeItems() const { return m_lastTreeItems; }
  // The forced-function buttons of a page, in table order.
  [[nodiscard]] const std::array<QPushButton*, kForcedFunctions.size()>& ForcedButtons(int page) const {
    return m_forced[static_cast<std::size_t>(page)];
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Command;

  void SetUpPages();
  void SetUpTable(QTableWidget* table, int rows, const QStringList& columns);
  void FitColumns();
  void AddForcedButtons(int page);
  [[nodiscard]] StructPack& Monitor() const;
  [[nodiscard]] const Record* SlotRecord(int page, int slot) const;
  [[nodiscard]] std::size_t SelectedTreePosition() const;
  void SetSlot(int page, int slot, std::size_t position);
  void SaveChannels();
  void ClearHilightRow(QTableWidget* table, int row, bool bits);
  void ShowInfoRecord();
  void ShowErrorList(bool connected);
  void GraphTabRefresh(int page);
  void GraphTabUpdate(std::span<const uint8_t> live, double seconds);
  void ShowGraphs();
  void CalibTabRefresh();
  void CalibTabUpdate(int page, const std::vector<uint8_t>* live);
  void ShowChannelButtons(bool shown);
  void SetUpRecordControls();
  void RecordLive(const std::vector<uint8_t>& live);
  void ScheduleReplay();
  void ShowReplayControls(bool shown);

  PanelContext& m_context;
  std::unique_ptr<Ui::LivePanel> m_form;
  std::unique_ptr<StructTreeModel> m_treeModel;
  QWidget m_widget;
  std::array<std::array<QPushButton*, kForcedFunctions.size()>, kLivePages> m_forced{};
  // After the widget: the charts go first.
  std::array<std::unique_ptr<GraphTab>, 3> m_graphs;
  std::unique_ptr<CalibTab> m_calibTab;
  std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();

  std::vector<std::string> m_treeText;  // the value column, per record position - 1
  std::vector<std::size_t> m_lastTreeItems;
  bool m_polling = false;
  bool m_shown = false;  // the main panel shows this panel
  bool m_busy = false;
  bool m_built = false;
  int m_hilightTable = 0;

  QPushButton* m_record = nullptr;
  QPushButton* m_openRecording = nullptr;
  QComboBox* m_replaySpeed = nullptr;
  QPushButton* m_replayPause = nullptr;
  QPushButton* m_replayStop = nullptr;
  QLabel* m_replayStatus = nullptr;
  LiveRecorder m_recorder;
  std::chrono::steady_clock::time_point m_recordStart;
  struct Replay {
    bool active = false;
    bool paused = false;
    int speed = 0;
    Recording recording;
    std::vector<std::size_t> positions;
    std::size_t next = 0;
  } m_replay;
  QTimer m_replayTimer;
};

// One command of the panel: the panel swallows its own input meanwhile (a
// command may wait for the device, serving events), and the cursor is busy.
class LivePanel::Command {
 public:
  explicit Command(LivePanel& panel) : m_panel(panel), m_granted(panel.m_active && !panel.m_busy) {
    if (!m_granted) return;
    m_panel.m_busy = true;
    m_panel.m_active = false;
    m_cursor.emplace();
  }
  ~Command() {
    if (!m_granted) return;
    m_cursor.reset();
    m_panel.m_busy = false;
    // The main panel may have switched to another panel meanwhile.
    m_panel.m_active = m_panel.m_shown;
  }
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;
  [[nodiscard]] bool Granted() const { return m_granted; }
  void RestoreCursor() { m_cursor.reset(); }

 private:
  LivePanel& m_panel;
  bool m_granted;
  std::optional<BusyCursor> m_cursor;
};

// Creates the live page inside parent; null when it cannot be created.
[[nodiscard]] std::unique_ptr<ChildPanel> InitLivePanel(QWidget* parent, PanelContext& context);

}  // namespace tavomark::ui
