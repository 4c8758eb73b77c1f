#include "result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavomark {
namespace {

Result<std::vector<std::string>> Names(bool ok) {
  if (!ok) return Fail(-7, "Wrong Param records's number");
  return std::vector<std::string>{"speed", "temp"};
}

TEST(Result, FailureKeepsItsCodeAndMessage) {
  const auto failed = Names(false);
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.code(), -7);
  EXPECT_EQ(failed.message(), "Wrong Param records's number");
  const Result<void> plain = Fail("no file name given");
  EXPECT_EQ(plain.code(), kFailed);
  const Result<void> done;
  EXPECT_TRUE(done);
  EXPECT_EQ(done.code(), 0);
  EXPECT_EQ(done.message(), "");
}

// Regression: a loop over the value of a temporary walked a destroyed vector.
TEST(Result, LoopOverATemporaryValueOutlivesTheTemporary) {
  std::vector<std::string> seen;
  for (const std::string& name : Names(true).value()) seen.push_back(name);
  EXPECT_EQ(seen, (std::vector<std::string>{"speed", "temp"}));
}

}  // namespace
}  // namespace tavomark
