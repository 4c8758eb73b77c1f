#include "par_panel.h"

#include <QAction>
#include <QBrush>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <QUndoStack>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "device_backup.h"
#include "fixed_text.h"
#include "platform_services.h"
#include "protocol_engine.h"
#include "settings.h"
#include "struct_tree_model.h"
#include "ui_par_panel.h"
#include "value_codec.h"

namespace tavomark::ui {

namespace {

constexpr const char* kDone = "Done!";
constexpr const char* kCommError = "Communication Error";
constexpr const char* kSendTitle = "Device Data Send";
constexpr const char* kSendAllTitle = "Device All Data Send";
constexpr const char* kReceiveTitle = "Device Data Receive";
constexpr const char* kReceiveAllTitle = "Device All Data Receive";
// Values the codec cannot place: nothing goes to the device rather than an
// image whose checksum word was never written.
constexpr const char* kImageError = "The values do not fit the device image: nothing was sent";
// A block that arrived but does not decode leaves the receive side as it was.
constexpr const char* kDecodeError = "The device data do not fit the configuration: nothing was changed";

constexpr const char* kRestoreTitle = "Restore";
constexpr const char* kNothingDiffers = "No value differs from the device: nothing was sent";

constexpr int kColumnValue = 1;
constexpr int kColumnUnit = 2;
constexpr const char* kEditTitle = "Edit Value";

// The page of a device block on either side.
std::size_t PageOf(Block block) {
  assert(IsDeviceBlock(block) && "the parameter page shows no monitor");
  return static_cast<std::size_t>(TabOfBlock(block));
}

// The leaf whose bytes reach into the image's last two bytes holds the
// checksum word, which a send computes.
bool IsChecksumWord(const StructPack& pack, const Record& record) {
  const unsigned size = GetStructByteSize(pack);
  return record.IsLeaf() && size >= 2 && unsigned{record.offset} + unsigned{record.byteSize} > size - 2;
}



// Widths fitted once per rebuild from what a cell can hold: the widest of a
// record's limits in the value column, the longest unit; "Name" takes the rest.
void FitValueColumns(QTreeView& tree, const StructPack& pack) {
  const QFontMetrics digits(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics text = tree.fontMetrics();
  int valueWidth = text.horizontalAdvance("value");
  int unitWidth = text.horizontalAdvance("Unit");
  for (const Record& record : pack.records) {
    if (record.IsLeaf()) {
      for (double limit : {record.minValue, record.maxValue}) {
        const std::string shown = TrimSpaces(ValToString(record, limit));
        valueWidth = std::max(valueWidth, digits.horizontalAdvance(QString::fromStdString(shown)));
      }
    }
    unitWidth = std::max(unitWidth, text.horizontalAdvance(QString::fromStdString(SetRecordShowValue(record))));
  }
  const int margin = 2 * text.horizontalAdvance('0') + 8;
  tree.header()->resizeSection(kColumnValue, std::min(valueWidth + margin, 28 * digits.horizontalAdvance('0')));
  tree.header()->resizeSection(kColumnUnit, std::min(unitWidth + margin, 20 * text.horizontalAdvance('0')));
}

}  // namespace

uint16_t GetDataType(Block block) { return WireIdOfBlock(block); }

std::string SetRecordShowValue(const Record& record) {
  const bool withUnit = record.IsLeaf() || record.kind == RecordKind::Enum || record.bitSize != 0;
  if (!withUnit) return {};
  return std::string(record.unit, strnlen(record.unit, sizeof record.unit));
}

std::string ScatterValToSendRecord(const Record& record, std::size_t position, const Pack& pack) {
  const std::span<const uint8_t> item = GetValToSendRecord(pack, position);
  if (item.empty()) return {};
  return ValToString(record, static_cast<double>(ItemValue(item)));
}

bool ParValuesDiffer(const Pack& a, const Pack& b, std::size_t position) {
  const std::span<const uint8_t> left = GetValToSendRecord(a, position);
  const std::span<const uint8_t> right = GetValToSendRecord(b, position);
  if (left.empty() || right.empty()) return true;
  const float x = ItemValue(left);
  const float y = ItemValue(right);
  return std::isnan(x) || std::isnan(y) || x != y;
}

// One accepted edit of a working value.
class ParPanel::ValueEdit final : public QUndoCommand {
 public:
  ValueEdit(ParPanel& panel, Block block, std::size_t position, float before, float after, const QString& label)
      : QUndoCommand(label), m_panel(panel), m_block(block), m_position(position), m_before(before), m_after(after) {}
  void undo() override { m_panel.ApplyValue(m_block, m_position, m_before); }
  void redo() override { m_panel.ApplyValue(m_block, m_position, m_after); }

 private:
  ParPanel& m_panel;
  Block m_block;
  std::size_t m_position;
  float m_before;
  float m_after;
};

// One command of the panel: the panel turns inactive (it swallows its own
// input meanwhile, so a second press cannot start a second transfer), the
// cursor is busy and pending events run. At the end the panel becomes active
// again, unless the main panel switched away from it meanwhile.
class ParPanel::Operation {
 public:
  explicit Operation(ParPanel& panel)
      : m_panel(panel), m_granted(panel.m_active && !panel.m_busy && !panel.m_terminated) {
    if (!m_granted) return;
    m_panel.m_busy = true;
    m_panel.m_active = false;
    m_cursor.emplace();
    QCoreApplication::processEvents();
  }
  ~Operation() {
    if (!m_granted) return;
    m_cursor.reset();
    m_panel.m_busy = false;
    if (m_panel.m_terminatePending) {
      m_panel.ReleaseData();
      return;
    }
    m_panel.EnableParPanel(m_panel.m_shown);
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  [[nodiscard]] bool Granted() const { return m_granted; }
  // Before a message, so the pop-up does not show the busy cursor.
  void RestoreCursor() { m_cursor.reset(); }
  void BusyAgain() {
    if (!m_cursor) m_cursor.emplace();
  }

 private:
  ParPanel& m_panel;
  bool m_granted;
  std::optional<BusyCursor> m_cursor;
};

ParPanel::ParPanel(QWidget* parent, PanelContext& context)
    : m_context(context),
      m_form(std::make_unique<Ui::ParPanel>()),
      m_widget(parent),
      m_received(CreateValToSendSet(context.dataSet.config)),
      m_devices(CreateDeviceSet(context.dataSet.config)) {
  m_form->setupUi(&m_widget);
  m_undo = std::make_unique<QUndoStack>();
  m_undoAction = m_undo->createUndoAction(&m_widget, "&Undo");
  m_undoAction->setShortcut(QKeySequence::Undo);
  m_redoAction = m_undo->createRedoAction(&m_widget, "&Redo");
  m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence::Redo});
  connect(m_undo.get(), &QUndoStack::cleanChanged, this, [this](bool clean) {
    if (!clean) return;
    // Back where the values were saved or loaded: nothing is edited any more.
    for (Block block : kDeviceBlocks)
      tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block).header.isChanged =
          m_changedWhenClean[PageOf(block)];
    ClearEditMarks();
  });
  SetUpSide(ParSide::Tx, m_form->TAB_TX, {m_form->TREE_PAR, m_form->TREE_INFO, m_form->TREE_CALIB});
  SetUpSide(ParSide::Rx, m_form->TAB_RX, {m_form->TREE_PAR_2, m_form->TREE_INF_2, m_form->TREE_CAL_2});
  // Next to the send buttons: a backup goes back the way a send goes.
  m_restore = new QPushButton(QString::fromUtf8("Restore\u2026"), &m_widget);
  m_restore->setObjectName("CBrestore");
  m_restore->setToolTip("Send a backup of the device's values back to it");
  m_form->buttonsTxLayout->addWidget(m_restore);
  connect(m_restore, &QPushButton::clicked, this, [this] { Restore(); });

  for (QWidget* hidden : {static_cast<QWidget*>(m_form->cbCompare), static_cast<QWidget*>(m_form->cbCopyTxAll),
                          static_cast<QWidget*>(m_form->cbCopyRx), static_cast<QWidget*>(m_form->cbCopyRxAll),
                          static_cast<QWidget*>(m_form->cbCopyTx), static_cast<QWidget*>(m_form->CBsendAll),
                          static_cast<QWidget*>(m_form->CBreadAll)})
    hidden->hide();
  // Only the parameter block is sent from a page; the other two go with
  // SendAll or the calibration functions.
  m_form->TAB_TX->setTabVisible(TabOfBlock(Block::Information), false);
  m_form->TAB_TX->setTabVisible(TabOfBlock(Block::Calibration), false);
  EnableParButton(false);
  m_form->TAB_TX->setCurrentIndex(0);
  m_form->TAB_RX->setCurrentIndex(0);

  connect(m_form->CBsend, &QPushButton::clicked, this, [this] { Send(); });
  connect(m_form->CBsendAll, &QPushButton::clicked, this, [this] { SendAll(); });
  connect(m_form->CBread, &QPushButton::clicked, this, [this] { Read(); });
  connect(m_form->CBreadAll, &QPushButton::clicked, this, [this] { ReadAll(); });
  connect(m_form->cbCollapseTx, &QPushButton::clicked, this, [this] { ParCollapseTx(true); });
  connect(m_form->cbExpandTx, &QPushButton::clicked, this, [this] { ParCollapseTx(false); });
  connect(m_form->cbCollapseRx, &QPushButton::clicked, this, [this] { ParCollapseRx(true); });
  connect(m_form->cbExpandRx, &QPushButton::clicked, this, [this] { ParCollapseRx(false); });
  connect(m_form->cbCompare, &QPushButton::clicked, this, [this] { Compare(); });
  connect(m_form->cbCopyTx, &QPushButton::clicked, this, [this] { CopyTxToRx(); });
  connect(m_form->cbCopyTxAll, &QPushButton::clicked, this, [this] { CopyTxToRx(); });
  connect(m_form->cbCopyRx, &QPushButton::clicked, this, [this] { CopyRxToTx(); });
  connect(m_form->cbCopyRxAll, &QPushButton::clicked, this, [this] { CopyRxToTx(); });

  m_widget.installEventFilter(this);
  for (QWidget* child : m_widget.findChildren<QWidget*>()) child->installEventFilter(this);
}

ParPanel::~ParPanel() = default;

QWidget* ParPanel::Widget() { return &m_widget; }

void ParPanel::SetUpSide(ParSide which, QTabWidget* tab, const std::array<QTreeView*, kParPages>& trees) {
  Side& side = SideOf(which);
  side.tab = tab;
  for (Block block : kDeviceBlocks) {
    Page& page = side.pages[PageOf(block)];
    page.tree = trees[PageOf(block)];
    // Every page's tree answers to the same name; the page tells them apart.
    page.tree->setObjectName("TREE");
    page.model = std::make_unique<StructTreeModel>();
    page.model->SetColumns({"Name", "value", "Unit"});
    page.model->SetCellText([this, which, block](const Record& record, std::size_t position, int column) {
      if (column == kColumnUnit) return SetRecordShowValue(record);
      if (column != kColumnValue) return std::string();
      // Without the padding that aligns numbers in files and logs: the column
      // aligns them on the right.
      return TrimSpaces(
          ScatterValToSendRecord(record, position, GetTabIndexedValToSendPack(ValuesOf(which), block)));
    });
    // Numbers right-aligned in a font whose digits share one width, so the
    // decimal points line up.
    page.model->SetAlignment(kColumnValue, Qt::AlignRight | Qt::AlignVCenter);
    page.model->SetFont(kColumnValue, QFontDatabase::systemFont(QFontDatabase::FixedFont));
    page.tree->setModel(page.model.get());
    page.tree->setUniformRowHeights(true);
    QHeaderView* header = page.tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(kColumnValue, QHeaderView::Interactive);
    header->setSectionResizeMode(kColumnUnit, QHeaderView::Interactive);
    if (which == ParSide::Tx) SetUpEditing(block);
    else page.tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  }
  connect(tab, &QTabWidget::currentChanged, this, [this, which] { TabChange(which); });
}

ValToSendSet& ParPanel::ValuesOf(ParSide side) {
  return side == ParSide::Tx ? m_context.dataSet.vts : m_received;
}

Block ParPanel::CurrentBlock(ParSide side) const { return BlockOfTab(SideOf(side).tab->currentIndex()); }

QTabWidget* ParPanel::Tab(ParSide side) const { return SideOf(side).tab; }

QTreeView* ParPanel::Tree(ParSide side, Block block) const { return SideOf(side).pages[PageOf(block)].tree; }

StructTreeModel& ParPanel::Model(ParSide side, Block block) const {
  return *SideOf(side).pages[PageOf(block)].model;
}

bool ParPanel::ConfigurationIsNew() const {
  // Any of the three blocks: a tree built over a changed layout would show
  // records that are not there.
  const ConfigSet& config = m_context.dataSet.config;
  return config.param.header.isNew || config.info.header.isNew || config.calib.header.isNew;
}

bool ParPanel::EnableParPanel(bool flag) {
  m_shown = flag;
  m_active = false;
  // A command that waits for the device keeps its buffers: the refresh comes
  // when it ends.
  if (!flag || m_busy || m_terminated) return true;
  Refresh();
  m_active = true;
  return true;
}

void ParPanel::Refresh() {
  DataSet& data = m_context.dataSet;
  if (!m_built || ConfigurationIsNew()) {
    ConfigPopulateShowTree(ParSide::Tx);
    ConfigPopulateShowTree(ParSide::Rx);
    m_built = true;
    DisposeDeviceSet(m_devices);
    m_devices = CreateDeviceSet(data.config);
    if (CheckCompatibilityValToSend(m_received, data.config)) {
      ScatterValToSendAllTab(ParSide::Rx);
    } else {
      DisposeValToSendSet(m_received);
      m_received = CreateValToSendSet(data.config);
    }
    // The rebuilt transmit trees show their values expanded, as new ones do.
    ScatterValToSendAllTab(ParSide::Tx);
  }
  if (IsNewValToSendSet(data.vts)) {
    ForgetEdits();
    ScatterValToSendAllTab(ParSide::Tx);
  }
  if (IsNewValToSendSet(m_received)) ScatterValToSendAllTab(ParSide::Rx);
}

bool ParPanel::TerminateParPanel() {
  m_shown = false;
  m_active = false;
  if (m_busy) {
    m_terminatePending = true;
    return true;
  }
  ReleaseData();
  return true;
}

void ParPanel::ReleaseData() {
  if (m_terminated) return;
  m_terminated = true;
  m_terminatePending = false;
  ForgetEdits();
  // The models point into the data set, which goes away after the panels.
  for (Side* side : {&m_tx, &m_rx})
    for (Page& page : side->pages) page.model->Clear();
  DisposeValToSendSet(m_received);
  DisposeDeviceSet(m_devices);
  m_widget.hide();
}

int ParPanel::ParHandler(bool connected) {
  if (m_active) EnableParButton(connected);
  if (!m_terminated) {
    const ValToSendSet& vts = m_context.dataSet.vts;
    // Values loaded while another panel was shown: the history is of others.
    if (IsNewValToSendSet(vts) && m_undo->count() > 0) ForgetEdits();
    if (!IsChangedValToSendSet(vts) && !m_undo->isClean()) NoteSaved();
    else if (!IsChangedValToSendSet(vts)) ClearEditMarks();
  }
  return 1;
}

void ParPanel::EnableParButton(bool connected) {
  // A value set that came from a file (or was saved to one) has a name; the
  // device description alone is not sent.
  const bool named = m_context.dataSet.vts.name[0] != '\0';
  m_form->CBread->setEnabled(connected);
  m_form->CBreadAll->setEnabled(connected);
  m_form->CBsend->setEnabled(connected && named);
  m_form->CBsendAll->setEnabled(connected && named);
  m_restore->setEnabled(connected);
}

int ParPanel::ConfigPopulateShowTree(ParSide side) {
  int result = 1;
  for (Block block : kDeviceBlocks) {
    StructPack& pack = tavomark::GetTabIndexedStruct(m_context.dataSet.config, block);
    Page& page = SideOf(side).pages[PageOf(block)];
    if (!StructPopulateTree(*page.model, pack)) result = 0;
    FitValueColumns(*page.tree, pack);
    pack.header.isNew = 0;
  }
  return result;
}


int ParPanel::ScatterValToSendAllTab(ParSide side) {
  for (Block block : kDeviceBlocks) ScatterValToSendIndexTab(side, block);
  return 1;
}

int ParPanel::ScatterValToSendIndexTab(ParSide side, Block block) {
  StructUpdateTree(*SideOf(side).pages[PageOf(block)].model);
  ExpandPage(side, block);
  tavomark::GetTabIndexedValToSendPack(ValuesOf(side), block).header.isNew = 0;
  return 1;
}

void ParPanel::ExpandPage(ParSide side, Block block) { Tree(side, block)->expandAll(); }

int ParPanel::ParEvents(QObject*, QEvent* event) const {
  if (m_active || event == nullptr) return 0;
  return IsUserInput(event->type()) ? 1 : 0;
}

bool ParPanel::eventFilter(QObject* watched, QEvent* event) {
  if (ParEvents(watched, event) != 0) return true;
  // F2 edits the current row's value whichever of its cells is current.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
    for (const Page& page : m_tx.pages) {
      if (watched != page.tree) continue;
      const QModelIndex value = page.tree->currentIndex().siblingAtColumn(kColumnValue);
      if (value.isValid() && (value.flags() & Qt::ItemIsEditable)) {
        page.tree->edit(value);
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

void ParPanel::Send() { SendPages({CurrentBlock(ParSide::Tx)}, kSendTitle); }

void ParPanel::SendAll() { SendPages({std::begin(kDeviceBlocks), std::end(kDeviceBlocks)}, kSendAllTitle); }

void ParPanel::Read() { ReadPages({CurrentBlock(ParSide::Rx)}, kReceiveTitle); }

void ParPanel::ReadAll() { ReadPages({std::begin(kDeviceBlocks), std::end(kDeviceBlocks)}, kReceiveAllTitle); }

void ParPanel::SendPages(const std::vector<Block>& pages, const char* title) {
  Operation operation(*this);
  if (!operation.Granted()) return;
  if (!ValToSendSetToDeviceSet(m_context.dataSet.vts, m_devices)) {
    operation.RestoreCursor();
    m_context.services.MessagePopup(title, kImageError);
    return;
  }
  std::vector<BlockWrite> blocks;
  for (Block block : pages) {
    const DeviceData& data = GetIndexedDeviceData(m_devices, block);
    const auto end = data.buffer.begin() + data.totalSize;
    blocks.push_back(BlockWrite{GetDataType(block), {data.buffer.begin(), end}, {}, {}});
  }
  WriteBlocks(operation, std::move(blocks), title);
}

void ParPanel::Restore() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  FileDialogRequest request;
  request.title = kRestoreTitle;
  request.directory = BackupFolder(m_context.projectDir).string();
  request.filter = "*.img";
  const std::optional<std::string> chosen = m_context.services.FileSelectPopup(request);
  if (!chosen || chosen->empty()) return;
  auto backup = LoadDeviceBackup(*chosen);
  if (!backup) {
    operation.RestoreCursor();
    m_context.services.MessagePopup(kRestoreTitle, backup.message());
    return;
  }
  WriteBlocks(operation, {BlockWrite{backup.value().name.block, std::move(backup.value().image), {}, {}}},
              kRestoreTitle);
}

void ParPanel::WriteBlocks(Operation& operation, std::vector<BlockWrite> blocks, const char* title) {
  link::ProtocolEngine& engine = m_context.engine;
  const std::optional<link::InfoData> info = engine.TlinkGetInfoData();
  SafeWriteJob job;
  job.projectDir = m_context.projectDir;
  // The device number every frame carries: the loaded values' project code.
  job.backupKey = BackupKey(m_context.dataSet.vts.param.header.codeProj, info ? info->serialExt : 0,
                            info ? info->serialNum : 0);
  job.dataName = engine.TlinkGetDataName();
  job.blocks = std::move(blocks);
  job.config = &m_context.dataSet.config;
  DeviceIo io;
  io.read = [&engine](uint16_t id, std::span<uint8_t> buffer) { return engine.TlinkReceiveData(id, buffer); };
  io.send = [&engine](uint16_t id, std::span<const uint8_t> data) { return engine.TlinkSendData(id, data); };
  SettingsBlock& settings = m_context.settings;
  const SafeWriteOutcome outcome = RunSafeWrite(job, io, [&](const SafeWriteOutcome& found) {
    if (!settings.askBeforeSend) return true;
    operation.RestoreCursor();
    std::string summary = found.diffs.size() == 1 ? "1 record differs from the device."
                                                  : std::to_string(found.diffs.size()) +
                                                        " records differ from the device.";
    if (!found.byRecords)
      summary += " " + std::to_string(found.bytesDiffering) + " bytes differ outside the configuration.";
    const WriteConfirmation answer =
        m_context.services.ConfirmWrite(title, summary + " Send them?", found.diffs);
    if (answer.send && answer.dontAskAgain) settings.askBeforeSend = false;
    operation.BusyAgain();
    return answer.send;
  });
  operation.RestoreCursor();
  switch (outcome.result) {
    case SafeWriteResult::kWritten:
      m_context.services.MessagePopup(title, kDone);
      break;
    case SafeWriteResult::kNoDifference:
      m_context.services.MessagePopup(title, kNothingDiffers);
      break;
    case SafeWriteResult::kDeclined:
    case SafeWriteResult::kDryRun:
      break;
    case SafeWriteResult::kBackupFailed:
      m_context.services.MessagePopup(title, "Can't store the backup (" + outcome.detail + "): nothing was sent");
      break;
    case SafeWriteResult::kMismatch:
      m_context.services.MessagePopup(title, kNotHeldText);
      break;
    case SafeWriteResult::kReadFailed:
    case SafeWriteResult::kSendFailed:
    case SafeWriteResult::kReadBackFailed:
      m_context.services.MessagePopup(title, kCommError, outcome.detail);
      break;
  }
}

void ParPanel::ReadPages(const std::vector<Block>& pages, const char* title) {
  Operation operation(*this);
  if (!operation.Granted()) return;
  // The engine fills buffers of this command's own: a read that fails half
  // way leaves the device images as they were.
  std::vector<DeviceData> arrived;
  bool received = true;
  std::string why;
  for (Block block : pages) {
    DeviceData data = GetIndexedDeviceData(m_devices, block);
    std::fill(data.buffer.begin(), data.buffer.end(), uint8_t{0});
    if (auto read = m_context.engine.TlinkReceiveData(GetDataType(block), data.All()); !read) {
      received = false;
      why = read.message();
      break;
    }
    arrived.push_back(std::move(data));
  }
  const char* text = received ? kDone : kCommError;
  bool decoded = received;
  if (received) {
    // Only the blocks that came from the device are converted: the other
    // receive pages keep what was read before, instead of values decoded from
    // images the device never sent.
    std::vector<Pack> values;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      values.push_back(tavomark::GetTabIndexedValToSendPack(m_received, pages[i]));
      if (!DeviceDataToVts(values.back(), arrived[i])) {
        text = kDecodeError;
        decoded = false;
        break;
      }
    }
    if (decoded) {
      for (std::size_t i = 0; i < pages.size(); ++i) {
        GetIndexedDeviceData(m_devices, pages[i]) = std::move(arrived[i]);
        tavomark::GetTabIndexedValToSendPack(m_received, pages[i]) = std::move(values[i]);
      }
    }
  }
  operation.RestoreCursor();
  m_context.services.MessagePopup(title, text, why);
}

void ParPanel::TabChange(ParSide side) {
  Operation operation(*this);
  if (!operation.Granted()) return;
  ScatterValToSendIndexTab(side, CurrentBlock(side));
}

void ParPanel::ParCollapseTx(bool collapse) { ParCollapse(ParSide::Tx, collapse); }

void ParPanel::ParCollapseRx(bool collapse) { ParCollapse(ParSide::Rx, collapse); }

void ParPanel::ParCollapse(ParSide side, bool collapse) {
  if (!m_active) return;
  QTreeView* tree = Tree(side, CurrentBlock(side));
  const QModelIndex selected = tree->currentIndex().siblingAtColumn(0);
  if (!selected.isValid()) {
    // Nothing selected: the whole tree.
    if (collapse)
      tree->collapseAll();
    else
      tree->expandAll();
    return;
  }
  if (!collapse) {
    tree->expandRecursively(selected);
    return;
  }
  // The selected item first: its descendants then leave the view at once and
  // collapsing them costs no layout each.
  const QAbstractItemModel* model = tree->model();
  std::vector<QModelIndex> pending{selected};
  while (!pending.empty()) {
    const QModelIndex index = pending.back();
    pending.pop_back();
    const int rows = model->rowCount(index);
    if (rows == 0) continue;
    tree->collapse(index);
    for (int row = 0; row < rows; ++row) pending.push_back(model->index(row, 0, index));
  }
}

void ParPanel::Compare() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  const Block block = CurrentBlock(ParSide::Rx);
  const Pack& received = tavomark::GetTabIndexedValToSendPack(m_received, block);
  const Pack& working = tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block);
  Page& tx = m_tx.pages[PageOf(block)];
  Page& rx = m_rx.pages[PageOf(block)];
  // Every page whole, so no marked row hides under a collapsed one.
  ExpandPage(ParSide::Tx, block);
  ExpandPage(ParSide::Rx, block);
  if (const std::size_t position = rx.model->PositionOf(rx.tree->currentIndex()); position != 0)
    tx.tree->setCurrentIndex(tx.model->IndexOf(position));
  tx.tree->verticalScrollBar()->setValue(rx.tree->verticalScrollBar()->value());
  for (std::size_t position = 1; position <= received.Count(); ++position) {
    const bool differ = ParValuesDiffer(received, working, position);
    tx.model->SetMark(position, differ);
    rx.model->SetMark(position, differ);
  }
}

void ParPanel::CopyTxToRx() { CopySide(ParSide::Tx, ParSide::Rx); }

void ParPanel::CopyRxToTx() { CopySide(ParSide::Rx, ParSide::Tx); }

void ParPanel::CopySide(ParSide from, ParSide to) {
  Operation operation(*this);
  if (!operation.Granted()) return;
  const Block block = CurrentBlock(from);
  SideOf(to).tab->setCurrentIndex(TabOfBlock(block));
  const Pack& source = tavomark::GetTabIndexedValToSendPack(ValuesOf(from), block);
  Pack& target = tavomark::GetTabIndexedValToSendPack(ValuesOf(to), block);
  // A pack of another layout would leave the side with values its tree
  // cannot show; an empty one would wipe it.
  if (!CheckPackCompatibility(source.header, target.header) || source.Count() != target.Count() ||
      source.Count() == 0) {
    operation.RestoreCursor();
    m_context.services.MessagePopup("Copy", "The two sides do not hold the same block: nothing was copied");
    return;
  }
  if (to == ParSide::Tx) ForgetEdits();
  if (!CopyPack(target, source)) return;
  target.header.isNew = 1;
  // Values copied into the working set are changes the operator may want to
  // save before quitting.
  if (to == ParSide::Tx) target.header.isChanged = 1;
}

void ParPanel::SetUpEditing(Block block) {
  Page& page = m_tx.pages[PageOf(block)];
  page.tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  page.model->SetCellEdit(
      [this, block](const Record&, std::size_t position, int column) {
        return column == kColumnValue && IsValueEditable(block, position);
      },
      [this, block](std::size_t position, int, const QString& text) { return EditValue(block, position, text); });
  page.model->SetCellStyle([this, block](const Record&, std::size_t position, int column, int role) -> QVariant {
    if (!IsEdited(block, position)) return {};
    if (role == Qt::ForegroundRole) return QBrush(QColor(0, 0, 170));
    if (role == Qt::FontRole) {
      QFont font = column == kColumnValue ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
      font.setBold(true);
      return font;
    }
    return {};
  });
  // A double click or F2 on the name edits the row's value.
  QTreeView* tree = page.tree;
  connect(tree, &QTreeView::doubleClicked, this, [tree](const QModelIndex& clicked) {
    const QModelIndex value = clicked.siblingAtColumn(kColumnValue);
    if (clicked.column() != kColumnValue && (value.flags() & Qt::ItemIsEditable)) tree->edit(value);
  });
}

bool ParPanel::IsValueEditable(Block block, std::size_t position) const {
  if (!m_active || m_terminated || !IsDeviceBlock(block)) return false;
  const StructPack& pack = tavomark::GetTabIndexedStruct(m_context.dataSet.config, block);
  const Record* record = GetStructPackRecord(pack, position);
  if (record == nullptr || !record->IsLeaf() || IsChecksumWord(pack, *record)) return false;
  return !GetValToSendRecord(tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block), position).empty();
}

bool ParPanel::EditValue(Block block, std::size_t position, const QString& text) {
  if (!IsValueEditable(block, position)) return false;
  const StructPack& pack = tavomark::GetTabIndexedStruct(m_context.dataSet.config, block);
  const Record& record = *GetStructPackRecord(pack, position);
  const std::string path = GetRecordPath(pack, record);
  const std::string entry = text.toStdString();
  double value = 0.0;
  std::string error;
  if (!ParseEditedValue(record, entry, path, value, error)) {
    // After the editor has closed: a pop-up inside the commit would take the
    // focus from the editor and commit it a second time.
    QTimer::singleShot(0, this, [this, error] { m_context.services.MessagePopup(kEditTitle, error); });
    return false;
  }
  const Pack& values = tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block);
  const float before = ItemValue(GetValToSendRecord(values, position));
  const auto after = static_cast<float>(value);
  if (before == after) return true;
  m_undo->push(new ValueEdit(*this, block, position, before, after,
                             QString::fromStdString(path + " = " + TrimSpaces(ValToString(record, value)))));
  return true;
}

bool ParPanel::IsEdited(Block block, std::size_t position) const {
  if (!IsDeviceBlock(block)) return false;
  const std::vector<bool>& marks = m_edited[PageOf(block)];
  return position > 0 && position <= marks.size() && marks[position - 1];
}

void ParPanel::ApplyValue(Block block, std::size_t position, float value) {
  Pack& values = tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block);
  const std::span<uint8_t> item = GetValToSendRecord(values, position);
  if (item.empty()) return;
  SetItemValue(item, value);
  values.header.isChanged = 1;
  std::vector<bool>& marks = m_edited[PageOf(block)];
  if (marks.size() < values.Count()) marks.resize(values.Count(), false);
  marks[position - 1] = true;
  m_tx.pages[PageOf(block)].model->RefreshRow(position, 0);
}

void ParPanel::ForgetEdits() {
  // The flags first: clearing the history announces a clean state.
  for (Block block : kDeviceBlocks)
    m_changedWhenClean[PageOf(block)] =
        tavomark::GetTabIndexedValToSendPack(m_context.dataSet.vts, block).header.isChanged;
  m_undo->clear();
  ClearEditMarks();
}

void ParPanel::ClearEditMarks() {
  for (std::size_t page = 0; page < kParPages; ++page) {
    std::vector<bool>& marks = m_edited[page];
    const bool any = std::find(marks.begin(), marks.end(), true) != marks.end();
    marks.clear();
    if (any) m_tx.pages[page].model->RefreshCells();
  }
}

void ParPanel::NoteSaved() {
  m_changedWhenClean.fill(0);
  m_undo->setClean();
  ClearEditMarks();
}

std::unique_ptr<ChildPanel> InitParPanel(QWidget* parent, PanelContext& context) {
  return std::make_unique<ParPanel>(parent, context);
}

}  // namespace tavomark::ui
