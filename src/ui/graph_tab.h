#pragma once
// The chart pages of the live panel: each a strip chart of four traces, one
// point per trace on every live tick. A trace shows the monitor record named
// by slot 0-3 of its page's channel list (the user configuration); an empty
// slot plots 0.
//
// Each chart keeps the last kStripPoints points of its traces in a ring, so
// memory and redraw cost stay the same however long the program runs. All
// three charts take every point; only the chart on screen hands its points to
// the drawing. While a chart is paused its points are still kept, and the
// chart shows them when it resumes.

#include <QObject>
#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "record.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QLineSeries;
class QAbstractAxis;
class QValueAxis;
class QLogValueAxis;
class QPushButton;
class QWidget;

namespace tavomark::ui {

struct PanelContext;

inline constexpr std::size_t kTraces = 4;
inline constexpr std::size_t kStripPoints = 600;

// The last points of four traces, oldest first.
class StripHistory {
 public:
  explicit StripHistory(std::size_t capacity = kStripPoints);
  void Add(double seconds, const std::array<double, kTraces>& values);
  void Clear();
  [[nodiscard]] std::size_t Size() const { return m_size; }
  [[nodiscard]] std::size_t Capacity() const { return m_times.size(); }
  // Point i (0 = the oldest kept).
  [[nodiscard]] double Time(std::size_t i) const { return m_times[Slot(i)]; }
  [[nodiscard]] double Value(std::size_t trace, std::size_t i) const { return m_values[trace][Slot(i)]; }

 private:
  [[nodiscard]] std::size_t Slot(std::size_t i) const { return (m_first + i) % m_times.size(); }
  std::vector<double> m_times;
  std::array<std::vector<double>, kTraces> m_values;
  std::size_t m_first = 0;
  std::size_t m_size = 0;
};

// The points of a history as CSV: "time_s" and the four legends (an empty
// legend is "traceN"), one row per point.
[[nodiscard]] std::string StripHistoryCsv(const StripHistory& history, const std::array<QString, kTraces>& legends);

class GraphTab final : public QObject {
  Q_OBJECT
 public:
  // Builds the chart and its controls into area (which owns the widgets; the
  // tab must go before it); page is the page's index in
  // the live panel (its channel list). selectedRecord gives the list position
  // of the record selected in the All tree (0 for none).
  GraphTab(QWidget* area, int page, PanelContext& context, std::function<std::size_t()> selectedRecord);
  ~GraphTab() override;
  GraphTab(const GraphTab&) = delete;
  GraphTab& operator=(const GraphTab&) = delete;

  // Legends from the trace slots, x axis automatic, chart cleared.
  void GraphTabRefresh();
  // The legend of one trace (0-3) from a record position; true when it names a leaf.
  bool TraceRefresh(std::size_t position, std::size_t trace);
  // One point per trace at the given time.
  void GraphTabUpdate(std::span<const uint8_t> live, double seconds);
  // Assigns the record selected in the All tree to a trace (0-3).
  void SetTrace(std::size_t trace);
  void ClearGraph();
  void ScaleY();
  void PauseChart(bool paused);
  // The page came on screen (true) or left it.
  void SetShown(bool shown);
  void ShowTraceButtons(bool shown);

  // Saves the chart's picture (PNG) or its points (CSV) through a file dialog.
  void SavePicture();
  void SavePoints();

  [[nodiscard]] const StripHistory& History() const { return m_history; }
  [[nodiscard]] QString Legend(std::size_t trace) const;
  [[nodiscard]] QLineSeries* Series(std::size_t trace) const { return m_series[trace]; }
  [[nodiscard]] QChart* Chart() const { return m_chart; }
  [[nodiscard]] QAbstractAxis* AxisY() const;
  [[nodiscard]] QValueAxis* AxisX() const { return m_axisX; }
  [[nodiscard]] bool Paused() const { return m_paused; }

 private:
  void BuildControls(QWidget* area);
  // Hands the kept points to the drawing and fits the axes to them.
  void Redraw();
  void AppendLast();
  void FitAxes();
  void UseLogAxis(bool log);
  [[nodiscard]] bool ReadLimit(QLineEdit* field, double& value);

  int m_page;
  PanelContext& m_context;
  std::function<std::size_t()> m_selectedRecord;
  StripHistory m_history;
  bool m_paused = false;
  bool m_shown = false;
  bool m_autoscale = true;

  QChart* m_chart = nullptr;
  QChartView* m_view = nullptr;
  std::array<QLineSeries*, kTraces> m_series{};
  QValueAxis* m_axisX = nullptr;
  QValueAxis* m_axisY = nullptr;
  QLogValueAxis* m_axisLog = nullptr;
  QComboBox* m_scale = nullptr;
  QLineEdit* m_yMin = nullptr;
  QLineEdit* m_yMax = nullptr;
  QCheckBox* m_autoscaleBox = nullptr;
  QPushButton* m_pause = nullptr;
  std::array<QPushButton*, kTraces> m_traceButtons{};
  double m_lastYMin = 0.0;
  double m_lastYMax = 100.0;
};

}  // namespace tavomark::ui
