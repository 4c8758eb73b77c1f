#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "import_log.h"

namespace tavomark {
namespace {

TEST(ImportLog, PutWritesIntegersAsPercentDAndTextsAsTheyAre) {
  ImportLog log;
  const std::string name = "temp";
  log.Put(-3, " VARTYPE ", "U16", " BYTESIZE ", uint16_t{65535}, " ", int32_t{-2147483647 - 1}, " ", name, "\n");
  EXPECT_EQ(log.Text(), "-3 VARTYPE U16 BYTESIZE 65535 -2147483648 temp\n");
}

// Lines longer than the room formatted at first come out whole.
TEST(ImportLog, PrintfKeepsShortAndLongLinesWhole) {
  ImportLog log;
  log.Printf("%d %s|", 7, "short");
  const std::string longText(1000, 'x');
  log.Printf("[%s]%zu", longText.c_str(), longText.size());
  log.Printf("%s", "");
  EXPECT_EQ(log.Text(), "7 short|[" + longText + "]1000");
}

}  // namespace
}  // namespace tavomark
