#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QStackedWidget>

#include "main_panel.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

using ui::kEditPanel;
using ui::kHelpPanel;
using ui::kLivePanel;
using ui::kParPanel;

constexpr const char* kTitleWithoutFile = "TQ0315C_USER Rev.AB - ";

// --- revision check, port labels and the --port option -------------------

struct RevisionCase {
  uint16_t code;
  char letter;
  bool pass;
  const char* text;
};

class CheckRevisionTest : public ::testing::TestWithParam<RevisionCase> {};

TEST_P(CheckRevisionTest, ComparesProjectCodeAndLetter) {
  const RevisionCase& c = GetParam();
  PackHeader monitor;
  monitor.codeProj = 315;
  monitor.compVerFw = 'C';
  link::InfoData info;
  info.firmwareCode = c.code;
  info.compVerFw = c.letter;
  info.fwDevRevision = 'B';
  info.fwNumRevision = '2';
  std::string text;
  EXPECT_EQ(ui::CheckRevision(text, info, monitor), c.pass);
  EXPECT_EQ(text, c.text);
  EXPECT_FALSE(ui::CheckRevision(text, std::nullopt, monitor));
  EXPECT_EQ(text, "Invalid Info Data");
}

INSTANTIATE_TEST_SUITE_P(Records, CheckRevisionTest,
                         ::testing::Values(RevisionCase{315, 'C', true, "FW 0315 par. C rev. B2"},
                                           RevisionCase{316, 'C', false, "FW 0316 par. C rev. B2"},
                                           RevisionCase{315, 'D', false, "FW 0315 par. D rev. B2"},
                                           // a zero byte would cut the message short
                                           RevisionCase{315, '\0', false, "FW 0315 par. ? rev. B2"}));

TEST(PortNames, RingLabelsAndCommandLineNames) {
  const std::vector<link::NumberedPort> table = {{1, "/dev/ttyS0"}, {3, "COM3"}, {5, "/dev/pts/4"}};
  EXPECT_EQ(ui::PortRingLabel(-2, table), "T_CAN");
  EXPECT_EQ(ui::PortRingLabel(-1, table), "T_SER");
  EXPECT_EQ(ui::PortRingLabel(-3, table), "");
  EXPECT_EQ(ui::PortRingLabel(1, table), "COM1 (ttyS0)");
  EXPECT_EQ(ui::PortRingLabel(3, table), "COM3");
  EXPECT_EQ(ui::PortRingLabel(5, table), "COM5 (pts/4)");
  EXPECT_EQ(ui::ResolvePortOption("-1"), -1);
  EXPECT_EQ(ui::ResolvePortOption("com12"), 12);
  EXPECT_EQ(ui::ResolvePortOption("T_CAN"), -2);
  for (const char* bad : {"0", "256", "-3", "COM0", "COMx", "", "3x"})
    EXPECT_FALSE(ui::ResolvePortOption(bad).has_value()) << bad;
}

// --- start-up -------------------------------------------------------------

TEST_F(AppTest, MissingSettingsFileStartsWithPortZeroAndWritesANewOne) {
  ASSERT_EQ(StartApp(), 0);
  EXPECT_EQ(Control<QComboBox>("RINGport")->count(), 0);
  const std::vector<uint8_t> bytes = Bytes(Path("tavomark.ini"));
  ASSERT_EQ(bytes.size(), 1042u);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(Title(), kTitleWithoutFile);
  EXPECT_EQ(Panel().ActivePanel(), kHelpPanel);
  EXPECT_TRUE(Panel().Child(kHelpPanel)->IsActive());
  EXPECT_TRUE(m_services.shown.empty());
}

TEST_F(AppTest, LastValueFileOfAnotherLetterIsForgotten) {
  SaveConfig(MakeConfig(315, 'D'));
  SaveValues(Path("other.vts"), 315, 'D');
  SettingsBlock settings;
  SetText(settings.lastValueFile, Path("other.vts").string());
  settings.portIndex = 4;
  ASSERT_EQ(WriteInitFile(m_dir, settings), 0);

  ASSERT_EQ(StartApp({4}), 0);
  EXPECT_EQ(Title(), kTitleWithoutFile);
  EXPECT_EQ(m_app->Data().vts.param.header.compVerFw, 'C');
  const SettingsBlock saved = SavedSettings();
  EXPECT_STREQ(saved.lastValueFile, "");
  EXPECT_EQ(saved.portIndex, 4);
}

TEST_F(AppTest, CompatibleLastValueFileIsRestoredAndNamedInTheTitle) {
  SaveValues(Path("run7.vts"), 315, 'C');
  SettingsBlock settings;
  SetText(settings.lastValueFile, Path("run7.vts").string());
  ASSERT_EQ(WriteInitFile(m_dir, settings), 0);

  ASSERT_EQ(StartApp(), 0);
  EXPECT_EQ(Title(), std::string(kTitleWithoutFile) + "run7");
  EXPECT_EQ(SavedSettings().lastValueFile, Path("run7.vts").string());
  Panel().MainHandler();
  EXPECT_EQ(Control<QLineEdit>("TMparName")->text(), "run7");
}

TEST_F(AppTest, MissingDeviceDescriptionEndsWithInitializeError) {
  std::filesystem::remove(Path("tavomark.dat"));
  EXPECT_EQ(StartApp(), -1);
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Initialize Error");
  EXPECT_EQ(m_services.Messages()[0].text, "\nMissing system files Error. Install program again!\n");
  EXPECT_FALSE(std::filesystem::exists(Path("tavomark.ini")));
}

TEST_F(AppTest, SavedPortMissingFromTheRingSelectsTheFirstAndSavesIt) {
  SettingsBlock settings;
  settings.portIndex = 9;
  ASSERT_EQ(WriteInitFile(m_dir, settings), 0);
  ASSERT_EQ(StartApp({-1, 2, 3}), 0);
  auto* ring = Control<QComboBox>("RINGport");
  ASSERT_EQ(ring->count(), 3);
  EXPECT_EQ(ring->itemText(0), "T_SER");
  EXPECT_EQ(ring->currentIndex(), 0);
  EXPECT_EQ(SavedSettings().portIndex, -1);
  ring->setCurrentIndex(1);
  Panel().SetComPort();
  EXPECT_EQ(SavedSettings().portIndex, 2);
  // Rescan keeps the chosen port while it is still there.
  m_ports = {2, 5};
  Control("CBrescan")->click();
  EXPECT_EQ(ring->count(), 2);
  EXPECT_EQ(ring->currentData().toInt(), 2);
}

// --- the main timer -------------------------------------------------------

// A child panel that counts the protocol calls made on it.
struct Calls {
  int enable = 0;
  int disable = 0;
  int handler = 0;
  int terminate = 0;
  std::function<void()> onHandler;
};

class CountingPanel final : public ui::ChildPanel {
 public:
  CountingPanel(QWidget* parent, Calls& calls) : m_widget(parent), m_calls(calls) {}
  QWidget* Widget() override { return &m_widget; }
  bool Enable(bool flag) override {
    ++(flag ? m_calls.enable : m_calls.disable);
    m_active = flag;
    return true;
  }
  void Handler(bool) override {
    ++m_calls.handler;
    if (m_calls.onHandler) m_calls.onHandler();
  }
  bool Terminate() override {
    ++m_calls.terminate;
    return true;
  }

 private:
  QWidget m_widget;
  Calls& m_calls;
};

class CountingAppTest : public AppTest {
 protected:
  int StartCounting() {
    std::array<ui::ChildPanelFactory, ui::kChildPanels> panels;
    for (int i = 0; i < ui::kChildPanels; ++i)
      panels[static_cast<std::size_t>(i)] = [this, i](QWidget* parent, ui::PanelContext&) {
        return std::make_unique<CountingPanel>(parent, m_calls[static_cast<std::size_t>(i)]);
      };
    return StartApp({}, std::nullopt, panels);
  }
  std::array<Calls, ui::kChildPanels> m_calls;
};

TEST_F(CountingAppTest, TickRunsEveryHandlerOnceAndNeverInsideAnotherTick) {
  ASSERT_EQ(StartCounting(), 0);
  // The live panel's handler waits for the engine in the real program; any
  // tick raised meanwhile must not run.
  m_calls[kLivePanel].onHandler = [this] { Panel().MainHandler(); };
  Panel().SetProgressBar(40);
  EXPECT_EQ(Panel().MainHandler(), 1);
  for (const Calls& c : m_calls) EXPECT_EQ(c.handler, 1);
  EXPECT_FALSE(Control<QProgressBar>("NSprogressBar")->isVisibleTo(&Panel()));
  EXPECT_EQ(Control("TBcom")->text(), "Open");
  EXPECT_FALSE(Control("TBcom")->isChecked());
  EXPECT_EQ(Title(), kTitleWithoutFile);
}

TEST_F(CountingAppTest, ChangePanelSwitchesOnceAndIgnoresTheActiveButton) {
  ASSERT_EQ(StartCounting(), 0);
  EXPECT_EQ(m_calls[kHelpPanel].enable, 1);
  Control("CBparam")->click();
  EXPECT_EQ(Panel().ActivePanel(), kParPanel);
  EXPECT_EQ(m_calls[kHelpPanel].disable, 1);
  EXPECT_EQ(m_calls[kParPanel].enable, 1);
  EXPECT_EQ(Control<QStackedWidget>("panelArea")->currentWidget(), Panel().Child(kParPanel)->Widget());
  Control("CBparam")->click();
  EXPECT_EQ(m_calls[kParPanel].enable, 1);
  EXPECT_EQ(m_calls[kParPanel].disable, 0);
  Control("CBlive")->click();
  Control("CBlEdit")->click();
  Control("CBinfo")->click();
  EXPECT_EQ(Panel().ActivePanel(), kHelpPanel);
  EXPECT_EQ(m_calls[kEditPanel].enable, 1);
  EXPECT_EQ(m_calls[kEditPanel].disable, 1);
}

// --- quitting -------------------------------------------------------------

TEST_F(CountingAppTest, QuitWithSavedValuesEndsOnTheNextTick) {
  ASSERT_EQ(StartCounting(), 0);
  Control("CBexit")->click();
  EXPECT_EQ(m_quits, 0);  // the timer does the work
  Panel().MainHandler();
  EXPECT_EQ(m_quits, 1);
  EXPECT_TRUE(m_services.shown.empty());
  for (const Calls& c : m_calls) EXPECT_EQ(c.terminate, 1);
  EXPECT_EQ(m_calls[kHelpPanel].handler, 0);  // the quitting tick does nothing else
}

TEST_F(CountingAppTest, QuitWithUnsavedValuesAsksAndNoQuitsWithoutSaving) {
  ASSERT_EQ(StartCounting(), 0);
  m_app->Data().vts.param.header.isChanged = 1;
  Panel().close();  // the close box
  m_services.confirms = {false};
  Panel().MainHandler();
  ASSERT_EQ(m_services.shown.size(), 1u);
  EXPECT_EQ(m_services.shown[0].kind, "confirm");
  EXPECT_EQ(m_services.shown[0].title, "Quit Application");
  EXPECT_EQ(m_services.shown[0].text,
            "Value File is not Saved.\n Closing Program the work will lost.\n Do you want save before exit?");
  EXPECT_EQ(m_quits, 1);
  EXPECT_EQ(m_calls[kParPanel].terminate, 1);
}

// The operator asked to keep the values: quitting after a cancelled save
// would lose them, so the program stays until a save happens.
TEST_F(CountingAppTest, QuitWithUnsavedValuesYesQuitsOnlyOnceSaved) {
  ASSERT_EQ(StartCounting(), 0);
  m_app->Data().vts.param.header.isChanged = 1;
  m_services.confirms = {true, true};
  m_services.files = {std::nullopt, Path("kept.vts").string()};
  Panel().RequestQuit();
  Panel().MainHandler();
  EXPECT_EQ(m_quits, 0);
  EXPECT_EQ(m_calls[kParPanel].terminate, 0);
  Panel().RequestQuit();
  Panel().MainHandler();
  EXPECT_TRUE(std::filesystem::exists(Path("kept.vts")));
  EXPECT_EQ(m_quits, 1);
}

// --- load and store -------------------------------------------------------

TEST_F(AppTest, LoadReplacesTheValuesAndRemembersTheFile) {
  ConfigSet config = MakeConfig(315, 'C');
  ValToSendSet values = CreateValToSendSet(config);
  SetItemValue(values.param.Item(2), 99.5f);
  ASSERT_EQ(SaveValToSendSet(Path("tuned.vts"), values), 1);
  ASSERT_EQ(StartApp(), 0);
  m_services.files = {Path("tuned.vts").string()};
  Control("CBload")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  EXPECT_FLOAT_EQ(ItemValue(m_app->Data().vts.param.Item(2)), 99.5f);
  EXPECT_EQ(SavedSettings().lastValueFile, Path("tuned.vts").string());
  Panel().MainHandler();  // the title follows on the next tick
  EXPECT_EQ(Title(), std::string(kTitleWithoutFile) + "tuned");
  EXPECT_TRUE(Control("CBload")->isEnabled());
  EXPECT_TRUE(Panel().Child(kHelpPanel)->IsActive());
  EXPECT_EQ(m_services.shown.at(0).title, "Load Value data");
}

struct LoadFailure {
  const char* name;
  uint16_t code;
  char letter;
  int extraParam;
  bool garbage;
  const char* text;
};

class LoadFailureTest : public AppTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(LoadFailureTest, RefusedFileLeavesValuesAndPathAlone) {
  const LoadFailure& c = GetParam();
  const std::filesystem::path file = Path("bad.vts");
  if (c.garbage)
    WriteBytes(file, {'n', 'o', 't', ' ', 'v', 't', 's'});
  else
    SaveValues(file, c.code, c.letter, c.extraParam);
  ASSERT_EQ(StartApp(), 0);
  const std::vector<uint8_t> before = m_app->Data().vts.param.items;
  m_services.files = {file.string()};
  Control("CBload")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Load");
  EXPECT_EQ(m_services.Messages()[0].text, c.text);
  EXPECT_EQ(m_app->Data().vts.param.items, before);
  EXPECT_STREQ(SavedSettings().lastValueFile, "");
  EXPECT_EQ(Title(), kTitleWithoutFile);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFailureTest,
    ::testing::Values(LoadFailure{"Garbage", 0, 0, 0, true, "Load Error"},
                      LoadFailure{"OtherProject", 316, 'C', 0, false, "Invalid Parameter File"},
                      LoadFailure{"OtherCount", 315, 'C', 1, false, "Wrong Param records's number"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, StoreReportsAFailureAndSavesTheWorkingValues) {
  ASSERT_EQ(StartApp(), 0);
  ValToSendSet& vts = m_app->Data().vts;
  vts.param.header.isChanged = 1;
  SetItemValue(vts.param.Item(2), 3.25f);
  m_services.files = {Path("no_such_folder/saved.vts").string(), Path("saved.vts").string()};
  Control("CBstore")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Store");
  EXPECT_EQ(m_services.Messages()[0].text, "errore durante il salvataggio dei parametri");
  EXPECT_TRUE(IsChangedValToSendSet(vts));  // still to be saved
  EXPECT_TRUE(Control("CBstore")->isEnabled());

  Control("CBstore")->click();
  EXPECT_EQ(m_services.Messages().size(), 1u);
  EXPECT_TRUE(m_services.fileRequests.at(1).save);
  EXPECT_EQ(m_services.fileRequests[1].fileName, "saved.vts");  // starts from the last choice
  EXPECT_EQ(Control<QLineEdit>("TMparName")->text(), "saved");
  EXPECT_EQ(SavedSettings().lastValueFile, Path("saved.vts").string());
  EXPECT_FALSE(IsChangedValToSendSet(vts));
  ValToSendSet back;
  ASSERT_EQ(LoadValToSendSet(Path("saved.vts"), back), 1);
  EXPECT_FLOAT_EQ(ItemValue(back.param.Item(2)), 3.25f);
}

TEST_F(AppTest, OpenWithoutAnyPortCannotConnect) {
  ASSERT_EQ(StartApp(), 0);
  Control("TBcom")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Open Communication");
  EXPECT_EQ(m_services.Messages()[0].text, "Can't connect...");
  EXPECT_FALSE(Control("TBcom")->isChecked());
}

}  // namespace
}  // namespace tavomark::test
