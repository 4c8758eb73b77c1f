// The main panel connected to tavomark-sim over a pseudo-terminal.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include "main_panel.h"
#include "port_transport.h"
#include "sim_process.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

#ifdef TAVOMARK_SIM_PATH

// The small configuration's live (monitor) struct: speed, temp[2], crc.
constexpr int kMonitorBytes = 8;

class LinkAppTest : public AppTest {
 protected:
  // Starts a device answering as given and the program with its port
  // preselected; returns the port's COM number.
  int32_t StartWithDevice(const QStringList& deviceArgs) {
    QStringList args = {"--fw-version", "FW0315 V1.00"};
    args << deviceArgs;
    EXPECT_TRUE(m_device.Start(args));
    const std::optional<int32_t> port = ui::ResolvePortOption(m_device.Path());
    EXPECT_TRUE(port.has_value());
    EXPECT_EQ(StartApp({*port}, *port), 0);
    return *port;
  }
  static QStringList Matching(int liveSize = kMonitorBytes) {
    return {"--info-code", "315", "--info-par", "C", "--live-size", QString::number(liveSize)};
  }
  bool EngineConnected() {
    bool connected = false;
    m_app->Engine()->TlinkGetState(connected);
    return connected;
  }

  SimDevice m_device;
};

TEST_F(LinkAppTest, OpenConnectsShowsTheFirmwareAndCloseDisconnects) {
  const int32_t port = StartWithDevice(Matching());
  EXPECT_EQ(Control<QComboBox>("RINGport")->currentData().toInt(), port);
  Control("TBcom")->click();
  EXPECT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  ASSERT_TRUE(EngineConnected());
  Panel().MainHandler();
  EXPECT_TRUE(Panel().Connected());
  EXPECT_TRUE(Control("TBcom")->isChecked());
  EXPECT_EQ(Control("TBcom")->text(), "Close");
  EXPECT_TRUE(Control("TBcom")->styleSheet().contains("#00ff00"));
  EXPECT_EQ(Control<QLineEdit>("TMversion")->text(), "FW0315 V1.00");

  // Port list and port choice stay as they are while connected.
  m_ports = {port + 1, port};
  Control("CBrescan")->click();
  auto* ring = Control<QComboBox>("RINGport");
  EXPECT_EQ(ring->count(), 1);
  m_ports = {port, port + 1};
  Panel().FillListPort();  // as if the list had grown before connecting
  ring->setCurrentIndex(1);
  Panel().SetComPort();
  EXPECT_EQ(ring->currentData().toInt(), port);
  EXPECT_EQ(SavedSettings().portIndex, port);

  Control("TBcom")->click();
  EXPECT_FALSE(EngineConnected());
  Panel().MainHandler();
  EXPECT_FALSE(Control("TBcom")->isChecked());
  EXPECT_FALSE(Control("TBcom")->styleSheet().contains("#00ff00"));
  // The version text stays after the link is gone.
  EXPECT_EQ(Control<QLineEdit>("TMversion")->text(), "FW0315 V1.00");
}

TEST_F(LinkAppTest, OtherProjectCodeIsRefusedAndDisconnected) {
  StartWithDevice({"--info-code", "316", "--info-par", "C", "--live-size", QString::number(kMonitorBytes)});
  Control("TBcom")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Open Communication");
  const std::string text = m_services.Messages()[0].text;
  EXPECT_EQ(text.rfind("FW 0316 par. C rev. ", 0), 0u) << text;
  const std::string tail = "\nWrong Hardware/Firmware Revision\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_FALSE(EngineConnected());
  EXPECT_FALSE(Control("TBcom")->isChecked());
}

TEST_F(LinkAppTest, LiveBufferOfAnotherSizeIsRefused) {
  StartWithDevice(Matching(kMonitorBytes + 2));
  Control("TBcom")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_EQ(m_services.Messages()[0].title, "Open Communication");
  EXPECT_EQ(m_services.Messages()[0].text, "Wrong Live Buffer Size");
  EXPECT_FALSE(EngineConnected());
}

#endif

}  // namespace
}  // namespace tavomark::test
