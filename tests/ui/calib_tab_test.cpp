// The calibration page on its own: a plain widget as its area, the small
// configuration of config_fixture.h with a ".cal" file beside it, and an
// engine connected to tavomark-sim over a pseudo-terminal for the sends.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include <fstream>

#include "application.h"
#include "calib_tab.h"
#include "protocol_engine.h"
#include "settings.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

constexpr const char* kCalFile =
    "[HEADER]\ncodeProj=315\ncompVerCal=C\n"
    "[CALIB1]\nformula=#T * 1000\ntarget=T1\nload=12\n"
    "[CALIB2]\nformula=1/0.0\n"
    "[CALIB3]\nformula=@M * 10\n";

std::string Trimmed(const QString& text) { return text.trimmed().toStdString(); }

class CalibTabTest : public ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    SaveConfig(MakeConfig(315, 'C'));
    SaveValues(Path("tavomark.dat"), MakeConfig(315, 'C'));
    std::ofstream(Path("config/PRJ0315cp_C.cal")) << kCalFile;
  }
  void TearDown() override {
    m_tab.reset();
    if (m_engine) m_engine->TlinkTerminate();
    ProjectDirTest::TearDown();
  }

  // The data set of the project, the engine (connected to the simulator when
  // asked) and the page over both.
  void Start(bool withDevice, const QStringList& simArgs = {}) {
    ASSERT_TRUE(LoadValToSendSet(Path("tavomark.dat"), m_data.vts).ok());
    ASSERT_TRUE(UpdateDataSet(m_data, m_dir).ok());
    link::EngineOptions options;
    options.ports = m_ports;
    options.tickPeriod = std::chrono::milliseconds(20);
    m_engine = std::make_unique<link::ProtocolEngine>(m_waiter, options);
    ASSERT_TRUE(m_engine->TlinkInit());
    if (withDevice) {
      QStringList args = {"--project", QString::fromStdString(m_dir.string()), "--values",
                          QString::fromStdString(Path("tavomark.dat").string())};
      ASSERT_TRUE(m_device.Start(args + simArgs));
      std::string error;
      const std::optional<int32_t> port = link::ParsePortOption(m_device.Path(), *m_ports, error);
      ASSERT_TRUE(port.has_value()) << error;
      uint8_t liveSize = 0;
      ASSERT_TRUE(m_engine->TlinkOpenComm(*port, 315, liveSize));
    }
    m_context = std::make_unique<ui::PanelContext>(
        ui::PanelContext{m_data, m_settings, *m_engine, m_services, m_dir});
    m_tab = std::make_unique<ui::CalibTab>(&m_area, *m_context, [this] { return m_selected; });
    ASSERT_EQ(m_tab->CalibTabRefresh(), 1);
    m_tab->EnableButtons(withDevice);
  }

  QTableWidget& Table() { return *m_tab->Table(); }
  std::string Cell(int row, int column) { return Trimmed(Table().item(row, column)->text()); }
  QPushButton* Button(const char* name) {
    auto* button = m_area.findChild<QPushButton*>(name);
    EXPECT_NE(button, nullptr) << name;
    return button;
  }
  // The device's calibration block as it is now.
  std::vector<uint8_t> DeviceBlock() {
    DeviceData data = CreateDeviceData(m_data.config.calib, kShortTrailerBytes);
    EXPECT_TRUE(m_engine->TlinkReceiveData(2, data.All()));
    return data.buffer;
  }
  // The block as the value file holds it, with one value changed.
  std::vector<uint8_t> ExpectedBlock(std::size_t position, float value) {
    Pack values = CreateValToSendPack(m_data.config.calib);
    EXPECT_EQ(CopyPack(values, m_data.vts.calib), 1);
    SetItemValue(values.Item(position), value);
    DeviceData data = CreateDeviceData(m_data.config.calib, kShortTrailerBytes);
    EXPECT_EQ(CalibVtsToDeviceData(values, data), 1);
    return data.buffer;
  }
  void ExpectOneMessage(const std::string& text) {
    const auto messages = m_services.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Error");
    EXPECT_EQ(messages[0].text, text);
    m_services.Clear();
  }
  uint32_t SavedChannel(std::size_t row) {
    UserConfSet saved = CreateUserConfSet();
    EXPECT_TRUE(LoadUserConfSet(GetUserConfPath(m_dir, m_data.user.header), saved).ok());
    return saved.Entry(ui::kCalibUserList, row);
  }

  DataSet m_data = CreateDataSet();
  SettingsBlock m_settings;
  std::shared_ptr<link::PortTable> m_ports = std::make_shared<link::PortTable>();
  ui::ScriptedUiServices m_services;
  link::ConditionWaiter m_waiter;
  SimDevice m_device;
  std::unique_ptr<link::ProtocolEngine> m_engine;
  std::unique_ptr<ui::PanelContext> m_context;
  QWidget m_area;
  std::unique_ptr<ui::CalibTab> m_tab;
  std::size_t m_selected = 0;
};

TEST_F(CalibTabTest, RowsAreTheLeavesWithoutTheChecksumWord) {
  Start(false);
  EXPECT_EQ(Table().objectName(), "TABLE");
  ASSERT_EQ(Table().columnCount(), 7);
  const char* const headings[] = {"Value", "Calc", "Unit", "Load[A]", "Channel", "Target", "Meas"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(Table().horizontalHeaderItem(c)->text().toStdString(), headings[c]);
  ASSERT_EQ(Table().rowCount(), 3);  // speed, temp[0], temp[1]; not crc
  const char* const labels[] = {"speed", "temp.temp[0]", "temp.temp[1]"};
  for (int r = 0; r < 3; ++r) EXPECT_EQ(Table().verticalHeaderItem(r)->text().toStdString(), labels[r]);
  EXPECT_EQ(m_tab->Calibration().header.numRecords, 3);
  EXPECT_EQ(m_tab->Calibration().records[2].recordIndex, static_cast<int32_t>(kTemp1));
  EXPECT_EQ(Cell(0, ui::kColLoad), "12.0");
  EXPECT_EQ(Cell(1, ui::kColLoad), "0.0");
  EXPECT_EQ(Cell(0, ui::kColTarget), "T1");
  for (const char* name : {"cbCalculate", "cbSend", "cbCalcSend"}) EXPECT_FALSE(Button(name)->isEnabled()) << name;
  EXPECT_TRUE(Button("cbAddCalib")->isEnabled());

  // Without a device nothing is read: the values are the pack's defaults.
  m_tab->CalibTabUpdate(ui::kCalibTabIndex, nullptr);
  EXPECT_EQ(Cell(0, ui::kColValue), "12.5");
  EXPECT_EQ(Cell(0, ui::kColCalc), "0.0");
}

TEST_F(CalibTabTest, FileOfAnotherVersionLeavesNoRowsButTheLeaves) {
  std::ofstream(Path("config/PRJ0315cp_C.cal")) << "[HEADER]\ncodeProj=59\ncompVerCal=C\n[CALIB1]\nload=3\n";
  Start(false);
  ASSERT_EQ(Table().rowCount(), 3);
  EXPECT_EQ(Cell(0, ui::kColLoad), "0.0");  // the table was cleared
}

TEST_F(CalibTabTest, ChannelsAreMappedShownAndSaved) {
  Start(false);
  Table().setCurrentCell(1, 0);
  m_selected = kSpeed;  // the monitor's speed
  Button("cbAddCalib")->click();
  EXPECT_EQ(Cell(1, ui::kColChannel), "speed[]");
  EXPECT_EQ(SavedChannel(1), kSpeed);

  // A container is no channel.
  m_selected = kTemp;
  Button("cbAddCalib")->click();
  EXPECT_EQ(SavedChannel(1), kSpeed);

  // The live value of the channel is the row's measure.
  const std::vector<uint8_t> live = {0x7B, 0x00, 0, 0, 0, 0, 0, 0};  // speed 12.3
  m_tab->CalibTabUpdateTableChannels(&live);
  EXPECT_EQ(Cell(1, ui::kColMeas), "12.3");
  EXPECT_FLOAT_EQ(m_tab->Calibration().records[1].measure, 12.3);
  m_tab->CalibTabUpdateTableChannels(nullptr);
  EXPECT_EQ(Cell(1, ui::kColMeas), "");

  Table().setCurrentCell(1, 0);
  Button("cbDelCalib")->click();
  EXPECT_EQ(Cell(1, ui::kColChannel), "");
  EXPECT_EQ(SavedChannel(1), 0u);

  // The mapping comes back with the page.
  Table().setCurrentCell(2, 0);
  m_selected = kTemp0;
  Button("cbAddCalib")->click();
  m_tab.reset();
  m_tab = std::make_unique<ui::CalibTab>(&m_area, *m_context, [this] { return m_selected; });
  m_tab->CalibTabRefresh();
  EXPECT_EQ(Cell(2, ui::kColChannel), "temp[0][]");
}

TEST_F(CalibTabTest, CalcAndSendWritesTheClampedResultIntoTheDevice) {
  Start(true);
  m_tab->CalibTabUpdate(ui::kCalibTabIndex, nullptr);
  EXPECT_EQ(Cell(0, ui::kColValue), "12.5");
  Table().setCurrentCell(0, 0);
  m_services.prompts = {"9"};  // 9000 is beyond the U16 speed's 6553.5
  Button("cbCalcSend")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  EXPECT_EQ(m_services.unexpected, 0);
  EXPECT_EQ(Cell(0, ui::kColCalc), "9000.0");
  EXPECT_EQ(Cell(0, ui::kColValue), "6553.5");
  EXPECT_EQ(DeviceBlock(), ExpectedBlock(kSpeed, 6553.5f));
}

TEST_F(CalibTabTest, CalculateSendsNothingAndSendSendsTheStoredResult) {
  Start(true);
  const std::vector<uint8_t> before = DeviceBlock();
  Table().setCurrentCell(2, 0);
  m_services.prompts = {};
  Button("cbCalculate")->click();  // @M * 10 with no channel: 0
  EXPECT_EQ(Cell(2, ui::kColCalc), "0");
  EXPECT_EQ(DeviceBlock(), before);

  Table().setCurrentCell(1, 0);
  Button("cbCalculate")->click();
  ExpectOneMessage("Invalid formula");
  EXPECT_EQ(DeviceBlock(), before);

  // Send alone: the result stored for the row (0 when never calculated).
  Table().setCurrentCell(0, 0);
  Button("cbSend")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  EXPECT_EQ(DeviceBlock(), ExpectedBlock(kSpeed, 0.0f));
}

TEST_F(CalibTabTest, FailedSendSaysCommunicationError) {
  Start(true, {"--fault", "wrong-command:4:1"});  // the write announcement is answered wrongly
  Table().setCurrentCell(0, 0);
  m_services.prompts = {"1"};
  Button("cbCalcSend")->click();
  ExpectOneMessage("Communication error");
  EXPECT_EQ(Cell(0, ui::kColCalc), "1000.0");
}

TEST_F(CalibTabTest, NoCurrentRowDoesNothing) {
  Start(false);
  Table().setCurrentCell(-1, -1);
  m_selected = kSpeed;
  for (const char* name : {"cbAddCalib", "cbDelCalib"}) Button(name)->click();
  m_tab->SendCalib(ui::CalibButton::CalcAndSend);
  EXPECT_TRUE(m_services.shown.empty());
  EXPECT_FALSE(std::filesystem::exists(GetUserConfPath(m_dir, m_data.user.header)));
}

#ifdef TAVOMARK_DEMO_PROJECT
// The demo project's calibration block: 36 leaves, the last one its crc.
TEST(CalibTabDemo, RowsOfTheDemoBlockAndItsFile) {
  const std::filesystem::path dir = TAVOMARK_DEMO_PROJECT;
  DataSet data = CreateDataSet();
  ASSERT_TRUE(LoadValToSendSet(dir / "demo.vts", data.vts).ok());
  ASSERT_TRUE(UpdateDataSet(data, dir).ok());
  SettingsBlock settings;
  ui::ScriptedUiServices services;
  link::ConditionWaiter waiter;
  link::ProtocolEngine engine(waiter);
  ui::PanelContext context{data, settings, engine, services, dir};
  QWidget area;
  ui::CalibTab tab(&area, context, [] { return std::size_t{0}; });
  tab.CalibTabRefresh();
  QTableWidget& table = *tab.Table();
  ASSERT_EQ(table.rowCount(), 35);
  EXPECT_EQ(table.verticalHeaderItem(0)->text().toStdString(), "adcOffset.adcOffset[0]");
  EXPECT_EQ(table.verticalHeaderItem(34)->text().toStdString(), "calStation");
  EXPECT_EQ(table.item(6, ui::kColLoad)->text().toStdString(), "5.0");
  EXPECT_EQ(table.item(6, ui::kColTarget)->text().toStdString(), "85.0");
  EXPECT_EQ(tab.Calibration().records[12].formula, std::string("@V + (@T - @M)"));
}
#endif

}  // namespace
}  // namespace tavomark::test
