#pragma once
// The "Traffic" window: every frame sent to the device and read from it, with
// its time, direction, command, device number, length, checksum state, bytes
// and outcome. Filters by command and by outcome, a pause, and "Save…" as
// text (the lines tavomark-cli device --trace writes).
//
// While the window is shown the engine traces (the frame layer pushes into the
// engine's bounded queue); the window drains the queue on its own timer, so
// the engine's thread never touches a widget. Hidden, tracing is off.

#include <QAbstractTableModel>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

#include "frame_trace.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace tavomark::link {
class ProtocolEngine;
}

namespace tavomark::ui {

class UiServices;

inline constexpr const char* kTrafficTitle = "Traffic";
// The window keeps at most this many frames; the oldest go first.
inline constexpr std::size_t kMaxTrafficRows = 20000;

// The frames that pass the filters, as table rows.
class TrafficModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kTime, kDirection, kCommand, kDevice, kLength, kChecksum, kOutcome, kBytes, kColumns };

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Append(std::vector<link::TraceFrame> frames);
  void Clear();
  // Nothing: every command / outcome.
  void SetFilter(std::optional<uint8_t> cmd, std::optional<link::TraceOutcome> outcome);
  [[nodiscard]] const link::TraceFrame& Frame(int row) const;
  [[nodiscard]] std::size_t Stored() const { return m_frames.size(); }

 private:
  [[nodiscard]] bool Passes(const link::TraceFrame& frame) const;
  void Refilter();

  std::vector<link::TraceFrame> m_frames;
  std::vector<std::size_t> m_shown;  // indices into m_frames
  std::optional<uint8_t> m_cmd;
  std::optional<link::TraceOutcome> m_outcome;
};

class TrafficWindow final : public QWidget {
  Q_OBJECT
 public:
  // engine must outlive the window.
  TrafficWindow(link::ProtocolEngine& engine, UiServices& services, QWidget* parent = nullptr);
  ~TrafficWindow() override;

  // Drains the engine's queue into the table (the timer calls it).
  void Poll();
  void SetPaused(bool paused);
  // Writes the rows shown as text; false (with a message) when it failed.
  bool SaveText();

  [[nodiscard]] TrafficModel& Model() { return m_model; }
  [[nodiscard]] QComboBox* CommandFilter() const { return m_commands; }
  [[nodiscard]] QComboBox* OutcomeFilter() const { return m_outcomes; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ApplyFilters();

  link::ProtocolEngine& m_engine;
  UiServices& m_services;
  TrafficModel m_model;
  QTableView* m_table = nullptr;
  QComboBox* m_commands = nullptr;
  QComboBox* m_outcomes = nullptr;
  QCheckBox* m_pause = nullptr;
  QLabel* m_status = nullptr;
  QTimer* m_timer = nullptr;
  std::vector<link::TraceFrame> m_held;  // drained while paused
  std::size_t m_dropped = 0;
};

// Shows the program's one traffic window (made on the first call, as a window
// of its own owned by parent) and brings it to the front. parent must not
// outlive the engine.
TrafficWindow* ShowTraffic(QWidget* parent, link::ProtocolEngine& engine, UiServices& services);

}  // namespace tavomark::ui
