#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>

#include "port_table.h"
#include "port_transport.h"

namespace tavomark::link {
namespace {

SystemPort Dev(const std::string& name) { return {"/dev/" + name, name, ""}; }

struct NumberingCase {
  std::vector<SystemPort> system;
  std::vector<std::string> extras;
  std::vector<std::pair<int32_t, std::string>> expected;
};

// ttySn keep n+1 (gaps too, so numbers stay stable), other ports follow in
// natural order, then the extra paths; COMn keep n; duplicates and numbers
// past 255 are dropped.
TEST(ComNumbering, AssignsStableNumbers) {
  const NumberingCase cases[] = {
      {{Dev("ttyUSB10"), Dev("ttyS1"), Dev("ttyUSB2"), Dev("ttyACM0"), Dev("ttyS0")},
       {"/tmp/sim", "/dev/pts/4"},
       {{1, "/dev/ttyS0"}, {2, "/dev/ttyS1"}, {3, "/dev/ttyACM0"}, {4, "/dev/ttyUSB2"}, {5, "/dev/ttyUSB10"},
        {6, "/tmp/sim"}, {7, "/dev/pts/4"}}},
      {{Dev("ttyS4"), Dev("ttyUSB0")}, {}, {{5, "/dev/ttyS4"}, {6, "/dev/ttyUSB0"}}},
      {{{"COM7", "COM7", ""}, {"COM3", "COM3", ""}}, {"/tmp/x"}, {{3, "COM3"}, {7, "COM7"}, {8, "/tmp/x"}}},
      {{{"COM255", "COM255", ""}, {"COM300", "COM300", ""}}, {"COM255", "/tmp/late"}, {{255, "COM255"}}},
      {{}, {}, {}},
  };
  for (const NumberingCase& c : cases) {
    std::vector<std::pair<int32_t, std::string>> got;
    for (const NumberedPort& p : AssignComNumbers(c.system, c.extras)) got.emplace_back(p.number, p.path);
    EXPECT_EQ(got, c.expected);
  }
}

TEST(ComNumbering, ConfiguredPathsSkipEmptyEntries) {
  EXPECT_EQ(SplitPortPaths(":/tmp/a::/dev/pts/9:"), (std::vector<std::string>{"/tmp/a", "/dev/pts/9"}));
  EXPECT_TRUE(SplitPortPaths("").empty());
}

// A table with two system ports (COM1, COM2) and one configured path (COM3).
std::shared_ptr<PortTable> SmallTable() {
  auto table = std::make_shared<PortTable>(std::vector<std::string>{"/tmp/configured"});
  table->SetSystemPorts({Dev("ttyS0"), Dev("ttyUSB0")});
  return table;
}

TEST(PortTable, AddedPathsFollowConfiguredOnesAndKeepTheirNumber) {
  auto table = SmallTable();
  EXPECT_EQ(table->AddPath("/dev/ttyUSB0"), 2) << "a listed path keeps its number";
  EXPECT_EQ(table->AddPath("/tmp/configured"), 3);
  EXPECT_EQ(table->AddPath("/dev/pts/7"), 4);
  EXPECT_EQ(table->AddPath("/dev/pts/8"), 5);
  EXPECT_EQ(table->AddPath("/dev/pts/7"), 4) << "added once";
  EXPECT_EQ(table->PathOf(4), "/dev/pts/7");
  EXPECT_EQ(table->Current().table.size(), 5u);
  EXPECT_FALSE(table->PathOf(9).has_value());
  EXPECT_FALSE(table->PathOf(kUsbCanPort).has_value()) << "no adapter among the system's ports";
}

TEST(PortTable, AdaptersAreFoundByDescription) {
  PortTable table;
  table.SetSystemPorts({{"/dev/ttyUSB3", "ttyUSB3", "USB CAN 500 Tavomark"}, {"/dev/ttyUSB4", "ttyUSB4", "other"}});
  EXPECT_EQ(table.PathOf(kUsbCanPort), "/dev/ttyUSB3");
  EXPECT_FALSE(table.PathOf(kUsbSerialPort).has_value());
}

TEST(PortTable, FullTableRefusesAnotherPath) {
  PortTable table;
  std::vector<SystemPort> ports;
  for (int n = 1; n <= 255; ++n) ports.push_back({"COM" + std::to_string(n), "COM" + std::to_string(n), ""});
  table.SetSystemPorts(ports);
  EXPECT_FALSE(table.AddPath("/dev/pts/1").has_value());
  EXPECT_EQ(table.Current().table.size(), 255u);
}

struct PortOptionCase {
  const char* text;
  std::optional<int32_t> port;
};

// The one reader of a port that a person names, as tavomark --port and
// tavomark-cli device --port both use it.
class PortOption : public ::testing::TestWithParam<PortOptionCase> {};

TEST_P(PortOption, NamesTheSelector) {
  auto table = SmallTable();
  std::string error;
  const std::optional<int32_t> port = ParsePortOption(GetParam().text, *table, error);
  EXPECT_EQ(port, GetParam().port) << GetParam().text;
  if (GetParam().port) {
    EXPECT_EQ(error, "");
  } else {
    EXPECT_EQ(error.rfind(std::string("Unknown port: ") + GetParam().text, 0), 0u) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PortOption,
    ::testing::Values(PortOptionCase{"T_CAN", -2}, PortOptionCase{"t_can", -2}, PortOptionCase{"T_SER", -1},
                      PortOptionCase{"t_ser", -1}, PortOptionCase{"-2", -2}, PortOptionCase{"-1", -1},
                      PortOptionCase{"1", 1}, PortOptionCase{"255", 255}, PortOptionCase{"COM3", 3},
                      PortOptionCase{"com12", 12}, PortOptionCase{"Com255", 255},
                      PortOptionCase{"/dev/ttyS0", 1}, PortOptionCase{"/tmp/configured", 3},
                      PortOptionCase{"/dev/pts/5", 4}, PortOptionCase{"0", std::nullopt},
                      PortOptionCase{"256", std::nullopt}, PortOptionCase{"-3", std::nullopt},
                      PortOptionCase{"", std::nullopt}, PortOptionCase{"COM", std::nullopt},
                      PortOptionCase{"COM0", std::nullopt}, PortOptionCase{"COM256", std::nullopt},
                      PortOptionCase{"COM+3", std::nullopt}, PortOptionCase{"abc", std::nullopt},
                      PortOptionCase{"3x", std::nullopt}, PortOptionCase{" 3", std::nullopt},
                      PortOptionCase{"T_CANX", std::nullopt}, PortOptionCase{"00001", std::nullopt}),
    [](const auto& info) {
      std::string name = std::to_string(info.index) + "_";
      for (const char c : std::string(info.param.text)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(PortOption, AddedPathIsOpenedThroughTheSameTable) {
  auto table = SmallTable();
  std::string error;
  const auto port = ParsePortOption("/nonexistent/tavomark-port", *table, error);
  ASSERT_EQ(port, 4) << error;
  auto transport = CreateSerialTransport(table);
  EXPECT_FALSE(transport->OpenCommPort(*port));
  EXPECT_EQ(transport->OpenError().rfind("/nonexistent/tavomark-port: ", 0), 0u) << transport->OpenError();
}

TEST(AdapterDescription, SpacesAndUnderscoresCompareAlike) {
  const struct {
    const char* reported;
    bool usbSerial, usbCan;
  } cases[] = {{"USB Serial_Tavomark", true, false},  {"USB Serial Tavomark", true, false},
               {"USB_Serial_Tavomark", true, false},  {"USB CAN 500 Tavomark", false, true},
               {"USB Serial_Tavomark2", false, false}, {"usb serial_tavomark", false, false},
               {"", false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(DescriptionMatches(c.reported, "USB Serial_Tavomark"), c.usbSerial) << c.reported;
    EXPECT_EQ(DescriptionMatches(c.reported, "USB CAN_500 Tavomark"), c.usbCan) << c.reported;
  }
}

TEST(SerialTransport, RefusesSelectorsThatNameNoPort) {
  auto transport = CreateSerialTransport(std::make_shared<PortTable>());
  EXPECT_FALSE(transport->OpenCommPort(0));
  EXPECT_FALSE(transport->OpenCommPort(-3));
  EXPECT_FALSE(transport->OpenCommPort(256));
  EXPECT_FALSE(transport->IsOpen());
  transport->CloseCommPort();
  EXPECT_FALSE(transport->SetUSbBaudRate(115200, -2));
}

}  // namespace
}  // namespace tavomark::link
