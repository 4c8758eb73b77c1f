#include "traffic_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <string>

#include "atomic_file.h"
#include "platform_services.h"
#include "protocol_engine.h"

namespace tavomark::ui {

namespace {

constexpr int kPollMs = 100;
constexpr std::size_t kHeldLimit = kMaxTrafficRows;
constexpr uint8_t kCommands[] = {1, 4, 5, 6, 8, 10, 11, 14};

const QFont& TabularFont() {
  static const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  return font;
}

QString Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size() * 3));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += QLatin1Char(' ');
    text += QLatin1Char(kDigits[bytes[i] >> 4]);
    text += QLatin1Char(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

QString CommandText(uint8_t cmd) {
  const std::string name = link::TraceCommandName(cmd);
  return QString::fromStdString(name.starts_with("cmd ") ? name : name + " (" + std::to_string(cmd) + ")");
}

const char* ChecksumText(link::ChecksumState state) {
  switch (state) {
    case link::ChecksumState::kOk: return "ok";
    case link::ChecksumState::kBad: return "bad";
    case link::ChecksumState::kNotChecked: return "-";
  }
  return "-";
}

}  // namespace

// ---- model -----------------------------------------------------------------

int TrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

const link::TraceFrame& TrafficModel::Frame(int row) const { return m_frames[m_shown[static_cast<std::size_t>(row)]]; }

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const link::TraceFrame& f = Frame(index.row());
  const int column = index.column();
  const bool number = column == kTime || column == kDevice || column == kLength;
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
  if (role == Qt::FontRole && (number || column == kBytes)) return TabularFont();
  if (role != Qt::DisplayRole) return {};
  switch (column) {
    case kTime: return QString::number(f.ms, 'f', 3);
    case kDirection: return f.direction == link::TraceDirection::kSent ? "TX" : "RX";
    case kCommand: return CommandText(f.cmd);
    case kDevice: return QString::number(f.device);
    case kLength: return QString::number(f.len);
    case kChecksum: return ChecksumText(f.checksum);
    case kOutcome: return link::TraceOutcomeName(f.outcome);
    case kBytes: return Hex(f.Bytes());
    default: return {};
  }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeads[] = {"Time (ms)", "Dir", "Command", "Device", "Length", "Checksum", "Outcome", "Bytes"};
  return section >= 0 && section < kColumns ? kHeads[section] : QVariant();
}

bool TrafficModel::Passes(const link::TraceFrame& frame) const {
  return (!m_cmd || frame.cmd == *m_cmd) && (!m_outcome || frame.outcome == *m_outcome);
}

void TrafficModel::Refilter() {
  m_shown.clear();
  for (std::size_t i = 0; i < m_frames.size(); ++i)
    if (Passes(m_frames[i])) m_shown.push_back(i);
}

void TrafficModel::Append(std::vector<link::TraceFrame> frames) {
  if (frames.empty()) return;
  const std::size_t total = m_frames.size() + frames.size();
  if (total > kMaxTrafficRows) {
    // The oldest rows go: a full reset is cheaper than removing rows one by one.
    beginResetModel();
    const std::size_t drop = std::min(m_frames.size(), total - kMaxTrafficRows);
    m_frames.erase(m_frames.begin(), m_frames.begin() + static_cast<std::ptrdiff_t>(drop));
    m_frames.insert(m_frames.end(), std::make_move_iterator(frames.begin()), std::make_move_iterator(frames.end()));
    if (m_frames.size() > kMaxTrafficRows)
      m_frames.erase(m_frames.begin(), m_frames.end() - static_cast<std::ptrdiff_t>(kMaxTrafficRows));
    Refilter();
    endResetModel();
    return;
  }
  std::vector<std::size_t> added;
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (Passes(frames[i])) added.push_back(m_frames.size() + i);
  m_frames.insert(m_frames.end(), std::make_move_iterator(frames.begin()), std::make_move_iterator(frames.end()));
  if (added.empty()) return;
  const int first = static_cast<int>(m_shown.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  m_shown.insert(m_shown.end(), added.begin(), added.end());
  endInsertRows();
}

void TrafficModel::Clear() {
  beginResetModel();
  m_frames.clear();
  m_shown.clear();
  endResetModel();
}

void TrafficModel::SetFilter(std::optional<uint8_t> cmd, std::optional<link::TraceOutcome> outcome) {
  beginResetModel();
  m_cmd = cmd;
  m_outcome = outcome;
  Refilter();
  endResetModel();
}

// ---- window ----------------------------------------------------------------

TrafficWindow::TrafficWindow(link::ProtocolEngine& engine, UiServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_engine(engine), m_services(services) {
  setObjectName("TRAFFIC");
  setWindowTitle(kTrafficTitle);
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout();
  layout->addLayout(bar);

  m_commands = new QComboBox(this);
  m_commands->setObjectName("RING_COMMAND");
  m_commands->addItem("All commands");
  for (uint8_t cmd : kCommands)
    m_commands->addItem(CommandText(cmd), cmd);
  m_outcomes = new QComboBox(this);
  m_outcomes->setObjectName("RING_OUTCOME");
  m_outcomes->addItem("All outcomes");
  for (std::size_t i = 0; i < link::kTraceOutcomes; ++i)
    m_outcomes->addItem(link::TraceOutcomeName(static_cast<link::TraceOutcome>(i)), static_cast<int>(i));
  m_pause = new QCheckBox("Pause", this);
  m_pause->setObjectName("CBpause");
  auto* clear = new QPushButton("Clear", this);
  clear->setObjectName("CBclear");
  auto* save = new QPushButton(QString::fromUtf8("Save\u2026"), this);
  save->setObjectName("CBsave");
  m_status = new QLabel(this);
  m_status->setObjectName("TXT_STATUS");
  bar->addWidget(new QLabel("Command:", this));
  bar->addWidget(m_commands);
  bar->addWidget(new QLabel("Outcome:", this));
  bar->addWidget(m_outcomes);
  bar->addWidget(m_pause);
  bar->addStretch(1);
  bar->addWidget(m_status);
  bar->addWidget(clear);
  bar->addWidget(save);

  m_table = new QTableView(this);
  m_table->setObjectName("TABLE_TRAFFIC");
  m_table->setModel(&m_model);
  m_table->verticalHeader()->hide();
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_table, 1);

  connect(m_commands, &QComboBox::currentIndexChanged, this, [this] { ApplyFilters(); });
  connect(m_outcomes, &QComboBox::currentIndexChanged, this, [this] { ApplyFilters(); });
  connect(m_pause, &QCheckBox::toggled, this, [this](bool on) { SetPaused(on); });
  connect(clear, &QPushButton::clicked, this, [this] {
    m_model.Clear();
    m_held.clear();
  });
  connect(save, &QPushButton::clicked, this, [this] { (void)SaveText(); });

  m_timer = new QTimer(this);
  m_timer->setInterval(kPollMs);
  connect(m_timer, &QTimer::timeout, this, [this] { Poll(); });
  resize(900, 420);
}

TrafficWindow::~TrafficWindow() { m_engine.TlinkSetTracing(false); }

void TrafficWindow::showEvent(QShowEvent* event) {
  m_engine.TlinkSetTracing(true);
  m_timer->start();
  QWidget::showEvent(event);
}

void TrafficWindow::hideEvent(QHideEvent* event) {
  // Closed, the trace costs the engine nothing but a pointer test per frame.
  m_engine.TlinkSetTracing(false);
  m_timer->stop();
  Poll();
  QWidget::hideEvent(event);
}

void TrafficWindow::Poll() {
  std::vector<link::TraceFrame> frames = m_engine.TlinkTrace().Drain();
  m_dropped += m_engine.TlinkTrace().TakeDropped();
  if (m_pause->isChecked()) {
    m_held.insert(m_held.end(), std::make_move_iterator(frames.begin()), std::make_move_iterator(frames.end()));
    if (m_held.size() > kHeldLimit) {
      m_dropped += m_held.size() - kHeldLimit;
      m_held.erase(m_held.begin(), m_held.end() - static_cast<std::ptrdiff_t>(kHeldLimit));
    }
  } else {
    const bool atEnd = m_table->verticalScrollBar() == nullptr || m_table->verticalScrollBar()->value() ==
                                                                      m_table->verticalScrollBar()->maximum();
    m_model.Append(std::move(frames));
    if (atEnd) m_table->scrollToBottom();
  }
  QString status = QString::number(m_model.Stored()) + " frames";
  if (!m_held.empty()) status += ", " + QString::number(m_held.size()) + " held";
  if (m_dropped != 0) status += ", " + QString::number(m_dropped) + " lost";
  m_status->setText(status);
}

void TrafficWindow::SetPaused(bool paused) {
  if (m_pause->isChecked() != paused) {
    m_pause->setChecked(paused);  // comes back here through toggled
    return;
  }
  if (!paused) {
    m_model.Append(std::move(m_held));
    m_held.clear();
  }
}

void TrafficWindow::ApplyFilters() {
  std::optional<uint8_t> cmd;
  if (m_commands->currentIndex() > 0) cmd = static_cast<uint8_t>(m_commands->currentData().toInt());
  std::optional<link::TraceOutcome> outcome;
  if (m_outcomes->currentIndex() > 0) outcome = static_cast<link::TraceOutcome>(m_outcomes->currentData().toInt());
  m_model.SetFilter(cmd, outcome);
}

bool TrafficWindow::SaveText() {
  std::string chosen = "traffic.txt";
  if (!SelectPath(m_services, "Save Traffic", chosen, "*.txt", true)) return false;
  const std::optional<std::string> path = chosen;
  std::string text = link::TraceHeaderLine() + "\n";
  for (int row = 0; row < m_model.rowCount(); ++row) text += link::FormatTraceLine(m_model.Frame(row)) + "\n";
  const auto saved = SaveFileAtomically(
      *path, [&text](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); });
  if (!saved) m_services.MessagePopup("Save Traffic", "Can't write " + *path + ": " + saved.message());
  return saved.ok();
}

TrafficWindow* ShowTraffic(QWidget* parent, link::ProtocolEngine& engine, UiServices& services) {
  static QPointer<TrafficWindow> window;
  if (!window || window->parentWidget() != parent) window = new TrafficWindow(engine, services, parent);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace tavomark::ui
