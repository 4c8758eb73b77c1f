// Every fault the simulated device can play, against every device command of
// tavomark-cli. The fault hits the command's own request (or, for what the
// connection reads and keeps, the connection's request), once; when the
// command still succeeds (a retry saved it), the same command run again right
// after is the fault-free reference. Whatever the fault, the command
//   - ends within the protocol's own time-outs,
//   - either succeeds with exactly the reference's output, or fails with exit
//     code 1, a message and no output,
//   - writes no file when its read failed.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "config_fixture.h"
#include "sim_process.h"

namespace tavomark::simtest {
namespace {

struct Command {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the command's output file
  const char* target;             // the request the fault hits: CMD:N
};

// Requests of a connection: 6 (live size), 11 (info), 1 (version), 6, 14, 14;
// info, version and name print what the connection read.
const Command kCommands[] = {
    {"info", {"info"}, "11:1"},
    {"version", {"version"}, "1:1"},
    {"name", {"name"}, "14:2"},
    {"live", {"live"}, "6:3"},
    {"function", {"function", "1", "3"}, "6:3"},
    {"errors", {"errors"}, "8:1"},
    {"read", {"read", "1", "300", "@"}, "8:2"},
    {"write", {"write", "2", "@"}, "5:1"},
};

void PrintTo(const Command& command, std::ostream* os) { *os << command.name; }

// Delay: past the channel's 500 ms time-out.
const char* const kFaults[] = {"silence",   "bad-checksum", "wrong-command", "wrong-device",
                               "truncated", "oversize-len", "miscount",      "delay=800"};

// The longest a command may take: the connection's and the transfer's
// time-outs and retries, with room for a loaded machine.
constexpr double kMaxSeconds = 20.0;

struct CommandRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  double seconds = 0;
};

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SimFaultMatrix : public test::ProjectDirTest,
                       public ::testing::WithParamInterface<std::tuple<const char*, Command>> {
 protected:
  CommandRun Device(const std::vector<std::string>& command, const std::filesystem::path& file) {
    std::string line = "timeout -k 5 60 '" TAVOMARK_CLI_PATH "' --project-dir '" + m_dir.string() +
                       "' device --port '" + m_sim.PortPath() + "' --device 258";
    for (const std::string& a : command) line += " '" + (a == "@" ? file.string() : a) + "'";
    line += " >'" + Path("out.txt").string() + "' 2>'" + Path("err.txt").string() + "'";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(line.c_str());
    CommandRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = Slurp(Path("out.txt"));
    run.err = Slurp(Path("err.txt"));
    return run;
  }

  SimProcess m_sim;
};

TEST_P(SimFaultMatrix, NoHangNoFalseSuccessNothingWrittenOnFailure) {
  const auto& [fault, command] = GetParam();
  std::string error;
  ASSERT_TRUE(m_sim.Start({"--fault", std::string(fault) + ":" + command.target}, error)) << error;
  const bool writes = command.args.front() == "write";
  // The sample calibration block's size: a write first reads what it replaces.
  if (writes) WriteBytes(Path("in.bin"), Pattern(64, 7));
  const auto file = [&](const char* name) { return writes ? Path("in.bin") : Path(name); };

  const CommandRun faulted = Device(command.args, file("faulted.bin"));
  EXPECT_LT(faulted.seconds, kMaxSeconds) << "past the protocol's time-outs";

  if (faulted.exitCode == 0) {
    const CommandRun reference = Device(command.args, file("reference.bin"));
    ASSERT_EQ(reference.exitCode, 0) << "the fault plays once: " << reference.err;
    // The live buffer moves on between two reads: only its size must agree.
    if (command.args.front() == "live") {
      EXPECT_EQ(faulted.out.size(), reference.out.size());
    } else {
      EXPECT_EQ(faulted.out, reference.out);
    }
    // A write lists what it changes (or that nothing does) on stderr.
    if (!writes) {
      EXPECT_EQ(faulted.err, "");
    }
    if (command.args.front() == "read") {
      EXPECT_EQ(Bytes(Path("faulted.bin")), Bytes(Path("reference.bin")));
    }
  } else {
    EXPECT_EQ(faulted.exitCode, 1) << faulted.err;
    EXPECT_EQ(faulted.out, "") << "nothing printed for a failed command";
    // "Communication Error" last, for a block transfer with where and why it
    // stopped; a write may list its differences first.
    const std::string& err = faulted.err;
    const std::size_t lastStart = err.size() < 2 ? std::string::npos : err.rfind('\n', err.size() - 2);
    const std::string last = err.substr(lastStart == std::string::npos ? 0 : lastStart + 1);
    const bool said = last == "Communication Error\n" || err == "Can't connect...\n" ||
                      (last.starts_with("Communication Error: block ") && last.ends_with("\n"));
    EXPECT_TRUE(said && (writes || last == err)) << err;
    EXPECT_FALSE(std::filesystem::exists(Path("faulted.bin"))) << "nothing written for a failed read";
  }
}

std::string CaseName(const ::testing::TestParamInfo<SimFaultMatrix::ParamType>& info) {
  std::string name = std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFaultEveryCommand, SimFaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::ValuesIn(kCommands)), CaseName);

}  // namespace
}  // namespace tavomark::simtest
