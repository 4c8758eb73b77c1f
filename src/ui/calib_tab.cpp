#include "calib_tab.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <optional>
#include <utility>

#include "config_set.h"
#include "fixed_text.h"
#include "names.h"
#include "platform_services.h"
#include "protocol_engine.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

// The operator's numbers come from the desktop's prompt pop-up.
class PopupPrompt final : public calib::CalibPrompt {
 public:
  explicit PopupPrompt(UiServices& services) : m_services(services) {}
  std::optional<std::string> Ask(const std::string& title, const std::string& message,
                                 std::size_t maxLength) override {
    return m_services.PromptPopup(title, message, maxLength);
  }

 private:
  UiServices& m_services;
};

QPushButton* AddButton(QHBoxLayout* row, QWidget* parent, const char* name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  row->addWidget(button);
  return button;
}

bool NumericColumn(int column) {
  return column == kColValue || column == kColCalc || column == kColLoad || column == kColMeas;
}

}  // namespace

CalibTab::CalibTab(QWidget* area, PanelContext& context, std::function<std::size_t()> selectedChannel)
    : m_context(context), m_selectedChannel(std::move(selectedChannel)) {
  // Everything lives in one widget of the area, so a page made again over the
  // same area replaces this one.
  if (area->layout() == nullptr) new QVBoxLayout(area);
  area->layout()->setContentsMargins(0, 0, 0, 0);
  m_page = new QWidget(area);
  area->layout()->addWidget(m_page);
  auto* layout = new QVBoxLayout(m_page);
  m_table = new QTableWidget(0, kCalibColumns, m_page);
  m_table->setObjectName("TABLE");
  m_table->setHorizontalHeaderLabels({"Value", "Calc", "Unit", "Load[A]", "Channel", "Target", "Meas"});
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  layout->addWidget(m_table, 1);

  auto* buttons = new QHBoxLayout;
  m_calculate = AddButton(buttons, m_page, "cbCalculate", "Calculate");
  m_send = AddButton(buttons, m_page, "cbSend", "Send");
  m_calcSend = AddButton(buttons, m_page, "cbCalcSend", "Calc&&Send");
  buttons->addStretch(1);
  QPushButton* add = AddButton(buttons, m_page, "cbAddCalib", "Add Channel");
  QPushButton* del = AddButton(buttons, m_page, "cbDelCalib", "Delete Channel");
  layout->addLayout(buttons);

  connect(m_calculate, &QPushButton::clicked, this, [this] { SendCalib(CalibButton::Calculate); });
  connect(m_send, &QPushButton::clicked, this, [this] { SendCalib(CalibButton::Send); });
  connect(m_calcSend, &QPushButton::clicked, this, [this] { SendCalib(CalibButton::CalcAndSend); });
  connect(add, &QPushButton::clicked, this, [this] { AddCalib(); });
  connect(del, &QPushButton::clicked, this, [this] { DelCalib(); });

  const StructPack& pack = m_context.dataSet.config.calib;
  m_device = CreateDeviceData(pack, kShortTrailerBytes);
  m_values = CreateValToSendPack(pack);
  EnableButtons(false);
}

CalibTab::~CalibTab() { delete m_page.data(); }

int CalibTab::CalibTabRefresh() {
  if (m_busy) {
    m_refreshPending = true;  // a command waits for the device: rebuilt when it ends
    return 1;
  }
  const StructPack& pack = m_context.dataSet.config.calib;
  if (pack.records.empty()) return 1;
  DisposeDeviceData(m_device);
  m_device = CreateDeviceData(pack, kShortTrailerBytes);
  if (GetPackNumRecords(m_values) != GetStructPackNumRecords(pack) ||
      !CheckPackCompatibility(m_values.header, pack.header)) {
    DisposePack(m_values);
    m_values = CreateValToSendPack(pack);
  }
  const std::filesystem::path path = calib::GetUserCalibPath(m_context.projectDir, pack.header);
  calib::DevGetCalibTable(pack.header, m_calib, path);
  CalibTabCreateTable();
  for (std::size_t k = 0; k < m_calib.header.numRecords; ++k)
    CalibTabRefreshTableRow(Channel(m_context.dataSet.user.Entry(kCalibUserList, k)), static_cast<int>(k));
  return 1;
}

void CalibTab::CalibTabUpdate(int tabIndex, const std::vector<uint8_t>* live) {
  if (tabIndex != kCalibTabIndex || m_busy) return;
  bool connected = false;
  m_context.engine.TlinkGetState(connected);
  if (connected) (void)calib::DevGetCalib(m_values, m_device, m_context.engine);
  CalibTabUpdateTableData();
  CalibTabUpdateTableChannels(live);
}

int CalibTab::CalibTabTerminate() {
  DisposePack(m_values);
  DisposeDeviceData(m_device);
  return 1;
}

void CalibTab::EnableButtons(bool connected) {
  for (QPushButton* button : {m_calculate, m_send, m_calcSend}) button->setEnabled(connected);
}

void CalibTab::CalibTabCreateTable() {
  m_table->setRowCount(0);
  const StructPack& pack = m_context.dataSet.config.calib;
  const std::vector<calib::CalibRow> rows = calib::CreateCalibRows(pack, m_calib);
  m_table->setRowCount(static_cast<int>(rows.size()));
  QStringList labels;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int row = static_cast<int>(k);
    const calib::CalibRecord& record = m_calib.records[k];
    labels << QString::fromStdString(rows[k].label);
    for (int column = 0; column < kCalibColumns; ++column) SetCell(row, column, {});
    SetCell(row, kColUnit, std::string(TextOf(pack.records[static_cast<std::size_t>(rows[k].recordIndex) - 1].unit)));
    char load[32];
    std::snprintf(load, sizeof load, "%3.1f", record.load);
    SetCell(row, kColLoad, load);
    SetCell(row, kColTarget, std::string(TextOf(record.target)));
  }
  m_table->setVerticalHeaderLabels(labels);
}

void CalibTab::CalibTabUpdateTableData() {
  const StructPack& pack = m_context.dataSet.config.calib;
  for (std::size_t k = 0; k < m_calib.header.numRecords; ++k) {
    calib::CalibRecord& row = m_calib.records[k];
    const auto position = static_cast<std::size_t>(row.recordIndex);
    const Record* record = GetStructPackRecord(pack, position);
    const std::span<const uint8_t> item = GetValToSendRecord(std::as_const(m_values), position);
    if (record == nullptr || item.empty()) {
      SetCell(static_cast<int>(k), kColValue, {});
      SetCell(static_cast<int>(k), kColCalc, {});
      continue;
    }
    row.present = ItemValue(item);
    SetCell(static_cast<int>(k), kColValue, ValToString(*record, row.present));
    SetCell(static_cast<int>(k), kColCalc, ValToString(*record, row.result));
  }
}

void CalibTab::CalibTabUpdateTableChannels(const std::vector<uint8_t>* live) {
  const PackHeader& monitor = m_context.dataSet.config.monitor.header;
  for (std::size_t k = 0; k < m_calib.header.numRecords; ++k) {
    const uint32_t entry = m_context.dataSet.user.Entry(kCalibUserList, k);
    if (entry == 0) continue;
    const Record* channel = Channel(entry);
    double value = 0.0;
    if (live == nullptr || channel == nullptr ||
        MemoryByteToVal(*channel, value, *live, monitor.bigEndianMode, monitor.swapDataBlock) != 1) {
      SetCell(static_cast<int>(k), kColMeas, {});
      continue;
    }
    m_calib.records[k].measure = value;
    SetCell(static_cast<int>(k), kColMeas, ValToString(*channel, value));
  }
}

void CalibTab::CalibTabRefreshTableRow(const Record* channel, int row) {
  if (channel == nullptr) {
    SetCell(row, kColChannel, {});
  } else if (channel->bitSize == 0) {
    SetCell(row, kColChannel, std::string(TextOf(channel->varName)) + "[" + std::string(TextOf(channel->unit)) + "]");
  }
  SetCell(row, kColMeas, {});
  m_table->setCurrentCell(row, kColChannel);
}

void CalibTab::AddCalib() {
  const int row = CurrentRow();
  const std::size_t position = m_selectedChannel ? m_selectedChannel() : 0;
  if (row < 0 || position == 0) return;
  const Record* channel = Channel(static_cast<uint32_t>(position));
  if (channel == nullptr) return;
  m_context.dataSet.user.SetEntry(kCalibUserList, static_cast<std::size_t>(row), static_cast<uint32_t>(position));
  CalibTabRefreshTableRow(channel, row);
  SaveChannels();
}

void CalibTab::DelCalib() {
  const int row = CurrentRow();
  if (row < 0) return;
  m_context.dataSet.user.SetEntry(kCalibUserList, static_cast<std::size_t>(row), 0);
  SetCell(row, kColChannel, {});
  SetCell(row, kColMeas, {});
  m_table->setCurrentCell(row, kColChannel);
  SaveChannels();
}

void CalibTab::SendCalib(CalibButton button) {
  const int row = CurrentRow();
  if (row < 0 || m_busy) return;
  m_busy = true;
  BusyCursor busy;
  const auto k = static_cast<std::size_t>(row);
  std::optional<std::string> failure;
  if (button != CalibButton::Send) {
    PopupPrompt prompt(m_context.services);
    const int rc = calib::DevCalcCalib(m_calib, k, prompt);
    if (rc < 0) failure = "Invalid formula";
    if (rc <= 0) button = CalibButton::Calculate;
  }
  if (button != CalibButton::Calculate) {
    // The whole block goes to the device: it is read first, so that the other
    // parameters are written back as the device holds them, never as stale
    // or default values.
    const calib::CalibRecord& record = m_calib.records[k];
    if (calib::DevGetCalib(m_values, m_device, m_context.engine) != calib::kCalibOk ||
        calib::DevSetCalibValue(m_context.dataSet.config.calib, m_values, m_device, record.recordIndex, record.result,
                                m_context.engine) != calib::kCalibOk)
      failure = "Communication error";
  }
  CalibTabUpdateTableData();
  m_busy = false;
  if (failure) m_context.services.MessagePopup("Error", *failure);
  if (std::exchange(m_refreshPending, false)) CalibTabRefresh();
}

int CalibTab::CurrentRow() const {
  const int row = m_table->currentRow();
  return row >= 0 && row < static_cast<int>(m_calib.header.numRecords) ? row : -1;
}

const Record* CalibTab::Channel(uint32_t position) const {
  if (position == 0) return nullptr;
  const Record* record = GetStructPackRecord(m_context.dataSet.config.monitor, position);
  return record != nullptr && record->IsLeaf() ? record : nullptr;
}

void CalibTab::SetCell(int row, int column, const std::string& text) {
  QTableWidgetItem* item = m_table->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    const Qt::Alignment side = NumericColumn(column) ? Qt::AlignRight : Qt::AlignLeft;
    item->setTextAlignment(side | Qt::AlignVCenter);
    m_table->setItem(row, column, item);
  }
  item->setText(QString::fromStdString(text));
}

void CalibTab::SaveChannels() {
  UserConfSet& user = m_context.dataSet.user;
  if (auto saved = SaveUserConfSet(GetUserConfPath(m_context.projectDir, user.header), user); !saved)
    m_context.services.MessagePopup("Save Config", "Can't save the user configuration", saved.message());
}

}  // namespace tavomark::ui
