// The main panel: start-up, the main timer, panel switching, quitting, load
// and store; then connecting to tavomark-sim over a pseudo-terminal.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QStackedWidget>

#include <sys/stat.h>

#include "ui_test_util.h"

namespace tavomark::test {
namespace {

using ui::kEditPanel;
using ui::kHelpPanel;
using ui::kLivePanel;
using ui::kParPanel;

// --- revision check, port labels and the --port option -------------------

TEST(CheckRevision, ComparesProjectCodeAndLetter) {
  PackHeader monitor;
  monitor.codeProj = 315;
  monitor.compVerFw = 'C';
  struct Case {
    uint16_t code;
    char letter;
    bool pass;
    const char* text;
  };
  for (const Case& c : {Case{315, 'C', true, "FW 0315 par. C rev. B2"}, Case{316, 'C', false, "FW 0316 par. C rev. B2"},
                        Case{315, 'D', false, "FW 0315 par. D rev. B2"},
                        // a zero byte would cut the message short
                        Case{315, '\0', false, "FW 0315 par. ? rev. B2"}}) {
    link::InfoData info;
    info.firmwareCode = c.code;
    info.compVerFw = c.letter;
    info.fwDevRevision = 'B';
    info.fwNumRevision = '2';
    std::string text;
    EXPECT_EQ(ui::CheckRevision(text, info, monitor), c.pass) << c.text;
    EXPECT_EQ(text, c.text);
  }
  std::string text;
  EXPECT_FALSE(ui::CheckRevision(text, std::nullopt, monitor));
  EXPECT_EQ(text, "Invalid Info Data");
}

TEST(PortNames, RingLabels) {
  const std::vector<link::NumberedPort> table = {{1, "/dev/ttyS0"}, {3, "COM3"}, {5, "/dev/pts/4"}};
  const std::vector<std::pair<int32_t, const char*>> labels = {
      {-2, "T_CAN"}, {-1, "T_SER"}, {-3, ""}, {1, "COM1 (ttyS0)"}, {3, "COM3"}, {5, "COM5 (pts/4)"}};
  for (const auto& [port, label] : labels) EXPECT_EQ(ui::PortRingLabel(port, table), label) << port;
}

// --- start-up -------------------------------------------------------------

TEST_F(AppTest, MissingSettingsFileStartsWithPortZeroAndWritesANewOne) {
  ASSERT_EQ(StartApp(), 0);
  EXPECT_EQ(Control<QComboBox>("RINGport")->count(), 0);
  SettingsBlock saved;
  SettingsRead status = SettingsRead::kMissing;
  ASSERT_EQ(ReadInitFile(m_dir, saved, &status), 1);
  EXPECT_EQ(status, SettingsRead::kText);
  EXPECT_EQ(saved.portIndex, 0);
  EXPECT_EQ(Title(), kTitleWithoutFile);
  EXPECT_EQ(Panel().ActivePanel(), kHelpPanel);
  EXPECT_TRUE(Panel().Child(kHelpPanel)->IsActive());
  EXPECT_TRUE(m_services.shown.empty());
}

// The binary settings block of older versions is read once and written as
// text at start, before anything else changes it.
TEST_F(AppTest, OldBinarySettingsAreRewrittenAsTextAtStart) {
  std::vector<uint8_t> block(1042, 0);
  block[0] = 4;
  WriteBytes(Path("tavomark.ini"), block);
  ASSERT_EQ(StartApp({4}), 0);
  SettingsBlock saved;
  SettingsRead status = SettingsRead::kMissing;
  ASSERT_EQ(ReadInitFile(m_dir, saved, &status), 1);
  EXPECT_EQ(status, SettingsRead::kText);
  EXPECT_EQ(saved.portIndex, 4);
  EXPECT_EQ(Control<QComboBox>("RINGport")->currentData().toInt(), 4);
}

// The main timer runs at 200 ms unless the settings or the start options
// say otherwise; a period out of 20..2000 ms is held at the nearest limit.
TEST_F(AppTest, MainTimerPeriodIsASettingWithinLimits) {
  SettingsBlock settings;
  settings.mainTimerMs = 50;
  ASSERT_TRUE(WriteInitFile(m_dir, settings));
  ASSERT_EQ(StartApp(), 0);
  EXPECT_EQ(Panel().Timer().interval(), 50);
  m_app.reset();
  ASSERT_TRUE(WriteInitFile(m_dir, SettingsBlock{}));
  ASSERT_EQ(StartApp(), 0);
  EXPECT_EQ(Panel().Timer().interval(), 200);
  const std::pair<int, int> periods[] = {{50, 50}, {20, 20}, {5, 20}, {2000, 2000}, {5000, 2000}};
  for (const auto& [asked, expected] : periods) {
    Panel().SetTimerPeriod(asked);
    EXPECT_EQ(Panel().Timer().interval(), expected) << asked;
  }
}

// The last value file is restored only when it belongs to the configuration
// (letter 'C'); one of another letter is forgotten.
class LastValueFileTest : public AppTest, public ::testing::WithParamInterface<char> {};

TEST_P(LastValueFileTest, RestoredOnlyWhenCompatible) {
  const bool compatible = GetParam() == 'C';
  SaveConfig(MakeConfig(315, GetParam()));
  SaveValues(Path("run7.vts"), MakeConfig(315, GetParam()));
  SettingsBlock settings;
  settings.lastValueFile = Path("run7.vts").string();
  settings.portIndex = 4;
  ASSERT_TRUE(WriteInitFile(m_dir, settings));

  ASSERT_EQ(StartApp({4}), 0);
  EXPECT_EQ(Title(), std::string(kTitleWithoutFile) + (compatible ? "run7" : ""));
  EXPECT_EQ(m_app->Data().vts.param.header.compVerFw, 'C');
  const SettingsBlock saved = SavedSettings();
  EXPECT_EQ(saved.lastValueFile, compatible ? Path("run7.vts").string() : "");
  EXPECT_EQ(saved.portIndex, 4);
  Panel().MainHandler();
  EXPECT_EQ(Control<QLineEdit>("TMparName")->text(), compatible ? "run7" : "");
}

INSTANTIATE_TEST_SUITE_P(Letters, LastValueFileTest, ::testing::Values('C', 'D'));

TEST_F(AppTest, MissingDeviceDescriptionEndsWithInitializeError) {
  std::filesystem::remove(Path("tavomark.dat"));
  EXPECT_EQ(StartApp(), -1);
  // The detail names the file that is missing.
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_NE(m_services.Messages()[0].detail.find("tavomark.dat"), std::string::npos)
      << m_services.Messages()[0].detail;
  ExpectOneMessage("Initialize Error", "\nMissing system files Error. Install program again!\n");
  EXPECT_FALSE(std::filesystem::exists(Path("tavomark.ini")));
}

TEST_F(AppTest, SavedPortMissingFromTheRingSelectsTheFirstAndSavesIt) {
  SettingsBlock settings;
  settings.portIndex = 9;
  ASSERT_TRUE(WriteInitFile(m_dir, settings));
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

// --- the main timer, panel switching and quitting -------------------------

// A child panel that counts the protocol calls made on it.
struct Calls {
  int enable = 0, disable = 0, handler = 0, terminate = 0;
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
  bool Terminate() override { return ++m_calls.terminate > 0; }

 private:
  QWidget m_widget;
  Calls& m_calls;
};

class CountingAppTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::array<ui::ChildPanelFactory, ui::kChildPanels> panels;
    for (std::size_t i = 0; i < panels.size(); ++i)
      panels[i] = [this, i](QWidget* parent, ui::PanelContext&) {
        return std::make_unique<CountingPanel>(parent, m_calls[i]);
      };
    ASSERT_EQ(StartApp({}, std::nullopt, panels), 0);
  }
  std::array<Calls, ui::kChildPanels> m_calls;
};

TEST_F(CountingAppTest, TickRunsEveryHandlerOnceAndNeverInsideAnotherTick) {
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
  EXPECT_EQ(m_calls[kHelpPanel].enable, 1);
  Control("CBparam")->click();
  EXPECT_EQ(Panel().ActivePanel(), kParPanel);
  EXPECT_EQ(m_calls[kHelpPanel].disable, 1);
  EXPECT_EQ(m_calls[kParPanel].enable, 1);
  EXPECT_EQ(Control<QStackedWidget>("panelArea")->currentWidget(), Panel().Child(kParPanel)->Widget());
  Control("CBparam")->click();
  EXPECT_EQ(m_calls[kParPanel].enable, 1);
  EXPECT_EQ(m_calls[kParPanel].disable, 0);
  for (const char* button : {"CBlive", "CBlEdit", "CBinfo"}) Control(button)->click();
  EXPECT_EQ(Panel().ActivePanel(), kHelpPanel);
  EXPECT_EQ(m_calls[kEditPanel].enable, 1);
  EXPECT_EQ(m_calls[kEditPanel].disable, 1);
}

TEST_F(CountingAppTest, QuitWithSavedValuesEndsOnTheNextTick) {
  Control("CBexit")->click();
  EXPECT_EQ(m_quits, 0);  // the timer does the work
  Panel().MainHandler();
  EXPECT_EQ(m_quits, 1);
  EXPECT_TRUE(m_services.shown.empty());
  for (const Calls& c : m_calls) EXPECT_EQ(c.terminate, 1);
  EXPECT_EQ(m_calls[kHelpPanel].handler, 0);  // the quitting tick does nothing else
}

TEST_F(CountingAppTest, QuitWithUnsavedValuesAsksAndNoQuitsWithoutSaving) {
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
  SaveValues(Path("tuned.vts"), MakeConfig(315, 'C'), {{kSpeed, 99.5f}});
  ASSERT_EQ(StartApp(), 0);
  m_services.files = {Path("tuned.vts").string()};
  Control("CBload")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  EXPECT_EQ(m_services.shown.at(0).title, "Load Value data");
  EXPECT_FLOAT_EQ(ItemValue(m_app->Data().vts.param.Item(kSpeed)), 99.5f);
  EXPECT_EQ(SavedSettings().lastValueFile, Path("tuned.vts").string());
  Panel().MainHandler();  // the title follows on the next tick
  EXPECT_EQ(Title(), std::string(kTitleWithoutFile) + "tuned");
  EXPECT_TRUE(Control("CBload")->isEnabled());
  EXPECT_TRUE(Panel().Child(kHelpPanel)->IsActive());
}

struct LoadFailure {
  const char* name;
  uint16_t code;
  int extraParam;
  const char* text;  // "Load Error": not a value file at all
};

class LoadFailureTest : public AppTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(LoadFailureTest, RefusedFileLeavesValuesAndPathAlone) {
  const LoadFailure& c = GetParam();
  const std::filesystem::path file = Path("bad.vts");
  if (c.code == 0)
    WriteBytes(file, {'n', 'o', 't', ' ', 'v', 't', 's'});
  else
    SaveValues(file, MakeConfig(c.code, 'C', c.extraParam));
  ASSERT_EQ(StartApp(), 0);
  const std::vector<uint8_t> before = m_app->Data().vts.param.items;
  m_services.files = {file.string()};
  Control("CBload")->click();
  ExpectOneMessage("Load", c.text);
  EXPECT_EQ(m_app->Data().vts.param.items, before);
  EXPECT_EQ(SavedSettings().lastValueFile, "");
  EXPECT_EQ(Title(), kTitleWithoutFile);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailureTest,
                         ::testing::Values(LoadFailure{"Garbage", 0, 0, "Load Error"},
                                           LoadFailure{"OtherProject", 316, 0, "Invalid Parameter File"},
                                           LoadFailure{"OtherCount", 315, 1, "Wrong Param records's number"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, StoreReportsAFailureAndSavesTheWorkingValues) {
  ASSERT_EQ(StartApp(), 0);
  ValToSendSet& vts = m_app->Data().vts;
  vts.param.header.isChanged = 1;
  SetItemValue(vts.param.Item(kSpeed), 3.25f);
  m_services.files = {Path("no_such_folder/saved.vts").string(), Path("saved.vts").string()};
  Control("CBstore")->click();
  ExpectOneMessage("Store", "errore durante il salvataggio dei parametri");
  EXPECT_TRUE(IsChangedValToSendSet(vts));  // still to be saved
  EXPECT_TRUE(Control("CBstore")->isEnabled());

  Control("CBstore")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  ASSERT_EQ(m_services.fileRequests.size(), 1u);
  EXPECT_TRUE(m_services.fileRequests[0].save);
  EXPECT_EQ(m_services.fileRequests[0].fileName, "saved.vts");  // starts from the last choice
  EXPECT_EQ(Control<QLineEdit>("TMparName")->text(), "saved");
  EXPECT_EQ(SavedSettings().lastValueFile, Path("saved.vts").string());
  EXPECT_FALSE(IsChangedValToSendSet(vts));
  ValToSendSet back;
  ASSERT_TRUE(LoadValToSendSet(Path("saved.vts"), back).ok());
  EXPECT_FLOAT_EQ(ItemValue(back.param.Item(kSpeed)), 3.25f);
}

// --- connecting -----------------------------------------------------------

TEST_F(AppTest, OpenWithoutAnyPortCannotConnect) {
  ASSERT_EQ(StartApp(), 0);
  Control("TBcom")->click();
  ExpectOneMessage("Open Communication", "Can't connect...");
  EXPECT_FALSE(Control("TBcom")->isChecked());
}

// The desktop program lists the ports and creates the hidden panels only
// after its window's first paint, unless a tick or a command needs them first.
class PortListAfterPaintTest : public AppTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PortListAfterPaintTest, RingAndPanelsAreFilledByThePaintOrTheFirstTick) {
  SettingsBlock settings;
  settings.portIndex = 3;
  ASSERT_TRUE(WriteInitFile(m_dir, settings));
  m_app = std::make_unique<ui::Application>(m_services);
  ui::StartOptions options;
  options.projectDir = m_dir;
  options.portListAfterFirstPaint = true;
  options.panelsAfterFirstPaint = true;
  options.engine.listPorts = [this](std::vector<int32_t>& list, const link::PortScan&) { list = m_ports; };
  m_ports = {2, 3};
  ASSERT_EQ(m_app->Start(std::move(options)), 0);
  auto* ring = Control<QComboBox>("RINGport");
  EXPECT_EQ(ring->count(), 0);
  EXPECT_NE(Panel().findChild<QWidget*>("HELP"), nullptr);
  for (const char* hidden : {"PAR", "LIVE", "EDIT"}) EXPECT_EQ(Panel().findChild<QWidget*>(hidden), nullptr) << hidden;
  EXPECT_EQ(Panel().MenuAction("Undo"), nullptr);
  if (std::string(GetParam()) == "paint") {
    Panel().show();
    for (int i = 0; i < 100 && ring->count() == 0; ++i) QApplication::processEvents();
  } else {
    Panel().MainHandler();
  }
  ASSERT_EQ(ring->count(), 2);
  EXPECT_EQ(ring->currentData().toInt(), 3);
  for (const char* panel : {"HELP", "PAR", "LIVE", "EDIT"}) EXPECT_NE(Panel().findChild<QWidget*>(panel), nullptr) << panel;
  EXPECT_NE(Panel().MenuAction("Undo"), nullptr);
  m_ports = {5};
  Panel().MainHandler();  // listed once: later ticks leave the ring alone
  EXPECT_EQ(ring->count(), 2);
}

INSTANTIATE_TEST_SUITE_P(Triggers, PortListAfterPaintTest, ::testing::Values("paint", "tick"));

// A panel asked for by a command before the paint is created then; a start
// with no last value file to restore writes no settings before the paint.
TEST_F(AppTest, PanelIsCreatedWhenFirstNeededAndStartWritesNoSettings) {
  SettingsBlock settings;
  ASSERT_TRUE(WriteInitFile(m_dir, settings));
  struct stat beforeStat{};
  ASSERT_EQ(::stat(Path("tavomark.ini").c_str(), &beforeStat), 0);
  m_app = std::make_unique<ui::Application>(m_services);
  ui::StartOptions options;
  options.projectDir = m_dir;
  options.portListAfterFirstPaint = true;  // selecting the listed port saves the settings
  options.panelsAfterFirstPaint = true;
  ASSERT_EQ(m_app->Start(std::move(options)), 0);
  struct stat afterStat{};
  ASSERT_EQ(::stat(Path("tavomark.ini").c_str(), &afterStat), 0);
  EXPECT_EQ(afterStat.st_ino, beforeStat.st_ino);  // a save renames a new file into place
  EXPECT_EQ(Panel().findChild<QWidget*>("LIVE"), nullptr);
  Control("CBlive")->click();
  EXPECT_EQ(Panel().ActivePanel(), ui::kLivePanel);
  EXPECT_NE(Panel().findChild<QWidget*>("LIVE"), nullptr);
  EXPECT_EQ(Panel().findChild<QWidget*>("EDIT"), nullptr);
}

#ifdef TAVOMARK_SIM_PATH

// The device's info record and live size: project code, parameter letter
// and the small configuration's 8-byte monitor struct (speed, temp[2], crc).
QStringList DeviceArgs(const char* code = "315", const char* liveSize = "8") {
  return {"--fw-version", "FW0315 V1.00", "--info-code", code, "--info-par", "C", "--live-size", liveSize};
}

bool EngineConnected(ui::Application& app) {
  bool connected = false;
  app.Engine()->TlinkGetState(connected);
  return connected;
}

TEST_F(AppTest, OpenConnectsShowsTheFirmwareAndCloseDisconnects) {
  StartWithDevice(DeviceArgs());
  auto* ring = Control<QComboBox>("RINGport");
  EXPECT_EQ(ring->currentData().toInt(), m_port);
  Control("TBcom")->click();
  EXPECT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  ASSERT_TRUE(EngineConnected(*m_app));
  Panel().MainHandler();
  EXPECT_TRUE(Panel().Connected());
  EXPECT_TRUE(Control("TBcom")->isChecked());
  EXPECT_EQ(Control("TBcom")->text(), "Close");
  EXPECT_TRUE(Control("TBcom")->styleSheet().contains("#00ff00"));
  EXPECT_EQ(Control<QLineEdit>("TMversion")->text(), "FW0315 V1.00");

  // Port list and port choice stay as they are while connected.
  m_ports = {m_port + 1, m_port};
  Control("CBrescan")->click();
  EXPECT_EQ(ring->count(), 1);
  m_ports = {m_port, m_port + 1};
  Panel().FillListPort();  // as if the list had grown before connecting
  ring->setCurrentIndex(1);
  Panel().SetComPort();
  EXPECT_EQ(ring->currentData().toInt(), m_port);
  EXPECT_EQ(SavedSettings().portIndex, m_port);

  Control("TBcom")->click();
  EXPECT_FALSE(EngineConnected(*m_app));
  Panel().MainHandler();
  EXPECT_FALSE(Control("TBcom")->isChecked());
  EXPECT_FALSE(Control("TBcom")->styleSheet().contains("#00ff00"));
  // The version text stays after the link is gone.
  EXPECT_EQ(Control<QLineEdit>("TMversion")->text(), "FW0315 V1.00");
}

struct Refusal {
  const char* name;
  const char* code;
  const char* liveSize;
  const char* text;
};

class RefusalTest : public AppTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, DeviceIsRefusedAndDisconnected) {
  StartWithDevice(DeviceArgs(GetParam().code, GetParam().liveSize));
  Control("TBcom")->click();
  ExpectOneMessage("Open Communication", GetParam().text);
  EXPECT_FALSE(EngineConnected(*m_app));
  EXPECT_FALSE(Control("TBcom")->isChecked());
}

// tavomark-sim reports revision "A1" unless told otherwise.
INSTANTIATE_TEST_SUITE_P(
    Devices, RefusalTest,
    ::testing::Values(Refusal{"OtherProject", "316", "8", "FW 0316 par. C rev. A1\nWrong Hardware/Firmware Revision\n"},
                      Refusal{"OtherLiveSize", "315", "10", "Wrong Live Buffer Size"}),
    [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
}  // namespace tavomark::test
