// The configuration editor, driven through its widgets: the demo firmware
// imported from its main header, sub-structures selected into the four tabs,
// cells edited and limited, the byte-order flags, the configuration saved and
// loaded (and compared with what tavomark-cli builds), value files, struct
// text export and import, and defaults taken over by position and by name.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <fstream>

#include "config_editor.h"
#include "edit_panel.h"
#include "struct_pack_file.h"
#include "struct_tree_model.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

using ui::kEditDefVal;
using ui::kEditMax;
using ui::kEditMin;

// A firmware small enough to know by heart: a U8 with two decimals, a
// character, an enumeration, a union and two bit fields in each block.
constexpr const char* kSmallFirmware = R"(
#define szPROJ_VERSION "FW0315 V1.00"
#define CODE_PROJ 315
#define FW_DEV_REVISION 'A'
#define FW_NUM_REVISION '1'
#define COMP_VER_FW 'C'
#define COMP_VER_PAR 'C'
#define COMP_VER_PRODINFO 'A'
#define COMP_VER_CALIB 'B'
#define BIG_ENDIAN_MODE 0
#define COMM_SWAP_DATA_BLOCK 0
typedef enum { MODE_OFF = 0, MODE_ON } Mode_t;
typedef struct {
    U8 gain_c;
    CHR tag;
    Mode_t mode;
    union { U16 word; U8 bytes[2]; } raw;
    struct { U8 a:3; U8 b:5; } bits;
} Block_t;
typedef struct { Block_t par; Block_t info; Block_t cal; Block_t mon; } Small_t;
)";

std::string Trimmed(const QVariant& value) { return value.toString().trimmed().toStdString(); }

std::vector<uint8_t> Serialized(const StructPack& pack) {
  std::vector<uint8_t> bytes;
  uint8_t slot[kRecordSlotBytes];
  for (const Record& r : pack.records) {
    SerializeRecord(r, slot);
    bytes.insert(bytes.end(), slot, slot + sizeof slot);
  }
  return bytes;
}

class EditTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_EQ(StartApp(), 0);
    Control("CBlEdit")->click();
    m_edit = dynamic_cast<ui::EditPanel*>(Panel().Child(ui::kEditPanel));
    ASSERT_NE(m_edit, nullptr);
    ASSERT_TRUE(m_edit->IsActive());
  }

  void Import(const std::filesystem::path& header, const char* root) {
    EditControl<QLineEdit>("STRUCT_ROOT")->setText(root);
    m_services.files = {header.string()};
    EditControl("CBfwImport")->click();
  }
  void ImportSmall() {
    std::ofstream(Path("small.h")) << kSmallFirmware;
    Import(Path("small.h"), "Small_t");
    ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  }
  // Selects the container at the dotted path of the import into a tab.
  void SelectInto(int tab, const std::string& path) {
    const std::size_t position = FindRecordByPath(m_edit->ImportPack().pack, path);
    ASSERT_NE(position, 0u) << path;
    m_edit->Tab()->setCurrentIndex(tab);
    m_edit->SelectionTree()->setCurrentIndex(m_edit->SelectionModel().IndexOf(position));
    EditControl("cbSELECT")->click();
  }
  void SelectFour(const char* par, const char* info, const char* calib, const char* monitor) {
    SelectInto(0, par);
    SelectInto(1, info);
    SelectInto(2, calib);
    SelectInto(3, monitor);
  }
  std::string Cell(int tab, std::size_t position, int column) {
    const ui::StructTreeModel& model = m_edit->Model(BlockOfTab(tab));
    return model.data(model.IndexOf(position, column)).toString().toStdString();
  }
  std::string Header() { return EditControl<QLineEdit>("TMheader")->text().toStdString(); }
  // Types text into a cell's editor and presses Enter.
  void Type(int tab, std::size_t position, int column, const QString& text) {
    QTreeView* tree = m_edit->Tree(BlockOfTab(tab));
    const QModelIndex index = m_edit->Model(BlockOfTab(tab)).IndexOf(position, column);
    tree->setCurrentIndex(index);
    tree->edit(index);
    auto* editor = qobject_cast<QLineEdit*>(tree->indexWidget(index));
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The commit is queued, and so is a refusal's message.
    QApplication::processEvents();
    QApplication::processEvents();
  }
  void Press(const char* button, std::optional<std::string> file = std::nullopt) {
    if (file) m_services.files = {*file};
    EditControl(button)->click();
  }
  // The main panel has a "CBload" of its own: the editor's controls are
  // looked up inside the editor.
  template <typename T = QPushButton>
  T* EditControl(const char* name) {
    T* control = m_edit->Widget()->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  StructPack& TabPack(int tab) { return GetTabIndexedStruct(m_edit->EditConfigSet(), BlockOfTab(tab)); }

  ui::EditPanel* m_edit = nullptr;
};

TEST(EditCells, ColumnsOfLeavesAndContainers) {
  Record bits = Leaf(2, "a", "U8", 1, false, 3);
  Record array = Container(1, RecordKind::Struct, "temp", 4);
  Record element = Leaf(2, "temp[0]", "S16", 2, true, 0, 1);
  element.arraySize = 4;
  SetText(element.unit, "dC");
  element.maxValue = 3276.7;
  element.minValue = -3276.8;
  element.value = -7;
  Record tag = Leaf(1, "tag", "CHR", 1);
  tag.value = 65;
  struct Case {
    const Record* record;
    int column;
    const char* text;
  } const cases[] = {
      {&bits, 1, "U8"},           {&bits, 2, ": 3"},           {&bits, 3, ""},
      {&bits, 4, ""},             {&array, 1, ""},             {&array, 3, "   4"},
      {&array, 8, ""},            {&element, 3, "[   4]"},     {&element, 4, "1"},
      {&element, 5, "dC"},        {&element, 6, "   3276.7"},  {&element, 7, "  -3276.8"},
      {&element, 8, "     -7.0"}, {&tag, 8, "        65"},  // a number, not "A"
  };
  for (const Case& c : cases)
    EXPECT_EQ(ui::SetRecordEditValue(*c.record, c.column), c.text) << c.record->varName << " " << c.column;
  EXPECT_EQ(ui::SetRecordSelValue(array), "STRUCT");
}

TEST_F(EditTest, ControlsCarryTheirNamesAndLabels) {
  EXPECT_EQ(m_edit->Widget()->objectName(), "EDIT");
  const std::pair<const char*, const char*> buttons[] = {
      {"CBfwImport", "FW Import"}, {"CBsave", "Save"},     {"CBload", "Load"},
      {"CBnewConf", "New"},        {"CBnewVal", "New Val"}, {"CBexport", "Export"},
      {"CBimport", "Import"},      {"CBImportVal", "DefsByPos"}, {"CBImportDefs", "DefsByName"}};
  for (const auto& [name, label] : buttons) EXPECT_EQ(EditControl(name)->text(), label) << name;
  EXPECT_EQ(EditControl<QCheckBox>("cbBigEndian")->text(), "BigEnd");
  EXPECT_EQ(EditControl<QCheckBox>("cbSwap")->text(), "Swap");
  EditControl("cbSELECT");
  EditControl("cbShow1");
  EditControl<QLineEdit>("STRUCT_ROOT");
  EditControl<QTreeView>("TREE_SEL");
  const char* const pages[] = {"Parameters", "Info", "Calibration", "Monitor"};
  const char* const pageNames[] = {"EDIT_PAR", "EDIT_INFO", "EDIT_CALIB", "EDIT_MON"};
  QTabWidget* tab = EditControl<QTabWidget>("TAB");
  ASSERT_EQ(tab->count(), 4);
  for (int page = 0; page < 4; ++page) {
    EXPECT_EQ(tab->tabText(page), pages[page]);
    EXPECT_EQ(tab->widget(page)->objectName(), pageNames[page]);
    EXPECT_EQ(tab->widget(page)->findChild<QTreeView*>("TREE"), m_edit->Tree(BlockOfTab(page)));
  }
  QAbstractItemModel* model = m_edit->Tree(Block::Parameters)->model();
  QStringList labels;
  for (int column = 0; column < model->columnCount(); ++column)
    labels << model->headerData(column, Qt::Horizontal).toString();
  EXPECT_EQ(labels, QStringList({"Name", "Type", "Bit", "[ n ]", "0.0", "Unit", "Max", "Min", "DefVal"}));
}

TEST_F(EditTest, DemoFirmwareSelectedIntoFourTabsEqualsTheCliBuild) {
  Import(TAVOMARK_DEMO_HEADER, "DeviceMemory_t");
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  ui::StructTreeModel& sel = m_edit->SelectionModel();
  EXPECT_EQ(Trimmed(sel.data(sel.IndexOf(1))), "devicememory_t");
  EXPECT_EQ(Trimmed(sel.data(sel.IndexOf(1, 1))), "ROOT");
  EXPECT_FALSE(m_edit->SelectionTree()->isExpanded(sel.IndexOf(1)));

  // The compatibility letter of each block lands in its tab's header.
  const std::pair<const char*, const char*> tabs[] = {
      {"par", "PRJ0315C"}, {"nv.info", "PRJ0315A"}, {"nv.calib", "PRJ0315B"}, {"monitor", "PRJ0315C"}};
  for (int tab = 0; tab < 4; ++tab) {
    SelectInto(tab, tabs[tab].first);
    EXPECT_EQ(Header(), tabs[tab].second) << tab;
    EXPECT_EQ(Cell(tab, 1, 0), std::string(tabs[tab].first).substr(std::string(tabs[tab].first).rfind('.') + 1));
  }
  m_edit->Tab()->setCurrentIndex(1);
  EXPECT_EQ(Header(), "PRJ0315A");
  EXPECT_FALSE(EditControl<QCheckBox>("cbBigEndian")->isChecked());

  // A leaf of the import is no structure to select: the tab keeps its pack.
  const std::vector<uint8_t> before = Serialized(TabPack(1));
  SelectInto(1, "par.fanSpeed");
  EXPECT_EQ(Serialized(TabPack(1)), before);

  const std::filesystem::path saved = Path("panel.cfg");
  Press("CBsave", saved.string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  ASSERT_EQ(m_services.fileRequests.back().title, "Save Config");
  EXPECT_EQ(m_services.fileRequests.back().fileName, "PRJ0315cp_C.cfg");
  EXPECT_FALSE(IsChangedConfigSet(m_edit->EditConfigSet()));

#ifdef TAVOMARK_CLI_PATH
  QProcess cli;
  cli.setWorkingDirectory(QString::fromStdString(m_dir.string()));
  cli.start(TAVOMARK_CLI_PATH, {"config", "build", "--header", TAVOMARK_DEMO_HEADER, "--struct", "DeviceMemory_t",
                                "--param", "par", "--info", "nv.info", "--calib", "nv.calib", "--monitor",
                                "monitor", "--out", QString::fromStdString(Path("cli.cfg").string())});
  ASSERT_TRUE(cli.waitForFinished(30000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  EXPECT_EQ(Bytes(saved), Bytes(Path("cli.cfg")));
#endif

  // The saved file loads again equal.
  ConfigSet loaded = CreateConfigSet();
  ASSERT_TRUE(LoadConfigSet(saved, loaded).ok());
  for (int tab = 0; tab < 4; ++tab)
    EXPECT_EQ(Serialized(GetTabIndexedStruct(loaded, BlockOfTab(tab))), Serialized(TabPack(tab))) << tab;
}

TEST_F(EditTest, SelectionTreeMarksUnionsApartAndDrawsLeavesPlain) {
  ImportSmall();
  const StructPack& pack = m_edit->ImportPack().pack;
  const ui::StructTreeModel& sel = m_edit->SelectionModel();
  auto font = [&](const std::string& path) {
    return qvariant_cast<QFont>(sel.data(sel.IndexOf(FindRecordByPath(pack, path)), Qt::FontRole));
  };
  auto colour = [&](const std::string& path) {
    return qvariant_cast<QColor>(sel.data(sel.IndexOf(FindRecordByPath(pack, path)), Qt::ForegroundRole));
  };
  EXPECT_TRUE(font("par").bold());
  EXPECT_TRUE(font("par.raw").bold());
  EXPECT_TRUE(font("par.raw").italic());
  EXPECT_FALSE(font("par").italic());
  EXPECT_FALSE(font("par.gain").bold());
  EXPECT_FALSE(font("par.bits.a").bold());
  EXPECT_NE(colour("par.raw"), colour("par"));
  EXPECT_NE(colour("par.gain"), colour("par"));
  EXPECT_EQ(colour("par.gain"), colour("par.bits.a"));
  for (std::size_t p = 1; p <= pack.records.size(); ++p)
    EXPECT_FALSE(m_edit->SelectionTree()->isExpanded(sel.IndexOf(p))) << p;
}

TEST_F(EditTest, CellsEditOnlyLimitsAndDefaultsOfLeavesWithinTheTypesRange) {
  ImportSmall();
  SelectFour("par", "info", "cal", "mon");
  m_edit->Tab()->setCurrentIndex(0);
  EditControl("cbShow1")->click();  // the tabs alone show all nine columns
  const StructPack& pack = TabPack(0);
  const std::size_t gain = FindRecordByPath(pack, "gain");
  const std::size_t tag = FindRecordByPath(pack, "tag");
  const std::size_t raw = FindRecordByPath(pack, "raw");
  ASSERT_EQ(pack.records[gain - 1].decimals, 2);

  const ui::StructTreeModel& model = m_edit->Model(Block::Parameters);
  for (int column = 0; column < ui::kEditColumns; ++column) {
    EXPECT_EQ(model.flags(model.IndexOf(gain, column)).testFlag(Qt::ItemIsEditable), column >= kEditMax) << column;
    EXPECT_FALSE(model.flags(model.IndexOf(raw, column)).testFlag(Qt::ItemIsEditable)) << column;
  }
  EXPECT_EQ(Cell(0, tag, kEditMax), "       255");  // a character's limit is a number

  Type(0, gain, kEditDefVal, "3.00");
  EXPECT_EQ(Cell(0, gain, kEditDefVal), "    2.55");
  EXPECT_DOUBLE_EQ(pack.records[gain - 1].value, 2.55);
  Type(0, gain, kEditMin, "-1");
  EXPECT_EQ(Cell(0, gain, kEditMin), "    0.00");
  Type(0, gain, kEditDefVal, "1.5");
  EXPECT_EQ(Cell(0, gain, kEditDefVal), "    1.50");
  EXPECT_TRUE(TabPack(0).header.isChanged);
  EXPECT_TRUE(m_services.Messages().empty());

  // Text that is no number: refused, the old value stays and the message says
  // which cell.
  Type(0, gain, kEditDefVal, "abc");
  EXPECT_EQ(Cell(0, gain, kEditDefVal), "    1.50");
  EXPECT_DOUBLE_EQ(pack.records[gain - 1].value, 1.5);
  ExpectOneMessage("Edit", "DefVal: \"abc\" is not a number");

  // Letters 'B' to 'y' never reach the editor; Enter on a leaf row opens Max.
  QTreeView* tree = m_edit->Tree(Block::Parameters);
  const QModelIndex cell = model.IndexOf(gain, kEditMax);
  tree->setCurrentIndex(cell);
  tree->edit(cell);
  auto* editor = qobject_cast<QLineEdit*>(tree->indexWidget(cell));
  ASSERT_NE(editor, nullptr);
  editor->clear();
  QTest::keyClicks(editor, "1b2");
  EXPECT_EQ(editor->text(), "12");
  QTest::keyClick(editor, Qt::Key_Escape);
  QApplication::processEvents();
  tree->setCurrentIndex(model.IndexOf(raw, 0));
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(tree->indexWidget(model.IndexOf(raw, kEditMax)), nullptr);
  tree->setCurrentIndex(model.IndexOf(gain, 0));
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_NE(tree->indexWidget(cell), nullptr);
  EXPECT_EQ(tree->currentIndex().column(), kEditMax);
  EXPECT_EQ(m_edit->GetActiveEditRecord(model.IndexOf(gain)), &TabPack(0).records[gain - 1]);
  EXPECT_EQ(m_edit->GetActiveEditRecord(model.IndexOf(raw)), nullptr);
}

TEST_F(EditTest, TwoLayoutsAndTheByteOrderFlags) {
  ImportSmall();
  SelectFour("par", "info", "cal", "mon");
  QWidget* importArea = EditControl<QWidget>("TREE_SEL")->parentWidget();
  EXPECT_TRUE(EditControl("cbShow1")->isChecked());
  EXPECT_FALSE(importArea->isHidden());
  for (int tab = 0; tab < 4; ++tab) EXPECT_EQ(m_edit->Tree(BlockOfTab(tab))->isColumnHidden(kEditDefVal), tab < 3) << tab;
  EditControl("cbShow1")->click();
  EXPECT_TRUE(importArea->isHidden());
  for (int tab = 0; tab < 4; ++tab) EXPECT_FALSE(m_edit->Tree(BlockOfTab(tab))->isColumnHidden(kEditDefVal)) << tab;

  m_edit->Tab()->setCurrentIndex(2);
  TabPack(2).header.isChanged = 0;
  EditControl<QCheckBox>("cbBigEndian")->click();
  EXPECT_EQ(TabPack(2).header.bigEndianMode, 1);
  EXPECT_EQ(TabPack(2).header.isChanged, 1);
  EXPECT_EQ(TabPack(1).header.bigEndianMode, 0);
  EditControl<QCheckBox>("cbSwap")->click();
  EXPECT_EQ(TabPack(2).header.swapDataBlock, 1);
  m_edit->Tab()->setCurrentIndex(1);
  EXPECT_FALSE(EditControl<QCheckBox>("cbBigEndian")->isChecked());
  EXPECT_EQ(Header(), "PRJ0315A");
  m_edit->Tab()->setCurrentIndex(2);
  EXPECT_TRUE(EditControl<QCheckBox>("cbBigEndian")->isChecked());
  EXPECT_TRUE(EditControl<QCheckBox>("cbSwap")->isChecked());
  EXPECT_EQ(Header(), "PRJ0315B");
}

TEST_F(EditTest, NewValWritesTheDefaults) {
  ImportSmall();
  SelectFour("par", "info", "cal", "mon");
  Press("CBnewVal", Path("defaults.vts").string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(m_services.fileRequests.back().title, "New Value File");
  EXPECT_EQ(m_services.fileRequests.back().filter, "*.vts");
  ValToSendSet values = CreateValToSendSet(CreateConfigSet());
  ASSERT_TRUE(LoadValToSendSet(Path("defaults.vts"), values).ok());
  for (int tab = 0; tab < 3; ++tab) {
    const StructPack& pack = TabPack(tab);
    const Pack& items = GetTabIndexedValToSendPack(values, BlockOfTab(tab));
    ASSERT_EQ(items.Count(), pack.records.size());
    for (std::size_t p = 1; p <= pack.records.size(); ++p)
      EXPECT_EQ(ItemValue(GetValToSendRecord(items, p)), static_cast<float>(pack.records[p - 1].value));
  }
  // Without the other blocks the set is not complete.
  m_services.confirms = {false};
  Press("CBnewConf");
  SelectInto(0, "par");
  m_services.Clear();
  Press("CBnewVal");
  ExpectOneMessage("New Value File", "Config File isn't complete");
}

TEST_F(EditTest, ExportedTabImportsIntoAnotherTab) {
  ImportSmall();
  SelectInto(0, "par");
  Press("CBexport", Path("par.txt").string());
  EXPECT_EQ(m_services.fileRequests.back().fileName, "export.txt");
  m_edit->Tab()->setCurrentIndex(2);
  TabPack(2).header.isChanged = 0;
  Press("CBimport", Path("par.txt").string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(Serialized(TabPack(2)), Serialized(TabPack(0)));
  EXPECT_EQ(Cell(2, 1, 0), "par");
  EXPECT_TRUE(TabPack(2).header.isChanged);
  // An empty tab exports nothing; a file that is no struct text changes nothing.
  m_edit->Tab()->setCurrentIndex(3);
  m_services.Clear();
  Press("CBexport", Path("empty.txt").string());
  EXPECT_TRUE(m_services.fileRequests.empty());
  std::ofstream(Path("junk.txt")) << "no struct here\n";
  m_edit->Tab()->setCurrentIndex(2);
  const std::vector<uint8_t> before = Serialized(TabPack(2));
  Press("CBimport", Path("junk.txt").string());
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].detail,
            "not a struct text file (no records announced, a record line out of order or too long)");
  ExpectOneMessage("Import Struct", "Struct Import Error");
  EXPECT_EQ(Serialized(TabPack(2)), before);
}

TEST_F(EditTest, DefsByNameCopiesOnlyWholeChainMatches) {
  ImportSmall();
  SelectInto(0, "par");
  // The source: the same block with other defaults, and the union renamed.
  StructPack source = CreateStructPack();
  ASSERT_EQ(StructPackCopy(source, TabPack(0), 0), 1);
  const std::size_t gain = FindRecordByPath(source, "gain");
  const std::size_t word = FindRecordByPath(source, "raw.word");
  source.records[gain - 1].value = 1.25;
  source.records[gain - 1].maxValue = 2.0;
  source.records[word - 1].value = 77;
  SetText(source.records[FindRecordByPath(source, "raw") - 1].varName, "other");
  ASSERT_TRUE(SaveStructPack(Path("defs.txt"), source, false).ok());

  Press("CBImportDefs", Path("defs.txt").string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(m_services.fileRequests.back().title, "Import Value by Name");
  EXPECT_DOUBLE_EQ(TabPack(0).records[gain - 1].value, 1.25);
  EXPECT_DOUBLE_EQ(TabPack(0).records[gain - 1].maxValue, 2.0);
  EXPECT_DOUBLE_EQ(TabPack(0).records[word - 1].value, 0.0);
  EditControl("cbShow1")->click();
  EXPECT_EQ(Cell(0, gain, kEditDefVal), "    1.25");

  Press("CBImportDefs", Path("missing.txt").string());
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].detail,
            "cannot open " + Path("missing.txt").string() + ": No such file or directory");
  ExpectOneMessage("Import Value by Name", "Struct Value Import Error");
}

TEST_F(EditTest, DefsByPosTakesAValueFileExceptOnTheMonitor) {
  ImportSmall();
  SelectFour("par", "info", "cal", "mon");
  ValToSendSet values = CreateValToSendSet(m_edit->EditConfigSet());
  const std::size_t gain = FindRecordByPath(TabPack(1), "gain");
  SetItemValue(values.info.Item(gain), 0.5f);
  SetItemValue(values.info.Item(1), 9.0f);  // the root: a container, skipped
  ASSERT_TRUE(SaveValToSendSet(Path("old.val"), values).ok());

  m_edit->Tab()->setCurrentIndex(1);
  Press("CBImportVal", Path("old.val").string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(m_services.fileRequests.back().filter, "*.val");
  EXPECT_DOUBLE_EQ(TabPack(1).records[gain - 1].value, 0.5);
  EXPECT_DOUBLE_EQ(TabPack(1).records[0].value, 0.0);

  m_edit->Tab()->setCurrentIndex(3);
  Press("CBImportVal", Path("old.val").string());
  ExpectOneMessage("Import Value by Position", "Set Default data monitor is invalid");
  std::ofstream(Path("bad.val")) << "nothing";
  Press("CBImportVal", Path("bad.val").string());
  ExpectOneMessage("Import Value by Position", "Errors while loaading file");
  // Values of another layout (the project's own small configuration).
  m_edit->Tab()->setCurrentIndex(0);
  SaveValues(Path("other.val"), MakeConfig(315, 'C'));
  const std::vector<uint8_t> before = Serialized(TabPack(0));
  Press("CBImportVal", Path("other.val").string());
  ExpectOneMessage("Import Value by Position", "Compatibility Error");
  EXPECT_EQ(Serialized(TabPack(0)), before);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
}

TEST_F(EditTest, NewWithUnsavedChangesAsksFirst) {
  ImportSmall();
  SelectInto(0, "par");
  m_services.Clear();
  m_services.confirms = {true};
  Press("CBnewConf");
  ASSERT_EQ(m_services.shown.size(), 1u);
  EXPECT_EQ(m_services.shown[0].kind, "confirm");
  EXPECT_EQ(m_services.shown[0].title, "New Value File");
  EXPECT_EQ(m_services.shown[0].text, "Config File is not Saved.\n Do you want save?");
  EXPECT_FALSE(TabPack(0).records.empty());
  m_services.confirms = {false};
  Press("CBnewConf");
  EXPECT_TRUE(TabPack(0).records.empty());
  EXPECT_EQ(m_edit->Model(Block::Parameters).RecordCount(), 0u);
  EXPECT_EQ(m_services.unexpected, 0);
}

TEST_F(EditTest, DamagedConfigGivesLoadErrorAndAnEmptySet) {
  ConfigSet good = MakeConfig(315, 'C');
  ASSERT_TRUE(SaveConfigSet(Path("good.cfg"), good).ok());
  Press("CBload", Path("good.cfg").string());
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(m_services.fileRequests.back().title, "Load Config");
  EXPECT_EQ(Cell(0, 1, 0), "par");
  EXPECT_EQ(Cell(3, 1, 0), "mon");

  std::vector<uint8_t> bytes = Bytes(Path("good.cfg"));
  bytes.resize(bytes.size() - 100);
  WriteBytes(Path("damaged.cfg"), bytes);
  Press("CBload", Path("damaged.cfg").string());
  ASSERT_FALSE(m_services.Messages().empty());
  EXPECT_NE(m_services.Messages()[0].detail.find("byte"), std::string::npos) << m_services.Messages()[0].detail;
  ExpectOneMessage("Load Config", "Config Load Error");
  for (int tab = 0; tab < 4; ++tab) {
    EXPECT_TRUE(TabPack(tab).records.empty()) << tab;
    EXPECT_EQ(m_edit->Model(BlockOfTab(tab)).RecordCount(), 0u) << tab;
  }
  EXPECT_TRUE(m_edit->IsActive());

  // An empty set is not saved.
  Press("CBsave", Path("x.cfg").string());
  ExpectOneMessage("Save Config", "Config File isn't complete");
  EXPECT_FALSE(std::filesystem::exists(Path("x.cfg")));
}

TEST_F(EditTest, QuitWithUnsavedConfigurationAsksUntilSavedOrNo) {
  ImportSmall();
  SelectFour("par", "info", "cal", "mon");
  m_services.Clear();
  // Yes, then the save dialog is cancelled: asked again; yes and saved.
  m_services.confirms = {true, true};
  m_services.files = {std::nullopt, Path("quit.cfg").string()};
  EXPECT_TRUE(Panel().TerminateMainPanel());
  EXPECT_TRUE(std::filesystem::exists(Path("quit.cfg")));
  std::vector<std::string> titles;
  for (const auto& shown : m_services.shown)
    if (shown.kind == "confirm") titles.push_back(shown.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Quit Application", "Quit Application"}));
  EXPECT_EQ(m_services.shown[0].text,
            "Config File is not Saved.\n Closing Program the work will lost.\n Do you want save before exit?");
  EXPECT_EQ(m_services.unexpected, 0);
}

TEST_F(EditTest, InputIsSwallowedWhileHiddenOrBusy) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  EXPECT_EQ(m_edit->EditEvents(nullptr, &press), 0);
  Control("CBinfo")->click();
  EXPECT_EQ(m_edit->EditEvents(nullptr, &press), 1);
  // A command of a hidden panel does nothing.
  Press("CBnewVal", Path("v.vts").string());
  EXPECT_TRUE(m_services.Messages().empty());
  Control("CBlEdit")->click();
  EXPECT_EQ(m_edit->EditEvents(nullptr, &press), 0);
}

TEST_F(EditTest, FailedFirmwareImportKeepsTheLastImport) {
  ImportSmall();
  const std::size_t records = m_edit->ImportPack().pack.records.size();
  Import(Path("small.h"), "Missing_t");
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].detail,
            "no structure Missing_t in " + Path("small.h").string() + " or the headers it includes");
  ExpectOneMessage("Import Struct from Firmware", "Import Error: view log.txt file for detail");
  EXPECT_EQ(m_edit->ImportPack().pack.records.size(), records);
  EXPECT_EQ(m_edit->SelectionModel().RecordCount(), records);
  EXPECT_TRUE(std::filesystem::exists(Path("log.txt")));
}

}  // namespace
}  // namespace tavomark::test
