#include "graph_tab.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "atomic_file.h"
#include "child_panel.h"
#include "config_set.h"
#include "live_panel.h"
#include "live_recording.h"
#include "platform_services.h"
#include "strict_number.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

constexpr const char* kScaleTitle = "Chart Scale";
constexpr const char* kExportTitle = "Chart Export";

QString NameOf(const Record& record) {
  return QString::fromLatin1(record.varName, static_cast<int>(strnlen(record.varName, sizeof record.varName)));
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

Result<void> WriteBytes(const std::filesystem::path& path, const QByteArray& bytes) {
  return SaveFileAtomically(path, [&](std::FILE* file) {
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file) ==
           static_cast<std::size_t>(bytes.size());
  });
}

}  // namespace

StripHistory::StripHistory(std::size_t capacity) : m_times(std::max<std::size_t>(capacity, 1)) {
  for (auto& values : m_values) values.resize(m_times.size());
}

void StripHistory::Add(double seconds, const std::array<double, kTraces>& values) {
  std::size_t slot = 0;
  if (m_size < m_times.size()) {
    slot = Slot(m_size);
    ++m_size;
  } else {
    slot = m_first;
    m_first = (m_first + 1) % m_times.size();
  }
  m_times[slot] = seconds;
  for (std::size_t trace = 0; trace < kTraces; ++trace) m_values[trace][slot] = values[trace];
}

void StripHistory::Clear() {
  m_first = 0;
  m_size = 0;
}

std::string StripHistoryCsv(const StripHistory& history, const std::array<QString, kTraces>& legends) {
  std::string csv = "time_s";
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    const std::string legend = legends[trace].toStdString();
    csv += ',' + CsvField(legend.empty() ? "trace" + std::to_string(trace + 1) : legend);
  }
  csv += '\n';
  for (std::size_t i = 0; i < history.Size(); ++i) {
    csv += Number(history.Time(i));
    for (std::size_t trace = 0; trace < kTraces; ++trace) csv += ',' + Number(history.Value(trace, i));
    csv += '\n';
  }
  return csv;
}

GraphTab::GraphTab(QWidget* area, int page, PanelContext& context, std::function<std::size_t()> selectedRecord)
    : m_page(page), m_context(context), m_selectedRecord(std::move(selectedRecord)) {
  BuildControls(area);
  ShowTraceButtons(false);
}

GraphTab::~GraphTab() = default;

void GraphTab::BuildControls(QWidget* area) {
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* controls = new QHBoxLayout();
  m_scale = new QComboBox(area);
  m_scale->setObjectName("Scale");
  m_scale->addItems({"Linear Scale", "Log Scale"});
  m_yMin = new QLineEdit("0.00", area);
  m_yMin->setObjectName("Ymin");
  m_yMax = new QLineEdit("100.00", area);
  m_yMax->setObjectName("Ymax");
  for (QLineEdit* field : {m_yMin, m_yMax}) {
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QString(12, QChar('0'))));
  }
  m_autoscaleBox = new QCheckBox("Autoscale Y", area);
  m_autoscaleBox->setObjectName("AUTOSCALE_Y");
  m_autoscaleBox->setChecked(true);
  m_pause = new QPushButton("&PAUSE", area);
  m_pause->setObjectName("PAUSE");
  m_pause->setCheckable(true);
  auto* clear = new QPushButton("CLEAR", area);
  clear->setObjectName("cbClear");
  auto* savePicture = new QPushButton("Save Picture...", area);
  savePicture->setObjectName("cbSavePicture");
  auto* savePoints = new QPushButton("Save Points...", area);
  savePoints->setObjectName("cbSavePoints");

  controls->addWidget(m_scale);
  controls->addWidget(new QLabel("Ymin", area));
  controls->addWidget(m_yMin);
  controls->addWidget(new QLabel("Ymax", area));
  controls->addWidget(m_yMax);
  controls->addWidget(m_autoscaleBox);
  controls->addStretch(1);
  controls->addWidget(m_pause);
  controls->addWidget(clear);
  controls->addWidget(savePicture);
  controls->addWidget(savePoints);
  layout->addLayout(controls);

  m_chart = new QChart();
  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_axisX = new QValueAxis(m_chart);
  m_axisX->setTitleText("s");
  m_axisX->setLabelFormat("%.1f");
  m_axisY = new QValueAxis(m_chart);
  m_axisY->setRange(m_lastYMin, m_lastYMax);
  m_chart->addAxis(m_axisX, Qt::AlignBottom);
  m_chart->addAxis(m_axisY, Qt::AlignLeft);
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    m_series[trace] = new QLineSeries(m_chart);
    m_chart->addSeries(m_series[trace]);
    m_series[trace]->attachAxis(m_axisX);
    m_series[trace]->attachAxis(m_axisY);
  }
  m_view = new QChartView(m_chart, area);
  m_view->setObjectName("CHART");
  m_view->setRenderHint(QPainter::Antialiasing, false);
  m_view->setMinimumHeight(160);
  layout->addWidget(m_view, 1);

  auto* traces = new QHBoxLayout();
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    const QString label = QString("TRACE%1").arg(trace + 1);
    m_traceButtons[trace] = new QPushButton(label, area);
    m_traceButtons[trace]->setObjectName(QString("cbTrace%1").arg(trace + 1));
    m_traceButtons[trace]->setToolTip("Show the record selected in the All tree as this trace");
    traces->addWidget(m_traceButtons[trace]);
    connect(m_traceButtons[trace], &QPushButton::clicked, this, [this, trace] { SetTrace(trace); });
  }
  traces->addStretch(1);
  layout->addLayout(traces);

  connect(m_scale, &QComboBox::currentIndexChanged, this, [this] { ScaleY(); });
  connect(m_yMin, &QLineEdit::editingFinished, this, [this] { ScaleY(); });
  connect(m_yMax, &QLineEdit::editingFinished, this, [this] { ScaleY(); });
  connect(m_autoscaleBox, &QCheckBox::toggled, this, [this] { ScaleY(); });
  connect(m_pause, &QPushButton::toggled, this, [this](bool on) { PauseChart(on); });
  connect(clear, &QPushButton::clicked, this, [this] { ClearGraph(); });
  connect(savePicture, &QPushButton::clicked, this, [this] { SavePicture(); });
  connect(savePoints, &QPushButton::clicked, this, [this] { SavePoints(); });
}

QAbstractAxis* GraphTab::AxisY() const {
  if (m_axisLog != nullptr) return m_axisLog;
  return m_axisY;
}

QString GraphTab::Legend(std::size_t trace) const { return trace < kTraces ? m_series[trace]->name() : QString(); }

void GraphTab::ShowTraceButtons(bool shown) {
  for (QPushButton* button : m_traceButtons) button->setVisible(shown);
}

bool GraphTab::TraceRefresh(std::size_t position, std::size_t trace) {
  if (trace >= kTraces) return false;
  const Record* record = GetStructPackRecord(m_context.dataSet.config.monitor, position);
  const bool named = position > 0 && record != nullptr && record->IsLeaf();
  m_series[trace]->setName(named ? NameOf(*record) : QString());
  return named;
}

void GraphTab::GraphTabRefresh() {
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    const auto slot = static_cast<int32_t>(m_context.dataSet.user.Entry(static_cast<std::size_t>(m_page), trace));
    (void)TraceRefresh(slot > 0 ? static_cast<std::size_t>(slot) : 0, trace);
  }
  ClearGraph();
}

void GraphTab::GraphTabUpdate(std::span<const uint8_t> live, double seconds) {
  const StructPack& monitor = m_context.dataSet.config.monitor;
  std::array<double, kTraces> values{};
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    const auto slot = static_cast<int32_t>(m_context.dataSet.user.Entry(static_cast<std::size_t>(m_page), trace));
    const Record* record = slot > 0 ? GetStructPackRecord(monitor, static_cast<std::size_t>(slot)) : nullptr;
    if (record == nullptr) continue;
    double value = 0.0;
    if (MemoryByteToVal(*record, value, live, monitor.header.bigEndianMode, monitor.header.swapDataBlock))
      values[trace] = value;
  }
  m_history.Add(seconds, values);
  if (m_shown && !m_paused) AppendLast();
}

// The drawing follows the history by one point.
void GraphTab::AppendLast() { Redraw(); }

void GraphTab::FitAxes() {
  const std::size_t count = m_history.Size();
  if (count == 0) return;
  // Every change of an axis lays out every series again: the x axis moves on
  // in steps of a twentieth of the span shown, so most ticks leave it alone.
  const double first = m_history.Time(0);
  const double last = m_history.Time(count - 1);
  const double span = std::max(last - first, 1.0);
  if (last > m_axisX->max() || first < m_axisX->min() - span || m_axisX->max() - last > span / 10) {
    const double step = span / 20;
    m_axisX->setRange(first, std::ceil(last / step) * step + step);
  }
  if (!m_autoscale) return;
  const bool log = m_axisLog != nullptr;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    for (std::size_t i = 0; i < count; ++i) {
      const double value = m_history.Value(trace, i);
      if (log && value <= 0) continue;
      low = std::min(low, value);
      high = std::max(high, value);
    }
  }
  if (low > high) return;
  // The y axis changes only when a point leaves it or the points use less
  // than half of it.
  if (log) {
    if (low < m_axisLog->min() || high > m_axisLog->max() || high < m_axisLog->max() / 4)
      m_axisLog->setRange(low / 1.2, high * 1.2);
  } else {
    const double margin = high > low ? (high - low) * 0.05 : std::max(std::fabs(high) * 0.05, 1.0);
    const double shown = m_axisY->max() - m_axisY->min();
    if (low < m_axisY->min() || high > m_axisY->max() || (high - low + 2 * margin) < shown / 2)
      m_axisY->setRange(low - margin, high + margin);
  }
}

void GraphTab::Redraw() {
  const std::size_t count = m_history.Size();
  for (std::size_t trace = 0; trace < kTraces; ++trace) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) points.append(QPointF(m_history.Time(i), m_history.Value(trace, i)));
    m_series[trace]->replace(points);
  }
  FitAxes();
}

void GraphTab::SetTrace(std::size_t trace) {
  if (trace >= kTraces) return;
  const std::size_t position = m_selectedRecord ? m_selectedRecord() : 0;
  const Record* record = GetStructPackRecord(m_context.dataSet.config.monitor, position);
  if (position > 0 && record != nullptr && record->IsLeaf()) {
    m_series[trace]->setName(NameOf(*record));
    m_context.dataSet.user.SetEntry(static_cast<std::size_t>(m_page), trace, static_cast<uint32_t>(position));
  } else {
    m_series[trace]->setName(QString());
  }
  SaveUserChannels(m_context);
}

void GraphTab::ClearGraph() {
  m_history.Clear();
  for (QLineSeries* series : m_series) series->clear();
}

bool GraphTab::ReadLimit(QLineEdit* field, double& value) {
  std::string error;
  if (ParseStrictNumber(field->text().toStdString(), field->objectName().toStdString(), value, error)) return true;
  m_context.services.MessagePopup(kScaleTitle, error);
  return false;
}

void GraphTab::ScaleY() {
  UseLogAxis(m_scale->currentIndex() == 1);
  if (m_autoscaleBox->isChecked()) {
    m_autoscale = true;
  } else {
    double low = 0.0;
    double high = 0.0;
    const bool minRead = ReadLimit(m_yMin, low);
    const bool maxRead = ReadLimit(m_yMax, high);
    if (!minRead) m_yMin->setText(QString::number(m_lastYMin, 'f', 2));
    if (!maxRead) m_yMax->setText(QString::number(m_lastYMax, 'f', 2));
    // Limits that make no range leave the scaling as it was.
    if (minRead && maxRead && high > low) {
      m_autoscale = false;
      m_lastYMin = low;
      m_lastYMax = high;
      if (m_axisLog != nullptr)
        m_axisLog->setRange(std::max(low, 1e-9), high);
      else
        m_axisY->setRange(low, high);
    }
  }
  if (m_shown && !m_paused) Redraw();
}

// The log axis replaces the linear one on the chart (and back); the series
// move with it.
void GraphTab::UseLogAxis(bool log) {
  if (log == (m_axisLog != nullptr)) return;
  QAbstractAxis* old = AxisY();
  const double low = m_autoscale ? 1.0 : std::max(m_lastYMin, 1e-9);
  const double high = m_autoscale ? 1000.0 : m_lastYMax;
  QAbstractAxis* fresh = nullptr;
  if (log) {
    m_axisLog = new QLogValueAxis(m_chart);
    m_axisLog->setRange(low, std::max(high, low * 10));
    fresh = m_axisLog;
  } else {
    m_axisLog = nullptr;
    m_axisY = new QValueAxis(m_chart);
    m_axisY->setRange(m_lastYMin, m_lastYMax);
    fresh = m_axisY;
  }
  m_chart->addAxis(fresh, Qt::AlignLeft);
  for (QLineSeries* series : m_series) {
    series->detachAxis(old);
    series->attachAxis(fresh);
  }
  m_chart->removeAxis(old);
  old->deleteLater();
  if (log) m_axisY = nullptr;
}

void GraphTab::PauseChart(bool paused) {
  if (m_pause->isChecked() != paused) m_pause->setChecked(paused);
  m_paused = paused;
  // What came while paused is kept and shown now.
  if (!paused && m_shown) Redraw();
}

void GraphTab::SetShown(bool shown) {
  m_shown = shown;
  if (shown && !m_paused) Redraw();
}

void GraphTab::SavePicture() {
  std::string path;
  if (!SelectPath(m_context.services, "Save Chart Picture", path, "*.png", true)) return;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Result<void> saved = Fail("the picture could not be made");
  if (m_view->grab().save(&buffer, "PNG")) saved = WriteBytes(path, bytes);
  if (!saved) m_context.services.MessagePopup(kExportTitle, "Can't save the picture " + path + ": " + saved.message());
}

void GraphTab::SavePoints() {
  std::string path;
  if (!SelectPath(m_context.services, "Save Chart Points", path, "*.csv", true)) return;
  std::array<QString, kTraces> legends;
  for (std::size_t trace = 0; trace < kTraces; ++trace) legends[trace] = Legend(trace);
  const std::string csv = StripHistoryCsv(m_history, legends);
  if (auto saved = WriteBytes(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size()))); !saved)
    m_context.services.MessagePopup(kExportTitle, "Can't save the points " + path + ": " + saved.message());
}

}  // namespace tavomark::ui
