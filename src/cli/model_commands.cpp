// tavomark-cli config ... and values ...: configurations and value files.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "cli_context.h"
#include "config_set.h"
#include "device_image.h"
#include "fixed_text.h"
#include "struct_pack_file.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::cli {

namespace {

int ConfigShow(const std::string& file) {
  ConfigSet config = CreateConfigSet();
  if (!LoadConfigSet(file, config)) {
    std::cerr << "Config Load Error: " << file << "\n";
    return 1;
  }
  const std::pair<const char*, StructPack*> packs[] = {
      {"monitor", &config.monitor}, {"param", &config.param}, {"info", &config.info}, {"calib", &config.calib}};
  for (const auto& [name, pack] : packs) {
    std::fflush(stdout);
    std::printf("%s\n", name);
    if (!WriteStructPack(stdout, *pack)) return 1;
  }
  return 0;
}

int ValuesNew(const std::string& configFile, const std::string& out) {
  ConfigSet config = CreateConfigSet();
  if (!LoadConfigSet(configFile, config)) {
    std::cerr << "Config Load Error: " << configFile << "\n";
    return 1;
  }
  ValToSendSet vts = CreateValToSendSet(config);
  if (!IsCompleteConfigSet(config) || !IsCompleteValToSendSet(vts)) {
    std::cerr << "Config File isn't complete\n";
    return 1;
  }
  if (!IsCoherentConfigSet(config, 0) || !IsCoherentValToSendSet(vts)) {
    std::cerr << "Coherence Errors in Config File\n";
    return 1;
  }
  if (!SaveValToSendSet(out, vts)) {
    std::cerr << "Errors while Saving file: " << out << "\n";
    return 1;
  }
  return 0;
}

// Loads a value file and attaches its configuration from the project's folder.
bool LoadDataSet(const CliContext& ctx, const std::string& file, DataSet& data) {
  if (!LoadValToSendSet(file, data.vts)) {
    std::cerr << GetValToSendErrorString(kInvalidParameterFile) << ": " << file << "\n";
    return false;
  }
  const int code = UpdateDataSet(data, ctx.projectDir);
  if (code < 0) {
    std::cerr << GetValToSendErrorString(code) << "\n";
    return false;
  }
  return true;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string LeafPath(const StructPack& pack, const Record& r);

void PrintBlock(const char* block, const StructPack& pack, const Pack& values) {
  for (std::size_t i = 1; i <= pack.records.size(); ++i) {
    const Record& r = pack.records[i - 1];
    if (!r.IsLeaf()) continue;
    const std::string path = LeafPath(pack, r);
    const double value = ItemValue(values.Item(i));
    std::cout << block << '\t' << path << '\t' << Trimmed(ValToString(r, value)) << '\t' << TextOf(r.unit) << '\n';
  }
}

int ValuesShow(const CliContext& ctx, const std::string& file) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  PrintBlock("param", data.config.param, data.vts.param);
  PrintBlock("info", data.config.info, data.vts.info);
  PrintBlock("calib", data.config.calib, data.vts.calib);
  return 0;
}

// A leaf's path as `values show` prints it: its ancestors below the root, then its name.
std::string LeafPath(const StructPack& pack, const Record& r) {
  std::string path;
  GetFatherName(pack, r, path, -1);
  path += TextOf(r.varName);
  return path;
}

// "block:path=value" -> sets that leaf's value (clamped to the record's limits).
bool Assign(DataSet& data, const std::string& assignment) {
  const auto colon = assignment.find(':');
  const auto equals = assignment.find('=', colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || equals == std::string::npos) {
    std::cerr << "expected block:path=value, got \"" << assignment << "\"\n";
    return false;
  }
  const std::string block = Trimmed(assignment.substr(0, colon));
  const std::string path = Trimmed(assignment.substr(colon + 1, equals - colon - 1));
  const std::string value = Trimmed(assignment.substr(equals + 1));
  const int tab = block == "param" ? 0 : block == "info" ? 1 : block == "calib" ? 2 : -1;
  if (tab < 0) {
    std::cerr << "unknown block \"" << block << "\" (param, info or calib)\n";
    return false;
  }
  const StructPack& pack = GetTabIndexedStruct(data.config, tab);
  Pack& values = GetTabIndexedValToSendPack(data.vts, tab);
  for (std::size_t i = 1; i <= pack.records.size(); ++i) {
    const Record& r = pack.records[i - 1];
    if (!r.IsLeaf() || LeafPath(pack, r) != path) continue;
    SetItemValue(values.Item(i), static_cast<float>(StringToVal(r, value)));
    return true;
  }
  std::cerr << "no value \"" << path << "\" in the " << block << " block\n";
  return false;
}

int ValuesSet(const CliContext& ctx, const std::string& file, const std::vector<std::string>& assignments,
              const std::string& from) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  std::vector<std::string> all = assignments;
  if (!from.empty()) {
    FileHandle list(from, "rb");
    if (!list) {
      std::cerr << "cannot read " << from << "\n";
      return 1;
    }
    std::string line;
    while (ReadLine(list.get(), line)) {
      line = Trimmed(line.substr(0, line.find('#')));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) all.push_back(line);
    }
  }
  for (const auto& a : all)
    if (!Assign(data, a)) return 1;
  if (!SaveValToSendSet(file, data.vts)) {
    std::cerr << "Errors while Saving file: " << file << "\n";
    return 1;
  }
  return 0;
}

int ValuesImage(const CliContext& ctx, const std::string& file, const std::string& block, const std::string& out) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  DeviceSet devices = CreateDeviceSet(data.config);
  if (!ValToSendSetToDeviceSet(data.vts, devices)) {
    std::cerr << "the values do not fit the configuration's device images\n";
    return 1;
  }
  const int index = block == "param" ? 0 : block == "info" ? 1 : 2;
  auto bytes = GetIndexedDeviceData(devices, index).All();
  std::string error;
  if (!SaveFileAtomically(
          out, [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); },
          &error)) {
    std::cerr << "cannot write " << out << ": " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterConfigCommands(CLI::App& app, CliContext& ctx) {
  auto* config = app.add_subcommand("config", "Configuration files (.cfg)");
  config->require_subcommand(1);
  auto* show = config->add_subcommand("show", "Print the four struct packs in the struct text layout");
  auto file = std::make_shared<std::string>();
  show->add_option("FILE", *file, "Configuration file")->required();
  show->callback([&ctx, file] { ctx.exitCode = ConfigShow(*file); });
}

void RegisterValuesCommands(CLI::App& app, CliContext& ctx) {
  auto* values = app.add_subcommand("values", "Value files (.vts)");
  values->require_subcommand(1);

  auto* create = values->add_subcommand("new", "Write a value file of a configuration's defaults");
  auto configFile = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  create->add_option("--config", *configFile, "Configuration file")->required();
  create->add_option("--out", *out, "Value file to write")->required();
  create->callback([&ctx, configFile, out] { ctx.exitCode = ValuesNew(*configFile, *out); });

  auto* show = values->add_subcommand("show", "Print every value with its path and unit");
  auto showFile = std::make_shared<std::string>();
  show->add_option("FILE", *showFile, "Value file")->required();
  show->callback([&ctx, showFile] { ctx.exitCode = ValuesShow(ctx, *showFile); });

  auto* set = values->add_subcommand("set", "Change values of a value file (block:path=value, paths as `values show` prints them)");
  auto setFile = std::make_shared<std::string>();
  auto assignments = std::make_shared<std::vector<std::string>>();
  auto from = std::make_shared<std::string>();
  set->add_option("FILE", *setFile, "Value file")->required();
  set->add_option("ASSIGNMENT", *assignments, "block:path=value");
  set->add_option("--from", *from, "File of assignments, one per line ('#' starts a comment)");
  set->callback([&ctx, setFile, assignments, from] { ctx.exitCode = ValuesSet(ctx, *setFile, *assignments, *from); });

  auto* image = values->add_subcommand("image", "Write one block's device transfer buffer");
  auto imageFile = std::make_shared<std::string>();
  auto block = std::make_shared<std::string>();
  auto imageOut = std::make_shared<std::string>();
  image->add_option("FILE", *imageFile, "Value file")->required();
  image->add_option("BLOCK", *block, "param, info or calib")
      ->required()
      ->check(CLI::IsMember({"param", "info", "calib"}));
  image->add_option("OUT", *imageOut, "Output file")->required();
  image->callback([&ctx, imageFile, block, imageOut] { ctx.exitCode = ValuesImage(ctx, *imageFile, *block, *imageOut); });
}

}  // namespace tavomark::cli
