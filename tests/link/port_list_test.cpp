#include <gtest/gtest.h>

#include <cstdlib>

#include "port_transport.h"

namespace tavomark::link {
namespace {

std::vector<std::pair<int32_t, std::string>> Pairs(const std::vector<NumberedPort>& table) {
  std::vector<std::pair<int32_t, std::string>> out;
  for (const NumberedPort& p : table) out.emplace_back(p.number, p.path);
  return out;
}

SystemPort Dev(const std::string& name) { return {"/dev/" + name, name, ""}; }

TEST(ComNumbering, SerialPortsFirstThenOthersInNaturalOrderThenExtras) {
  const auto table = AssignComNumbers(
      {Dev("ttyUSB10"), Dev("ttyS1"), Dev("ttyUSB2"), Dev("ttyACM0"), Dev("ttyS0")}, {"/tmp/sim", "/dev/pts/4"});
  const std::vector<std::pair<int32_t, std::string>> expected = {
      {1, "/dev/ttyS0"},   {2, "/dev/ttyS1"},    {3, "/dev/ttyACM0"}, {4, "/dev/ttyUSB2"},
      {5, "/dev/ttyUSB10"}, {6, "/tmp/sim"}, {7, "/dev/pts/4"}};
  EXPECT_EQ(Pairs(table), expected);
}

TEST(ComNumbering, GapsInSerialPortsAreKeptSoNumbersStayStable) {
  const auto table = AssignComNumbers({Dev("ttyS4"), Dev("ttyUSB0")}, {});
  const std::vector<std::pair<int32_t, std::string>> expected = {{5, "/dev/ttyS4"}, {6, "/dev/ttyUSB0"}};
  EXPECT_EQ(Pairs(table), expected);
}

TEST(ComNumbering, ComNamesKeepTheirNumbers) {
  const auto table = AssignComNumbers({{"COM7", "COM7", ""}, {"COM3", "COM3", ""}}, {"/tmp/x"});
  const std::vector<std::pair<int32_t, std::string>> expected = {{3, "COM3"}, {7, "COM7"}, {8, "/tmp/x"}};
  EXPECT_EQ(Pairs(table), expected);
}

TEST(ComNumbering, DuplicatesAndNumbersPast255AreDropped) {
  std::vector<SystemPort> ports = {{"COM255", "COM255", ""}, {"COM300", "COM300", ""}};
  const auto table = AssignComNumbers(ports, {"COM255", "/tmp/late"});
  const std::vector<std::pair<int32_t, std::string>> expected = {{255, "COM255"}};
  EXPECT_EQ(Pairs(table), expected);
  EXPECT_TRUE(AssignComNumbers({}, {}).empty());
}

TEST(ComNumbering, ExtraPathsComeFromEnvironment) {
  ::setenv("TAVOMARK_PORTS", ":/tmp/a::/dev/pts/9:", 1);
  EXPECT_EQ(ExtraPortPaths(), (std::vector<std::string>{"/tmp/a", "/dev/pts/9"}));
  ::unsetenv("TAVOMARK_PORTS");
  EXPECT_TRUE(ExtraPortPaths().empty());
}

struct DescriptionCase {
  const char* reported;
  bool usbSerial;
  bool usbCan;
};

class AdapterDescription : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(AdapterDescription, SpacesAndUnderscoresCompareAlike) {
  EXPECT_EQ(DescriptionMatches(GetParam().reported, "USB Serial_Tavomark"), GetParam().usbSerial);
  EXPECT_EQ(DescriptionMatches(GetParam().reported, "USB CAN_500 Tavomark"), GetParam().usbCan);
}

INSTANTIATE_TEST_SUITE_P(Ports, AdapterDescription,
                         ::testing::Values(DescriptionCase{"USB Serial_Tavomark", true, false},
                                           DescriptionCase{"USB Serial Tavomark", true, false},
                                           DescriptionCase{"USB_Serial_Tavomark", true, false},
                                           DescriptionCase{"USB CAN 500 Tavomark", false, true},
                                           DescriptionCase{"USB Serial_Tavomark2", false, false},
                                           DescriptionCase{"usb serial_tavomark", false, false},
                                           DescriptionCase{"", false, false}));

TEST(SerialTransport, RefusesSelectorsThatNameNoPort) {
  ::unsetenv("TAVOMARK_PORTS");
  auto transport = CreateSerialTransport();
  EXPECT_FALSE(transport->OpenCommPort(0));
  EXPECT_FALSE(transport->OpenCommPort(-3));
  EXPECT_FALSE(transport->OpenCommPort(256));
  EXPECT_FALSE(transport->IsOpen());
  transport->CloseCommPort();
  EXPECT_FALSE(transport->SetUSbBaudRate(115200, -2));
}

}  // namespace
}  // namespace tavomark::link
