#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(ComNumbering, ExtraPathsComeFromEnvironment) {
  ::setenv("TAVOMARK_PORTS", ":/tmp/a::/dev/pts/9:", 1);
  EXPECT_EQ(ExtraPortPaths(), (std::vector<std::string>{"/tmp/a", "/dev/pts/9"}));
  ::unsetenv("TAVOMARK_PORTS");
  EXPECT_TRUE(ExtraPortPaths().empty());
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
