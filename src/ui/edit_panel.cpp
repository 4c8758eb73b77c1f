#include "edit_panel.h"

#include <QCheckBox>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "config_editor.h"
#include "fixed_text.h"
#include "names.h"
#include "platform_services.h"
#include "struct_pack_file.h"
#include "struct_tree_model.h"
#include "ui_edit_panel.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

// The page of a block in the tab control.
std::size_t PageOf(Block block) { return static_cast<std::size_t>(TabOfBlock(block)); }

constexpr const char* kSaveTitle = "Save Config";
constexpr const char* kLoadTitle = "Load Config";
constexpr const char* kNewValTitle = "New Value File";
constexpr const char* kExportTitle = "Export Struct";
constexpr const char* kImportTitle = "Import Struct";
constexpr const char* kByPosTitle = "Import Value by Position";
constexpr const char* kByNameTitle = "Import Value by Name";
constexpr const char* kFwImportTitle = "Import Struct from Firmware";
constexpr const char* kQuitTitle = "Quit Application";
constexpr const char* kCellTitle = "Edit";

constexpr const char* kNotComplete = "Config File isn't complete";
constexpr const char* kNotCoherent = "Coherence Errors in Config File";
constexpr const char* kImportError = "Import Error: view log.txt file for detail";

// The selection tree: name and type.
constexpr int kSelColumns = 2;


// Letters 'B' to 'y' are no part of a number a cell takes; the tree and the
// cell editor ignore them ('A' and 'z' pass, as they always have).
bool IsSwallowedKey(const QKeyEvent& key) {
  const QString text = key.text();
  if (text.size() != 1) return false;
  const char16_t code = text.front().unicode();
  return code >= 66 && code <= 121;
}

bool IsNumericColumn(int column) {
  return column == kEditBit || column == kEditArray || column == kEditDecimals || column >= kEditMax;
}

// Digits of the same width line up in the number columns.
const QFont& TabularFont() {
  static const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  return font;
}

std::string Printf(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The cell editor of the tab trees: drops the letter keys before the line
// edit sees them.
class EditCellDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  bool eventFilter(QObject* editor, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && IsSwallowedKey(*static_cast<QKeyEvent*>(event))) return true;
    return QStyledItemDelegate::eventFilter(editor, event);
  }
};

bool StartsWithFw(const StructPack& pack) {
  return pack.header.projVersion[0] == 'F' && pack.header.projVersion[1] == 'W';
}

}  // namespace

std::string ScatterItemEditTree(const Record& record, int column) {
  if (record.IsContainer()) return {};
  double value = 0.0;
  switch (column) {
    case kEditMax:
      value = record.maxValue;
      break;
    case kEditMin:
      value = record.minValue;
      break;
    case kEditDefVal:
      value = record.value;
      break;
    default:
      return {};
  }
  // A character field's limits and default are numbers, not characters.
  if (TextOf(record.varType) == "CHR") {
    Record asNumber = record;
    SetText(asNumber.varType, "U8");
    return ValToString(asNumber, value);
  }
  return ValToString(record, value);
}

std::string SetRecordEditValue(const Record& record, int column) {
  const bool leaf = record.IsLeaf();
  switch (column) {
    case kEditType:
      return leaf ? std::string(TextOf(record.varType)) : std::string();
    case kEditBit:
      return leaf && record.bitSize != 0 ? Printf(":%2d", record.bitSize) : std::string();
    case kEditArray:
      if (record.arraySize == 0) return {};
      return Printf(leaf ? "[%4d]" : "%4d", record.arraySize);
    case kEditDecimals:
      return leaf && record.decimals != 0 ? Printf("%1d", record.decimals) : std::string();
    case kEditUnit:
      return leaf ? std::string(TextOf(record.unit)) : std::string();
    case kEditMax:
    case kEditMin:
    case kEditDefVal:
      return ScatterItemEditTree(record, column);
    default:
      return {};
  }
}

std::string SetRecordSelValue(const Record& record) { return std::string(TextOf(record.varType)); }

// One command of the panel: the panel turns inactive (it swallows its own
// input meanwhile, so a second press cannot start a second command), the
// cursor is busy and pending events run. At the end the panel becomes active
// again, unless the main panel switched away from it meanwhile.
class EditPanel::Operation {
 public:
  explicit Operation(EditPanel& panel)
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
      m_panel.m_terminatePending = false;
      (void)m_panel.TerminateEditPanel();
      return;
    }
    m_panel.m_active = m_panel.m_shown;
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  [[nodiscard]] bool Granted() const { return m_granted; }
  // Before a pop-up, so it does not show the busy cursor.
  void RestoreCursor() { m_cursor.reset(); }
  void BusyAgain() {
    if (!m_cursor) m_cursor.emplace();
  }

 private:
  EditPanel& m_panel;
  bool m_granted;
  std::optional<BusyCursor> m_cursor;
};

EditPanel::EditPanel(QWidget* parent, PanelContext& context)
    : m_context(context),
      m_form(std::make_unique<Ui::EditPanel>()),
      m_selModel(std::make_unique<StructTreeModel>()),
      m_widget(parent),
      m_config(CreateConfigSet()) {
  m_form->setupUi(&m_widget);
  const std::array<QTreeView*, kEditTabs> trees{m_form->TREE_PAR, m_form->TREE_INFO, m_form->TREE_CALIB,
                                                m_form->TREE_MON};
  for (Block block : kConfigBlocks) SetUpPage(block, trees[PageOf(block)]);
  SetUpSelectionTree();
  m_form->TAB->setCurrentIndex(TabOfBlock(Block::Parameters));

  connect(m_form->CBfwImport, &QPushButton::clicked, this, [this] { StructImport(); });
  connect(m_form->cbSELECT, &QPushButton::clicked, this, [this] { Select(); });
  connect(m_form->cbShow1, &QPushButton::clicked, this, [this] { Show(); });
  connect(m_form->TAB, &QTabWidget::currentChanged, this, [this] { EditTabChange(); });
  connect(m_form->cbBigEndian, &QCheckBox::clicked, this, [this] { HeaderChange(HeaderFlag::BigEndian); });
  connect(m_form->cbSwap, &QCheckBox::clicked, this, [this] { HeaderChange(HeaderFlag::Swap); });
  connect(m_form->CBsave, &QPushButton::clicked, this, [this] { SaveConfig(); });
  connect(m_form->CBload, &QPushButton::clicked, this, [this] { LoadConfig(); });
  connect(m_form->CBnewConf, &QPushButton::clicked, this, [this] { NewConf(); });
  connect(m_form->CBnewVal, &QPushButton::clicked, this, [this] { NewVal(); });
  connect(m_form->CBexport, &QPushButton::clicked, this, [this] { ExportStruct(); });
  connect(m_form->CBimport, &QPushButton::clicked, this, [this] { ImportStruct(); });
  connect(m_form->CBImportVal, &QPushButton::clicked, this, [this] { ImportValByPos(); });
  connect(m_form->CBImportDefs, &QPushButton::clicked, this, [this] { ImportValByName(); });

  ApplyLayout();
  ConfigPopulateEditTabs(m_config);
  m_widget.installEventFilter(this);
  for (QWidget* child : m_widget.findChildren<QWidget*>()) child->installEventFilter(this);
}

EditPanel::~EditPanel() = default;

QWidget* EditPanel::Widget() { return &m_widget; }

void EditPanel::SetUpPage(Block block, QTreeView* tree) {
  Page& page = m_pages[PageOf(block)];
  page.tree = tree;
  // Every page's tree answers to the same name; the page tells them apart.
  tree->setObjectName("TREE");
  page.model = std::make_unique<StructTreeModel>();
  page.model->SetColumns({"Name", "Type", "Bit", "[ n ]", "0.0", "Unit", "Max", "Min", "DefVal"});
  page.model->SetCellText(
      [](const Record& record, std::size_t, int column) { return SetRecordEditValue(record, column); });
  page.model->SetCellStyle([](const Record&, std::size_t, int column, int role) -> QVariant {
    if (!IsNumericColumn(column)) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::FontRole) return TabularFont();
    return {};
  });
  // Only the limits and the default of a leaf can be edited.
  page.model->SetCellEdit(
      [](const Record& record, std::size_t, int column) { return record.IsLeaf() && column >= kEditMax; },
      [this, block](std::size_t position, int column, const QString& text) {
        return EditTreeChange(block, position, column, text.toStdString());
      });
  tree->setModel(page.model.get());
  tree->setItemDelegate(new EditCellDelegate(tree));
  tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  tree->header()->setStretchLastSection(false);
  connect(tree, &QTreeView::expanded, this, [this, tree] { FitColumns(tree); });
}

void EditPanel::SetUpSelectionTree() {
  m_form->TREE_SEL->setObjectName("TREE_SEL");
  m_selModel->SetColumns({"Name", "Type"});
  m_selModel->SetCellText([](const Record& record, std::size_t, int column) {
    return column == 1 ? SetRecordSelValue(record) : std::string();
  });
  // Containers in bold, unions besides in italics and their own colour;
  // leaves, enumerations and bit fields in plain text.
  m_selModel->SetCellStyle([](const Record& record, std::size_t, int, int role) -> QVariant {
    const bool container = record.kind == RecordKind::Struct || record.kind == RecordKind::Union;
    const bool isUnion = record.kind == RecordKind::Union;
    if (role == Qt::FontRole) {
      QFont font;
      font.setBold(container);
      font.setItalic(isUnion);
      return font;
    }
    if (role == Qt::ForegroundRole) {
      if (isUnion) return QColor(0x80, 0x00, 0x80);
      if (!container) return QColor(0x20, 0x40, 0x80);
    }
    return {};
  });
  m_form->TREE_SEL->setModel(m_selModel.get());
  m_form->TREE_SEL->header()->setStretchLastSection(false);
  connect(m_form->TREE_SEL, &QTreeView::expanded, this, [this] { FitColumns(m_form->TREE_SEL); });
}

QTabWidget* EditPanel::Tab() const { return m_form->TAB; }

QTreeView* EditPanel::Tree(Block block) const { return m_pages[PageOf(block)].tree; }

StructTreeModel& EditPanel::Model(Block block) const { return *m_pages[PageOf(block)].model; }

QTreeView* EditPanel::SelectionTree() const { return m_form->TREE_SEL; }

Block EditPanel::ActiveBlock() const { return BlockOfTab(m_form->TAB->currentIndex()); }

StructPack& EditPanel::ActivePack() { return tavomark::GetTabIndexedStruct(m_config, ActiveBlock()); }

bool EditPanel::EnableEditPanel(bool flag) {
  m_shown = flag;
  m_active = false;
  if (!flag || m_busy || m_terminated) return true;
  // The tabs show the packs as they are; a new set (loaded, selected into,
  // imported) gets its trees rebuilt.
  if (IsNewConfigSet(m_config)) ConfigPopulateEditTabs(m_config);
  m_active = true;
  return true;
}

int EditPanel::EditEvents(QObject*, QEvent* event) const {
  if (m_active || event == nullptr) return 0;
  return IsUserInput(event->type()) ? 1 : 0;
}

bool EditPanel::eventFilter(QObject* watched, QEvent* event) {
  if (EditEvents(watched, event) != 0) return true;
  if (event->type() == QEvent::KeyPress) {
    for (const Page& page : m_pages) {
      if (watched != page.tree) continue;
      const auto& key = *static_cast<QKeyEvent*>(event);
      if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && OpenMaxCell(page.tree)) return true;
      if (IsSwallowedKey(key)) return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

bool EditPanel::OpenMaxCell(QTreeView* tree) {
  // An editor hands the Enter that closes it on to the tree: that one opens
  // nothing.
  const QModelIndex current = tree->currentIndex();
  if (tree->isColumnHidden(kEditMax) || tree->indexWidget(current) != nullptr) return false;
  if (GetActiveEditRecord(current) == nullptr) return false;
  const QModelIndex cell = current.siblingAtColumn(kEditMax);
  if (tree->indexWidget(cell) != nullptr) return false;  // already open
  tree->setCurrentIndex(cell);
  tree->edit(cell);
  return true;
}

int EditPanel::ConfigPopulateEditTabs(ConfigSet& set) {
  int result = 1;
  for (Block block : kConfigBlocks) {
    Page& page = m_pages[PageOf(block)];
    if (!StructPopulateTree(*page.model, tavomark::GetTabIndexedStruct(set, block))) result = 0;
    page.tree->expand(page.model->IndexOf(1));
    FitColumns(page.tree);
  }
  ShowHeader();
  return result;
}

void EditPanel::PopulateTab(Block block) {
  Page& page = m_pages[PageOf(block)];
  (void)StructPopulateTree(*page.model, tavomark::GetTabIndexedStruct(m_config, block));
  page.tree->expand(page.model->IndexOf(1));
  FitColumns(page.tree);
}

void EditPanel::FitColumns(QTreeView* tree) {
  // Only the rows in view are measured, so this costs the same for any pack.
  const int columns = tree->model()->columnCount();
  for (int column = 0; column < columns; ++column)
    if (!tree->isColumnHidden(column)) tree->resizeColumnToContents(column);
}

Record* EditPanel::GetActiveEditRecord(const QModelIndex& row) {
  const std::size_t position = Model(ActiveBlock()).PositionOf(row);
  Record* record = GetStructPackRecord(ActivePack(), position);
  return record != nullptr && record->IsLeaf() ? record : nullptr;
}

void EditPanel::ShowHeader() {
  const PackHeader& header = ActivePack().header;
  std::string text;
  (void)GetHeaderString(header.codeProj, header.compVerFw, text);
  m_form->TMheader->setText(QString::fromStdString(text));
  m_form->cbBigEndian->setChecked(header.bigEndianMode != 0);
  m_form->cbSwap->setChecked(header.swapDataBlock != 0);
}

void EditPanel::EditTabChange() { ShowHeader(); }

void EditPanel::HeaderChange(HeaderFlag flag) {
  Operation operation(*this);
  if (!operation.Granted()) {
    ShowHeader();
    return;
  }
  PackHeader& header = ActivePack().header;
  if (flag == HeaderFlag::BigEndian)
    header.bigEndianMode = m_form->cbBigEndian->isChecked() ? 1 : 0;
  else
    header.swapDataBlock = m_form->cbSwap->isChecked() ? 1 : 0;
  header.isChanged = 1;
  ShowHeader();
}

bool EditPanel::EditTreeChange(Block block, std::size_t position, int column, const std::string& text) {
  if (column < kEditMax || column > kEditDefVal) return false;
  StructPack& pack = tavomark::GetTabIndexedStruct(m_config, block);
  Record* record = GetStructPackRecord(pack, position);
  if (record == nullptr || !record->IsLeaf()) return false;
  double& field = column == kEditMax ? record->maxValue : column == kEditMin ? record->minValue : record->value;
  const char* name = column == kEditMax ? "Max" : column == kEditMin ? "Min" : "DefVal";
  const auto value = GatherCellValue(*record, text, name);
  if (!value) {
    // The editor is closing: the message waits until it has gone.
    QMetaObject::invokeMethod(
        this, [this, error = value.message()] { m_context.services.MessagePopup(kCellTitle, error); },
        Qt::QueuedConnection);
    return false;
  }
  field = value.value();
  pack.header.isChanged = 1;
  Model(block).RefreshRow(position, kEditMax, kEditDefVal);
  return true;
}

void EditPanel::Message(Operation* operation, const char* title, const std::string& text, const std::string& detail) {
  if (operation != nullptr) operation->RestoreCursor();
  m_context.services.MessagePopup(title, text, detail);
}

void EditPanel::StructImport() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  std::string name = m_form->STRUCT_ROOT->text().left(19).toStdString();
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kFwImportTitle, m_headerPath, "*.h", false)) return;
  operation.BusyAgain();
  QCoreApplication::processEvents();
  // The import fills a pack of its own: one that fails leaves the last
  // import and its tree as they were.
  FwImportPack imported;
  FwImportReport report;
  if (auto retrieved = RetrieveFwPack(m_headerPath, name, imported, report, m_context.projectDir); !retrieved) {
    Message(&operation, kFwImportTitle, kImportError, retrieved.message());
    return;
  }
  m_selModel->Clear();
  m_import = std::move(imported);
  (void)StructPopulateTree(*m_selModel, m_import.pack);
  FitColumns(m_form->TREE_SEL);
  // A structure that parsed only in part is shown as far as it went, and
  // the log says where it stopped.
  if (!report.parsed) Message(&operation, kFwImportTitle, kImportError);
}

void EditPanel::Select() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  const std::size_t position = m_selModel->PositionOf(m_form->TREE_SEL->currentIndex());
  const Record* record = GetStructPackRecord(m_import.pack, position);
  if (record == nullptr || record->numChildren == 0) return;
  const Block block = ActiveBlock();
  if (!tavomark::Select(m_config, block, m_import, position)) return;
  PopulateTab(block);
  ShowHeader();
}

void EditPanel::Show() {
  Operation operation(*this);
  ApplyLayout();
}

void EditPanel::ApplyLayout() {
  // With the import beside them the tabs show the layout of the fields only;
  // alone they show the limits and defaults too. The monitor always shows all.
  const bool import = m_form->cbShow1->isChecked();
  m_form->importArea->setVisible(import);
  for (Block block : kDeviceBlocks) {
    QTreeView* tree = Tree(block);
    for (int column = kEditMax; column <= kEditDefVal; ++column) tree->setColumnHidden(column, import);
    FitColumns(tree);
  }
}

bool EditPanel::SaveConfigSetAs(Operation* operation) {
  if (!IsCompleteConfigSet(m_config)) {
    Message(operation, kSaveTitle, kNotComplete);
    return false;
  }
  if (!IsCoherentConfigSet(m_config, 0)) {
    Message(operation, kSaveTitle, kNotCoherent);
    return false;
  }
  // Every pack of a configuration file starts with the "FW" of the
  // firmware's version text; without it the file could not be loaded again.
  for (const StructPack* pack : {&m_config.monitor, &m_config.param, &m_config.info, &m_config.calib}) {
    if (!StartsWithFw(*pack)) {
      Message(operation, kSaveTitle, "Config Save Error");
      return false;
    }
  }
  std::string path =
      GetConfigPath(m_context.projectDir, m_config.param.header.codeProj, m_config.monitor.header.compVerFw).string();
  if (operation != nullptr) operation->RestoreCursor();
  if (!SelectPath(m_context.services, kSaveTitle, path, "*.cfg", true)) return false;
  if (operation != nullptr) operation->BusyAgain();
  if (auto saved = SaveConfigSet(path, m_config); !saved) {
    Message(operation, kSaveTitle, "Config Save Error", saved.message());
    return false;
  }
  return true;
}

void EditPanel::SaveConfig() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  (void)SaveConfigSetAs(&operation);
}

void EditPanel::LoadConfig() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  std::string path =
      GetConfigPath(m_context.projectDir, m_config.param.header.codeProj, m_config.monitor.header.compVerFw).string();
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kLoadTitle, path, "*.cfg", false)) return;
  operation.BusyAgain();
  const auto loaded = LoadConfigSet(path, m_config);
  if (!loaded) {
    DisposeConfigSet(m_config);
    m_config = CreateConfigSet();
  }
  ConfigPopulateEditTabs(m_config);
  if (!loaded) Message(&operation, kLoadTitle, "Config Load Error", loaded.message());
}

void EditPanel::NewConf() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  if (IsChangedConfigSet(m_config)) {
    operation.RestoreCursor();
    // Yes keeps the work, so that it can be saved first.
    if (m_context.services.ConfirmPopup(kNewValTitle, "Config File is not Saved.\n Do you want save?")) return;
    operation.BusyAgain();
  }
  DisposeConfigSet(m_config);
  m_config = CreateConfigSet();
  ConfigPopulateEditTabs(m_config);
}

void EditPanel::NewVal() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  ValToSendSet set = CreateValToSendSet(m_config);
  if (!IsCompleteValToSendSet(set)) {
    Message(&operation, kNewValTitle, kNotComplete);
  } else if (!IsCoherentValToSendSet(set)) {
    Message(&operation, kNewValTitle, kNotCoherent);
  } else {
    std::string path;
    operation.RestoreCursor();
    if (SelectPath(m_context.services, kNewValTitle, path, "*.vts", true)) {
      operation.BusyAgain();
      if (auto saved = SaveValToSendSet(path, set); !saved)
        Message(&operation, kNewValTitle, "Errors while Saving file", saved.message());
    }
  }
  DisposeValToSendSet(set);
}

void EditPanel::ExportStruct() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  StructPack& pack = ActivePack();
  if (pack.records.empty()) return;
  std::string path = "export.txt";
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kExportTitle, path, "*.txt", true)) return;
  operation.BusyAgain();
  if (auto saved = SaveStructPack(path, pack, false); !saved)
    Message(&operation, kExportTitle, "Struct Export Error", saved.message());
}

void EditPanel::ImportStruct() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  std::string path;
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kImportTitle, path, "*.txt", false)) return;
  operation.BusyAgain();
  StructPack loaded = CreateStructPack();
  StructPack copy = CreateStructPack();
  // The tab takes the file's structure only when it reads and copies whole.
  const auto read = LoadStructPack(path, loaded, false);
  if (!read || !StructPackCopy(copy, loaded, 0)) {
    Message(&operation, kImportTitle, "Struct Import Error", read.message());
    return;
  }
  // A tab that took a new structure is a change to save.
  copy.header.isChanged = 1;
  const Block block = ActiveBlock();
  tavomark::GetTabIndexedStruct(m_config, block) = std::move(copy);
  PopulateTab(block);
  ShowHeader();
}

void EditPanel::ImportValByPos() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  std::string path;
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kByPosTitle, path, "*.val", false)) return;
  operation.BusyAgain();
  ValToSendSet set = CreateValToSendSet(m_config);
  const Block block = ActiveBlock();
  StructPack& pack = ActivePack();
  if (auto read = LoadValToSendSet(path, set); !read) {
    Message(&operation, kByPosTitle, "Errors while loaading file", read.message());
  } else if (!IsCompleteValToSendSet(set) || !IsCoherentValToSendSet(set)) {
    Message(&operation, kByPosTitle, "Invalid File Error");
  } else if (pack.records.empty()) {
    Message(&operation, kByPosTitle, "Empty struct Errors in Config File");
  } else if (block == Block::Monitor) {
    Message(&operation, kByPosTitle, "Set Default data monitor is invalid");
  } else if (!CheckCompatibilityValToSend(set, m_config)) {
    Message(&operation, kByPosTitle, "Compatibility Error");
  } else {
    (void)CopyValByPos(tavomark::GetTabIndexedValToSendPack(set, block), pack);
    pack.header.isChanged = 1;
    (void)StructUpdateTree(Model(block));
  }
  DisposeValToSendSet(set);
}

void EditPanel::ImportValByName() {
  Operation operation(*this);
  if (!operation.Granted()) return;
  std::string path;
  operation.RestoreCursor();
  if (!SelectPath(m_context.services, kByNameTitle, path, "*.txt", false)) return;
  operation.BusyAgain();
  StructPack source = CreateStructPack();
  if (auto read = LoadStructPack(path, source, false); !read) {
    Message(&operation, kByNameTitle, "Struct Value Import Error", read.message());
    return;
  }
  const Block block = ActiveBlock();
  StructPack& pack = ActivePack();
  (void)CopyValByName(pack, source);
  pack.header.isChanged = 1;
  (void)StructUpdateTree(Model(block));
}

bool EditPanel::TerminateEditPanel() {
  m_shown = false;
  m_active = false;
  if (m_terminated) return true;
  if (m_busy) {
    m_terminatePending = true;
    return true;
  }
  // Yes saves; a save that did not happen (cancelled, refused) asks again, so
  // the work is lost only on an explicit no.
  while (IsChangedConfigSet(m_config) &&
         m_context.services.ConfirmPopup(kQuitTitle,
                                         "Config File is not Saved.\n Closing Program the work will lost.\n Do "
                                         "you want save before exit?")) {
    if (SaveConfigSetAs(nullptr)) break;
  }
  ReleaseData();
  return true;
}

void EditPanel::ReleaseData() {
  m_terminated = true;
  for (Page& page : m_pages) page.model->Clear();
  m_selModel->Clear();
  DisposeConfigSet(m_config);
  DisposeStructPack(m_import.pack);
  m_widget.hide();
}

std::unique_ptr<ChildPanel> InitEditPanel(QWidget* parent, PanelContext& context) {
  return std::make_unique<EditPanel>(parent, context);
}

}  // namespace tavomark::ui
