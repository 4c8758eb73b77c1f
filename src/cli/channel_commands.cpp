// tavomark-cli channels: the live page's channel choices (the user
// configuration file of a configuration) from scripts.
//   channels show --config FILE.cfg
//   channels set --config FILE.cfg PAGE:SLOT=PATH...   (PATH empty: the slot is emptied)
// PAGE is all, highlight, graph1, graph2, graph3, calib or info (or 0-6); SLOT
// 0-47; PATH a monitor record as `values show` prints paths.

#include <CLI/CLI.hpp>

#include <array>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli_context.h"
#include "config_set.h"
#include "names.h"
#include "pack.h"
#include "strict_number.h"

namespace tavomark::cli {

namespace {

constexpr std::array<const char*, kUserConfLists> kPageNames = {"all",    "highlight", "graph1", "graph2",
                                                                "graph3", "calib",     "info"};


// Every record below the root by its dotted path.
std::unordered_map<std::string, std::size_t> PathIndex(const StructPack& monitor) {
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t position = 2; position <= monitor.records.size(); ++position) {
    const Record& r = monitor.records[position - 1];
    index.emplace(GetRecordPath(monitor, r), position);
  }
  return index;
}

bool ParsePage(const std::string& text, std::size_t& page, std::string& error) {
  for (std::size_t i = 0; i < kPageNames.size(); ++i) {
    if (text == kPageNames[i]) {
      page = i;
      return true;
    }
  }
  int64_t number = 0;
  if (!ParseStrictInteger(text, "page", 0, kUserConfLists - 1, number, error)) return false;
  page = static_cast<std::size_t>(number);
  return true;
}

// "PAGE:SLOT=PATH" into the set; false with a message that names the problem.
bool Assign(const std::string& assignment, const std::unordered_map<std::string, std::size_t>& paths,
            UserConfSet& user) {
  const std::size_t colon = assignment.find(':');
  const std::size_t equals = assignment.find('=');
  if (colon == std::string::npos || equals == std::string::npos || equals < colon) {
    std::cerr << "channels: expected PAGE:SLOT=PATH, got \"" << assignment << "\"\n";
    return false;
  }
  std::size_t page = 0;
  int64_t slot = 0;
  std::string error;
  if (!ParsePage(assignment.substr(0, colon), page, error) ||
      !ParseStrictInteger(assignment.substr(colon + 1, equals - colon - 1), "slot", 0, kUserConfEntries - 1, slot,
                          error)) {
    std::cerr << "channels: " << error << "\n";
    return false;
  }
  const std::string path = assignment.substr(equals + 1);
  std::size_t position = 0;
  if (!path.empty()) {
    const auto found = paths.find(path);
    if (found == paths.end()) {
      std::cerr << "channels: no record \"" << path << "\" in the monitor struct\n";
      return false;
    }
    position = found->second;
  }
  user.SetEntry(page, static_cast<std::size_t>(slot), static_cast<uint32_t>(position));
  return true;
}

struct Request {
  std::string config;
  std::vector<std::string> assignments;
};

int Show(const CliContext& ctx, const Request& request) {
  ConfigSet config = CreateConfigSet();
  if (auto loaded = LoadConfigSet(request.config, config); !loaded) {
    std::cerr << "channels: cannot load the configuration " << request.config << ": " << loaded.message() << "\n";
    return 1;
  }
  UserConfSet user = CreateUserConfSet();
  const std::filesystem::path path = GetUserConfPath(ctx.projectDir, config.monitor.header);
  if (auto loaded = LoadUserConfSet(path, user); !loaded) {
    std::cerr << "channels: no channels in " << path.string() << ": " << loaded.message() << "\n";
    return 1;
  }
  for (std::size_t page = 0; page < kUserConfLists; ++page) {
    for (std::size_t slot = 0; slot < kUserConfEntries; ++slot) {
      const auto position = static_cast<int32_t>(user.Entry(page, slot));
      if (position <= 0) continue;
      const Record* r = GetStructPackRecord(config.monitor, static_cast<std::size_t>(position));
      std::string name = "(no such record)";
      if (r != nullptr) {
        name = GetRecordPath(config.monitor, *r);
      }
      std::cout << kPageNames[page] << ':' << slot << '=' << name << '\n';
    }
  }
  return std::cout.flush() ? 0 : 1;
}

// The choices go into the configuration's user configuration file in the
// project's config folder, beside the configuration itself.
int Set(const CliContext& ctx, const Request& request) {
  ConfigSet config = CreateConfigSet();
  if (auto loaded = LoadConfigSet(request.config, config); !loaded) {
    std::cerr << "channels: cannot load the configuration " << request.config << ": " << loaded.message() << "\n";
    return 1;
  }
  const std::filesystem::path path = GetUserConfPath(ctx.projectDir, config.monitor.header);
  UserConfSet user = CreateUserConfSet();
  if (!LoadUserConfSet(path, user) || !CheckPackCompatibility(user.header, config.monitor.header)) {
    user = CreateUserConfSet();
    user.header = config.monitor.header;
  }
  const auto paths = PathIndex(config.monitor);
  for (const std::string& assignment : request.assignments)
    if (!Assign(assignment, paths, user)) return 1;
  if (auto saved = SaveUserConfSet(path, user); !saved) {
    std::cerr << "channels: cannot save " << path.string() << ": " << saved.message() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterChannelCommands(CLI::App& app, CliContext& ctx) {
  auto* channels = app.add_subcommand("channels", "The live page's channels of a configuration");
  channels->require_subcommand(1);
  auto request = std::make_shared<Request>();

  auto* show = channels->add_subcommand("show", "Print every channel as PAGE:SLOT=PATH");
  show->add_option("--config", request->config, "Configuration file (.cfg)")->required();
  show->callback([&ctx, request] { ctx.exitCode = Show(ctx, *request); });

  auto* set = channels->add_subcommand(
      "set", "Choose channels: PAGE:SLOT=PATH (pages all, highlight, graph1-3, calib, info; slots 0-47)");
  set->add_option("--config", request->config, "Configuration file (.cfg)")->required();
  set->add_option("ASSIGNMENT", request->assignments, "PAGE:SLOT=PATH")->required();
  set->callback([&ctx, request] { ctx.exitCode = Set(ctx, *request); });
}

}  // namespace tavomark::cli
