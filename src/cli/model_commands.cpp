// tavomark-cli config ... and values ...: configurations and value files.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

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

void PrintBlock(const char* block, const StructPack& pack, const Pack& values) {
  for (std::size_t i = 1; i <= pack.records.size(); ++i) {
    const Record& r = pack.records[i - 1];
    if (!r.IsLeaf()) continue;
    std::string path;
    GetFatherName(pack, r, path, -1);
    path += TextOf(r.varName);
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
