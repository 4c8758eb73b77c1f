#include "live_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>

#include <algorithm>
#include <optional>
#include <utility>

#include "calib_tab.h"
#include "graph_tab.h"
#include "names.h"
#include "platform_services.h"
#include "protocol_engine.h"
#include "settings.h"
#include "struct_tree_model.h"
#include "ui_live_panel.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

constexpr int kColumnValue = 1;
constexpr int kColumnUnit = 2;


std::string UnitText(const Record& record) {
  return std::string(record.unit, strnlen(record.unit, sizeof record.unit));
}

}  // namespace

LivePanel::LivePanel(QWidget* parent, PanelContext& context)
    : m_context(context),
      m_form(std::make_unique<Ui::LivePanel>()),
      m_treeModel(std::make_unique<StructTreeModel>()),
      m_widget(parent) {
  m_form->setupUi(&m_widget);
  SetUpPages();
  QWidget* const chartAreas[] = {m_form->chartArea, m_form->chartArea2, m_form->chartArea3};
  for (int i = 0; i < 3; ++i)
    m_graphs[static_cast<std::size_t>(i)] =
        std::make_unique<GraphTab>(chartAreas[i], kTabGraph1 + i, context, [this] { return SelectedTreePosition(); });
  m_calibTab = std::make_unique<CalibTab>(m_form->calibArea, context, [this] { return SelectedTreePosition(); });
  for (int page = 0; page < kLivePages; ++page) AddForcedButtons(page);
  SetUpRecordControls();

  // The tree, highlight and chart pages keep the two reset buttons of the
  // device's counters and error list hidden; the info and calibration pages
  // hide only the counter reset.
  for (int page : {kTabAll, kTabHilight, kTabGraph1, kTabGraph2, kTabGraph3}) {
    m_forced[static_cast<std::size_t>(page)][3]->hide();
    m_forced[static_cast<std::size_t>(page)][4]->hide();
  }
  for (int page : {kTabCalib, kTabInfo}) m_forced[static_cast<std::size_t>(page)][3]->hide();

  const bool editChannels = m_context.settings.liveEditChannels != 0;
  const bool showCalib = m_context.settings.liveShowCalib != 0;
  m_form->cbEditChannels->setChecked(editChannels);
  m_form->cbShowCalib->setChecked(showCalib);
  ShowChannelButtons(editChannels);
  m_form->TAB->setTabVisible(kTabCalib, showCalib);
  m_form->TAB->setCurrentIndex(kTabHilight);

  connect(m_form->CbCollapse, &QPushButton::clicked, this, [this] { Collapse(); });
  connect(m_form->CbExpande, &QPushButton::clicked, this, [this] { Expande(); });
  connect(m_form->cbAdd, &QPushButton::clicked, this, [this] { AddChannel(); });
  connect(m_form->cbDel, &QPushButton::clicked, this, [this] { DelChannel(); });
  connect(m_form->cbMoveUp, &QPushButton::clicked, this, [this] { MoveUp(); });
  connect(m_form->cbMoveDw, &QPushButton::clicked, this, [this] { MoveDw(); });
  connect(m_form->cbAddInfo, &QPushButton::clicked, this, [this] { AddInfo(); });
  connect(m_form->cbDelInfo, &QPushButton::clicked, this, [this] { DelInfo(); });
  connect(m_form->cbEditChannels, &QCheckBox::toggled, this, [this](bool on) { EditChannels(on); });
  connect(m_form->cbShowCalib, &QCheckBox::toggled, this, [this](bool on) { ShowCalibration(on); });
  connect(m_form->TAB, &QTabWidget::currentChanged, this, [this] { ShowGraphs(); });
  for (int table = 0; table < 3; ++table) {
    QTableWidget* widget = HilightTableWidget(table);
    connect(widget, &QTableWidget::currentCellChanged, this, [this, table] { TableChange(table); });
    connect(widget, &QTableWidget::cellPressed, this, [this, table] { TableChange(table); });
  }

  m_widget.installEventFilter(this);
  for (QWidget* child : m_widget.findChildren<QWidget*>()) child->installEventFilter(this);
  LiveUpdateButton(false);
}

LivePanel::~LivePanel() = default;

QWidget* LivePanel::Widget() { return &m_widget; }

QTreeView* LivePanel::Tree() const { return m_form->TREE; }

QTableWidget* LivePanel::HilightTableWidget(int table) const {
  switch (table) {
    case 0:
      return m_form->TABLE1;
    case 1:
      return m_form->TABLE2;
    default:
      return m_form->TABLE3;
  }
}

QTableWidget* LivePanel::InfoTable() const { return m_form->TABLE_INFO; }

StructPack& LivePanel::Monitor() const { return m_context.dataSet.config.monitor; }

void LivePanel::SetUpPages() {
  // Names shared by several pages are told apart by the page they sit on.
  m_form->cbAddInfo->setObjectName("cbAdd");
  m_form->cbDelInfo->setObjectName("cbDel");
  m_form->TABLE_INFO->setObjectName("TABLE");

  QTreeView* tree = m_form->TREE;
  m_treeModel->SetColumns({"Name", "Value", "Unit"});
  m_treeModel->SetCellText([this](const Record& record, std::size_t position, int column) {
    if (column == kColumnUnit) return UnitText(record);
    if (column != kColumnValue || position == 0 || position > m_treeText.size()) return std::string();
    return m_treeText[position - 1];
  });
  m_treeModel->SetAlignment(kColumnValue, Qt::AlignRight | Qt::AlignVCenter);
  m_treeModel->SetFont(kColumnValue, QFontDatabase::systemFont(QFontDatabase::FixedFont));
  tree->setModel(m_treeModel.get());
  // Widths are fitted once per rebuild: sizing to contents on every change
  // would measure every row of the tree on every tick.
  tree->header()->setStretchLastSection(false);
  tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  tree->header()->setSectionResizeMode(kColumnValue, QHeaderView::Interactive);
  tree->header()->setSectionResizeMode(kColumnUnit, QHeaderView::Interactive);

  const QStringList valueColumns{"Name", "Value", "Unit"};
  SetUpTable(m_form->TABLE1, kHilightRows, valueColumns);
  SetUpTable(m_form->TABLE2, kHilightRows, valueColumns);
  QStringList bitColumns{"Name"};
  for (int bit = 0; bit < kBitCells; ++bit) bitColumns << QString::number(bit);
  SetUpTable(m_form->TABLE3, 6, bitColumns);
  m_form->TABLE3->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_form->TABLE3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_form->TABLE3->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  m_form->TABLE3->setFixedHeight(m_form->TABLE3->horizontalHeader()->sizeHint().height() +
                                 6 * m_form->TABLE3->verticalHeader()->defaultSectionSize() + 4);
  SetUpTable(m_form->TABLE_INFO, kInfoRows, valueColumns);
  for (QLabel* line : m_form->errorListBox->findChildren<QLabel*>())
    line->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

// Column 0 holds the row's label; cells are not edited.
void LivePanel::SetUpTable(QTableWidget* table, int rows, const QStringList& columns) {
  table->setColumnCount(static_cast<int>(columns.size()));
  table->setRowCount(rows);
  table->setHorizontalHeaderLabels(columns);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  QHeaderView* header = table->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < table->columnCount(); ++column) {
      auto* cell = new QTableWidgetItem();
      if (column == kColumnValue && columns.size() == 3) {
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        cell->setFont(fixed);
      }
      if (columns.size() > 3 && column > 0) cell->setTextAlignment(Qt::AlignCenter);
      table->setItem(row, column, cell);
    }
  }
}

void LivePanel::AddForcedButtons(int page) {
  QWidget* pageWidget = m_form->TAB->widget(page);
  auto* row = new QHBoxLayout();
  auto& buttons = m_forced[static_cast<std::size_t>(page)];
  for (std::size_t i = 0; i < kForcedFunctions.size(); ++i) {
    const ForcedFunction& function = kForcedFunctions[i];
    auto* button = new QPushButton(QString::fromLatin1(function.label), pageWidget);
    button->setObjectName(QString::fromLatin1(function.name));
    const uint8_t value = function.value;
    connect(button, &QPushButton::clicked, this, [this, value] { SetForcedFunction(value); });
    row->addWidget(button);
    buttons[i] = button;
  }
  row->addStretch(1);
  if (auto* layout = qobject_cast<QBoxLayout*>(pageWidget->layout())) layout->addLayout(row);
}

bool LivePanel::LivePanelEnable(bool flag) {
  m_shown = flag;
  ShowGraphs();
  if (!flag) {
    m_active = false;
    return true;
  }
  // A command that waits keeps the panel inactive until it ends.
  if (m_busy) return true;
  StructPack& monitor = Monitor();
  if (monitor.header.isNew || !m_built) {
    monitor.header.isNew = 0;
    LivePanelRefresh();
  } else {
    CalibTabUpdate(kTabCalib, nullptr);
  }
  ShowGraphs();
  m_active = true;
  return true;
}

bool LivePanel::LivePanelTerminate() {
  m_active = false;
  StopRecording();
  StopReplay();
  m_calibTab->CalibTabTerminate();
  m_treeModel->Clear();
  m_treeText.clear();
  return true;
}

int LivePanel::LivePanelUpdate(bool connected) {
  LiveUpdateButton(connected);
  // A replay feeds the pages itself; the device is not asked meanwhile.
  if (m_replay.active) return 1;
  // A value file of another configuration arrived while the page was shown.
  if (m_active && Monitor().header.isNew) {
    Monitor().header.isNew = 0;
    LivePanelRefresh();
  }
  const int page = m_form->TAB->currentIndex();
  std::optional<std::vector<uint8_t>> live;
  if (m_polling) {
    if (connected) {
      // The engine's live size is one byte: a monitor struct beyond it can
      // never match the device's buffer, so it is not asked for.
      const uint16_t size = GetStructByteSize(Monitor());
      if (size != 0 && size <= 0xFF) live = m_context.engine.TlinkGetLiveData(static_cast<uint8_t>(size));
      if (live) {
        LivePagesUpdate(page, *live);
        RecordLive(*live);
      }
    } else {
      m_polling = false;
    }
  }
  if (!m_polling && connected) {
    m_polling = true;
    CalibTabUpdate(page, nullptr);
  }
  InfoTabUpdate(connected, page, live ? &*live : nullptr);
  return 1;
}

void LivePanel::LivePagesUpdate(int page, const std::vector<uint8_t>& live, double seconds) {
  if (seconds < 0) seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
  HilightTabUpdate(page, live);
  GraphTabUpdate(live, seconds);
  TreeTabUpdate(live);
  CalibTabUpdate(page, &live);
}

int LivePanel::LivePanelRefresh() {
  // Rows of another monitor struct would not fit the columns.
  StopRecording();
  StopReplay();
  TreeTabRefresh(kTabAll);
  for (int page : {kTabGraph1, kTabGraph2, kTabGraph3}) GraphTabRefresh(page);
  HilightTabRefresh();
  CalibTabRefresh();
  InfoTabRefresh();
  FitColumns();
  m_form->TAB->setCurrentIndex(kTabHilight);
  m_built = true;
  return 1;
}

// Values are at most a dozen digits in a font whose digits share one width;
// names and units are measured once, here.
void LivePanel::FitColumns() {
  const QFontMetrics digits(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const int valueWidth = digits.horizontalAdvance(QString(13, QChar('0')));
  QTreeView* tree = m_form->TREE;
  int unitWidth = tree->fontMetrics().horizontalAdvance("Unit");
  for (const Record& record : Monitor().records)
    unitWidth = std::max(unitWidth, tree->fontMetrics().horizontalAdvance(QString::fromStdString(UnitText(record))));
  tree->header()->resizeSection(kColumnValue, valueWidth);
  tree->header()->resizeSection(kColumnUnit, unitWidth + 16);
  for (QTableWidget* table : {m_form->TABLE1, m_form->TABLE2, m_form->TABLE_INFO}) {
    table->horizontalHeader()->resizeSection(kColumnValue, valueWidth);
    table->resizeColumnToContents(kColumnUnit);
  }
  for (int column = 1; column <= kBitCells; ++column) m_form->TABLE3->resizeColumnToContents(column);
}

void LivePanel::LiveUpdateButton(bool connected) {
  const int page = m_form->TAB->currentIndex();
  if (page < 0 || page >= kLivePages) return;
  for (QPushButton* button : m_forced[static_cast<std::size_t>(page)]) button->setEnabled(connected);
  if (page == kTabCalib) m_calibTab->EnableButtons(connected);
}

int LivePanel::LiveEvents(QObject*, QEvent* event) const {
  if (m_active) return 0;
  return IsUserInput(event->type()) ? 1 : 0;
}

bool LivePanel::eventFilter(QObject* watched, QEvent* event) {
  if (LiveEvents(watched, event) != 0) return true;
  return QObject::eventFilter(watched, event);
}

// ---- the All page ----------------------------------------------------------

void LivePanel::TreeTabRefresh(int page) {
  if (page >= 0 && page < kLivePages) {
    m_forced[static_cast<std::size_t>(page)][3]->hide();
    m_forced[static_cast<std::size_t>(page)][4]->hide();
  }
  TreeTabRefreshTree(Monitor());
}

void LivePanel::TreeTabRefreshTree(const StructPack& pack) {
  m_treeText.assign(pack.records.size(), std::string());
  (void)StructPopulateTree(*m_treeModel, pack);
  m_form->TREE->expandAll();
}

int LivePanel::TreeTabUpdate(std::span<const uint8_t> live) {
  m_lastTreeItems.clear();
  QTreeView* tree = m_form->TREE;
  const StructPack& monitor = Monitor();
  if (m_treeModel->Pack() != &monitor || m_treeModel->RecordCount() > monitor.records.size()) return 0;
  QModelIndex item = tree->indexAt(QPoint(0, 0));
  if (!item.isValid()) return 0;

  // The rows that fit the viewport from the first one shown.
  const int height = tree->viewport()->height();
  int count = 0;
  for (QModelIndex row = item; row.isValid() && tree->visualRect(row).top() < height; row = tree->indexBelow(row))
    ++count;
  // One row more above: it may be half in view.
  if (m_treeModel->PositionOf(item) - 1 >= 2) {
    const QModelIndex above = tree->indexAbove(item);
    if (above.isValid()) item = above;
  }
  for (int i = 0; i <= count && item.isValid(); ++i) {
    TreeTabUpdateItem(monitor, live, item);
    item = tree->indexBelow(item);
  }
  return 1;
}

int LivePanel::TreeTabUpdateItem(const StructPack& pack, std::span<const uint8_t> live, const QModelIndex& item) {
  const std::size_t position = m_treeModel->PositionOf(item);
  const Record* record = GetStructPackRecord(pack, position);
  if (record == nullptr || position > m_treeText.size()) return 0;
  m_lastTreeItems.push_back(position - 1);
  std::string text = LiveValueText(pack, *record, live);
  if (text != m_treeText[position - 1]) {
    m_treeText[position - 1] = std::move(text);
    m_treeModel->RefreshRow(position);
  }
  return 1;
}

void LivePanel::Collapse() {
  Command command(*this);
  if (!command.Granted()) return;
  const QModelIndex selected = m_form->TREE->currentIndex();
  if (selected.isValid()) CollapseTree(true, selected.siblingAtColumn(0));
}

void LivePanel::Expande() {
  Command command(*this);
  if (!command.Granted()) return;
  const QModelIndex selected = m_form->TREE->currentIndex();
  if (selected.isValid()) CollapseTree(false, selected.siblingAtColumn(0));
}

void LivePanel::CollapseTree(bool flag, const QModelIndex& item) {
  QTreeView* tree = m_form->TREE;
  if (!flag) {
    tree->expandRecursively(item);
    return;
  }
  // Depth first, without recursion: a deep structure cannot exhaust the stack.
  std::vector<QModelIndex> pending{item};
  while (!pending.empty()) {
    const QModelIndex index = pending.back();
    pending.pop_back();
    tree->collapse(index);
    for (int row = 0, rows = m_treeModel->rowCount(index); row < rows; ++row)
      pending.push_back(m_treeModel->index(row, 0, index));
  }
}

void LivePanel::SetForcedFunction(uint8_t value) {
  Command command(*this);
  if (!command.Granted()) return;
  // The device acts or not; the page shows the effect in the live data.
  (void)m_context.engine.TlinkSetFunction(1, value);
}

// ---- channels --------------------------------------------------------------

int HilightSlot(int table, int row) {
  if (table < 0 || table > 2 || row < 1 || row > kHilightRows) return -1;
  const int slot = table * kHilightRows + row;
  return slot < kHilightSlots + 1 ? slot - 1 : -1;
}

const Record* LivePanel::SlotRecord(int page, int slot) const {
  if (slot < 0 || slot >= static_cast<int>(kUserConfEntries)) return nullptr;
  const auto entry = static_cast<int32_t>(
      m_context.dataSet.user.Entry(static_cast<std::size_t>(page), static_cast<std::size_t>(slot)));
  if (entry <= 0) return nullptr;
  return GetStructPackRecord(Monitor(), static_cast<std::size_t>(entry));
}

std::size_t LivePanel::SelectedTreePosition() const {
  const QModelIndex selected = m_form->TREE->currentIndex();
  return selected.isValid() ? m_treeModel->PositionOf(selected) : 0;
}

void LivePanel::SetSlot(int page, int slot, std::size_t position) {
  m_context.dataSet.user.SetEntry(static_cast<std::size_t>(page), static_cast<std::size_t>(slot),
                                  static_cast<uint32_t>(position));
}

// The choice is kept at once, so a crash or a power cut does not lose it.
void SaveUserChannels(PanelContext& context) {
  UserConfSet& user = context.dataSet.user;
  const std::filesystem::path path = GetUserConfPath(context.projectDir, user.header);
  if (auto saved = SaveUserConfSet(path, user); !saved)
    context.services.MessagePopup("Channels", "Can't save the channels in " + path.string(), saved.message());
}

void LivePanel::SaveChannels() { SaveUserChannels(m_context); }

void LivePanel::AddChannel() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetHilightPos();
  const std::size_t position = SelectedTreePosition();
  const Record* record = GetStructPackRecord(Monitor(), position);
  if (slot < 0 || record == nullptr) return;
  const bool fits = slot < kHilightValueSlots ? record->IsLeaf()
                                              : record->kind == RecordKind::Struct && record->bitSize == kBitCells;
  if (!fits) return;
  SetSlot(kTabHilight, slot, position);
  HilightTabRefreshRow(record, slot);
  command.RestoreCursor();
  SaveChannels();
}

void LivePanel::DelChannel() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetHilightPos();
  if (slot < 0) return;
  SetSlot(kTabHilight, slot, 0);
  HilightTabRefreshRow(nullptr, slot);
  command.RestoreCursor();
  SaveChannels();
}

void LivePanel::MoveUp() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetHilightPos();
  if (slot <= 0 || slot == kHilightValueSlots) return;
  UserConfSet& user = m_context.dataSet.user;
  const uint32_t moved = user.Entry(kTabHilight, static_cast<std::size_t>(slot));
  const uint32_t other = user.Entry(kTabHilight, static_cast<std::size_t>(slot - 1));
  SetSlot(kTabHilight, slot, other);
  SetSlot(kTabHilight, slot - 1, moved);
  HilightTabRefreshRow(SlotRecord(kTabHilight, slot), slot);
  // Last, so the active cell follows the channel that moved.
  HilightTabRefreshRow(SlotRecord(kTabHilight, slot - 1), slot - 1);
  command.RestoreCursor();
  SaveChannels();
}

void LivePanel::MoveDw() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetHilightPos();
  if (slot < 0 || slot == kHilightValueSlots - 1 || slot >= kHilightSlots - 1) return;
  UserConfSet& user = m_context.dataSet.user;
  const uint32_t moved = user.Entry(kTabHilight, static_cast<std::size_t>(slot));
  const uint32_t other = user.Entry(kTabHilight, static_cast<std::size_t>(slot + 1));
  SetSlot(kTabHilight, slot, other);
  SetSlot(kTabHilight, slot + 1, moved);
  HilightTabRefreshRow(SlotRecord(kTabHilight, slot), slot);
  HilightTabRefreshRow(SlotRecord(kTabHilight, slot + 1), slot + 1);
  command.RestoreCursor();
  SaveChannels();
}

void LivePanel::TableChange(int table) {
  if (table < 0 || table > 2) return;
  m_hilightTable = table;
  if (table != 2) return;
  // The flag-word table names the bit under its active cell.
  QTableWidget* bits = m_form->TABLE3;
  const int column = bits->currentColumn();
  QString tip;
  const Record* container = SlotRecord(kTabHilight, HilightSlot(2, bits->currentRow() + 1));
  if (container != nullptr && column >= 1) {
    const auto position = static_cast<std::size_t>(container - Monitor().records.data()) + 1;
    const std::vector<BitCell> cells = FlagWordCells(Monitor(), position);
    if (static_cast<std::size_t>(column) <= cells.size()) {
      const Record* field = GetStructPackRecord(Monitor(), cells[static_cast<std::size_t>(column - 1)].position);
      if (field != nullptr)
        tip = QString::fromLatin1(field->varName, static_cast<int>(strnlen(field->varName, sizeof field->varName)));
    }
  }
  bits->setToolTip(tip);
}

void LivePanel::EditChannels(bool shown) {
  ShowChannelButtons(shown);
  m_context.settings.liveEditChannels = shown ? 1 : 0;
  if (auto written = WriteInitFile(m_context.projectDir, m_context.settings); !written)
    m_context.services.MessagePopup("Settings", "Can't write the settings file tavomark.ini", written.message());
}

void LivePanel::ShowCalibration(bool shown) {
  m_form->TAB->setTabVisible(kTabCalib, shown);
  if (shown) m_form->TAB->setCurrentIndex(kTabCalib);
  m_context.settings.liveShowCalib = shown ? 1 : 0;
  if (auto written = WriteInitFile(m_context.projectDir, m_context.settings); !written)
    m_context.services.MessagePopup("Settings", "Can't write the settings file tavomark.ini", written.message());
}

void LivePanel::ShowChannelButtons(bool shown) {
  for (const auto& graph : m_graphs) graph->ShowTraceButtons(shown);
  for (QWidget* button : {static_cast<QWidget*>(m_form->cbAdd), static_cast<QWidget*>(m_form->cbDel),
                          static_cast<QWidget*>(m_form->cbMoveUp), static_cast<QWidget*>(m_form->cbMoveDw),
                          static_cast<QWidget*>(m_form->cbAddInfo), static_cast<QWidget*>(m_form->cbDelInfo)})
    button->setVisible(shown);
}

// ---- recording and replay ---------------------------------------------------

void LivePanel::SetUpRecordControls() {
  QWidget* parent = &m_widget;
  m_record = new QPushButton("Record", parent);
  m_record->setObjectName("cbRecord");
  m_record->setCheckable(true);
  m_record->setToolTip("Write every live buffer to a CSV file");
  m_openRecording = new QPushButton("Open Recording...", parent);
  m_openRecording->setObjectName("cbOpenRecording");
  m_openRecording->setToolTip("Play a recording through the live pages, without the device");
  m_replaySpeed = new QComboBox(parent);
  m_replaySpeed->setObjectName("replaySpeed");
  m_replaySpeed->addItems({"x1", "x4", "As fast as possible"});
  m_replayPause = new QPushButton("Pause", parent);
  m_replayPause->setObjectName("replayPause");
  m_replayPause->setCheckable(true);
  m_replayStop = new QPushButton("Stop Replay", parent);
  m_replayStop->setObjectName("replayStop");
  m_replayStatus = new QLabel(parent);
  m_replayStatus->setObjectName("replayStatus");
  const int at = m_form->topLayout->count() - 1;  // before the stretch
  int index = at;
  for (QWidget* widget : {static_cast<QWidget*>(m_record), static_cast<QWidget*>(m_openRecording),
                          static_cast<QWidget*>(m_replaySpeed), static_cast<QWidget*>(m_replayPause),
                          static_cast<QWidget*>(m_replayStop), static_cast<QWidget*>(m_replayStatus)})
    m_form->topLayout->insertWidget(index++, widget);
  ShowReplayControls(false);
  m_replayTimer.setSingleShot(true);

  connect(m_record, &QPushButton::toggled, this, [this](bool on) {
    if (!on) {
      StopRecording();
      return;
    }
    std::string path;
    if (!SelectPath(m_context.services, "Record Live Data", path, "*.csv", true) || !StartRecording(path)) {
      const QSignalBlocker block(m_record);
      m_record->setChecked(false);
    }
  });
  connect(m_openRecording, &QPushButton::clicked, this, [this] {
    std::string path;
    if (SelectPath(m_context.services, "Open Recording", path, "*.csv", false)) (void)StartReplay(path);
  });
  connect(m_replaySpeed, &QComboBox::currentIndexChanged, this, [this](int speed) { SetReplaySpeed(speed); });
  connect(m_replayPause, &QPushButton::toggled, this, [this](bool on) { PauseReplay(on); });
  connect(m_replayStop, &QPushButton::clicked, this, [this] { StopReplay(); });
  connect(&m_replayTimer, &QTimer::timeout, this, [this] {
    if (ReplayNext()) ScheduleReplay();
  });
}

bool LivePanel::StartRecording(const std::string& path) {
  if (auto opened = m_recorder.Open(path, Monitor(), RecordingColumns(Monitor(), {}).value(), IsoTimeNow());
      !opened) {
    m_context.services.MessagePopup("Record", "Can't record into " + path + ": " + opened.message());
    return false;
  }
  m_recordStart = std::chrono::steady_clock::now();
  const QSignalBlocker block(m_record);
  m_record->setChecked(true);
  return true;
}

void LivePanel::StopRecording() {
  m_recorder.Close();
  const QSignalBlocker block(m_record);
  m_record->setChecked(false);
}

void LivePanel::RecordLive(const std::vector<uint8_t>& live) {
  if (!m_recorder.IsOpen()) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_recordStart).count();
  const auto written = m_recorder.Write(seconds, live);
  if (written) return;
  StopRecording();
  m_context.services.MessagePopup("Record", "The recording stopped: " + written.message());
}

bool LivePanel::StartReplay(const std::string& path) {
  StopReplay();
  Replay replay;
  auto read = ReadRecording(path);
  if (!read) {
    m_context.services.MessagePopup("Replay", read.message());
    return false;
  }
  replay.recording = std::move(read.value());
  auto matched = MatchRecording(replay.recording, Monitor());
  if (!matched) {
    m_context.services.MessagePopup("Replay", "The recording does not fit the configuration: " + matched.message());
    return false;
  }
  replay.positions = std::move(matched.value());
  for (const std::string& warning : replay.recording.warnings)
    m_context.services.MessagePopup("Replay", path + ": " + warning);
  StopRecording();
  replay.active = true;
  replay.speed = m_replaySpeed->currentIndex();
  m_replay = std::move(replay);
  ShowReplayControls(true);
  m_replayStatus->setText(QString("Replay: %1 rows").arg(m_replay.recording.rows.size()));
  ScheduleReplay();
  return true;
}

void LivePanel::StopReplay() {
  m_replayTimer.stop();
  m_replay = Replay{};
  ShowReplayControls(false);
}

void LivePanel::PauseReplay(bool paused) {
  m_replay.paused = paused;
  if (m_replayPause->isChecked() != paused) {
    const QSignalBlocker block(m_replayPause);
    m_replayPause->setChecked(paused);
  }
  if (paused)
    m_replayTimer.stop();
  else
    ScheduleReplay();
}

void LivePanel::SetReplaySpeed(int speed) {
  m_replay.speed = speed;
  if (m_replaySpeed->currentIndex() != speed) {
    const QSignalBlocker block(m_replaySpeed);
    m_replaySpeed->setCurrentIndex(speed);
  }
  if (m_replay.active && !m_replay.paused) ScheduleReplay();
}

// The next row comes after the time the recording took between the two,
// divided by the speed.
void LivePanel::ScheduleReplay() {
  if (!m_replay.active || m_replay.paused || m_replay.next >= m_replay.recording.rows.size()) return;
  double ms = 0.0;
  if (m_replay.speed != 2 && m_replay.next > 0) {
    const std::vector<double>& times = m_replay.recording.times;
    ms = (times[m_replay.next] - times[m_replay.next - 1]) * 1000.0 / (m_replay.speed == 1 ? 4.0 : 1.0);
  }
  m_replayTimer.start(static_cast<int>(std::clamp(ms, 0.0, 10000.0)));
}

bool LivePanel::ReplayNext() {
  const std::size_t rows = m_replay.recording.rows.size();
  if (!m_replay.active || m_replay.next >= rows) return false;
  const std::size_t row = m_replay.next++;
  const std::vector<uint8_t> live = RecordingRowToLive(m_replay.recording, row, Monitor(), m_replay.positions);
  LivePagesUpdate(m_form->TAB->currentIndex(), live, m_replay.recording.times[row]);
  InfoTabUpdateTable(&live);
  m_replayStatus->setText(QString("Replay: row %1 of %2, %3 s")
                              .arg(row + 1)
                              .arg(rows)
                              .arg(m_replay.recording.times[row], 0, 'f', 1));
  return m_replay.next < rows;
}

void LivePanel::ShowReplayControls(bool shown) {
  m_replaySpeed->setVisible(shown);
  m_replayPause->setVisible(shown);
  m_replayStop->setVisible(shown);
  m_replayStatus->setVisible(shown);
  m_record->setEnabled(!shown);
}

// ---- the chart and calibration pages ----------------------------------------

GraphTab& LivePanel::Graph(int page) const { return *m_graphs[static_cast<std::size_t>(page - kTabGraph1)]; }

void LivePanel::GraphTabRefresh(int page) {
  if (page >= kTabGraph1 && page <= kTabGraph3) Graph(page).GraphTabRefresh();
}

// Every chart takes the point, whichever page is shown.
void LivePanel::GraphTabUpdate(std::span<const uint8_t> live, double seconds) {
  for (const auto& graph : m_graphs) graph->GraphTabUpdate(live, seconds);
}

// Only the chart on screen draws its points.
void LivePanel::ShowGraphs() {
  const int page = m_form->TAB->currentIndex();
  for (int i = 0; i < 3; ++i) m_graphs[static_cast<std::size_t>(i)]->SetShown(m_shown && page == kTabGraph1 + i);
}

void LivePanel::CalibTabRefresh() { m_calibTab->CalibTabRefresh(); }

void LivePanel::CalibTabUpdate(int page, const std::vector<uint8_t>* live) { m_calibTab->CalibTabUpdate(page, live); }

std::unique_ptr<ChildPanel> InitLivePanel(QWidget* parent, PanelContext& context) {
  return std::make_unique<LivePanel>(parent, context);
}

}  // namespace tavomark::ui
