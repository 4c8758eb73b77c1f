// tavomark-cli import and config build: a firmware structure from its C headers,
// and a configuration built from its sub-structures.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "block.h"
#include "cli_context.h"
#include "config_editor.h"
#include "config_set.h"
#include "fw_pack.h"
#include "struct_pack_file.h"

namespace tavomark::cli {

namespace {

constexpr int kExitImportFailed = 1;
constexpr int kExitParseFailed = 3;

struct ImportOptions {
  std::string header;
  std::string structName;
  std::string out;
};

struct BuildOptions {
  std::string header;
  std::string structName;
  std::string paths[4];  // by the block's tab
  std::string out;
};

// The log and the dump are outputs the user asked for: false when one of them
// could not be written.
bool ReportFiles(const FwImportReport& report) {
  bool ok = true;
  if (!report.logSaved) {
    std::cerr << "cannot write " << report.logPath.string() << "\n";
    ok = false;
  }
  if (!report.dumpSaved && !report.dumpPath.empty()) {
    std::cerr << "cannot write " << report.dumpPath.string() << "\n";
    ok = false;
  }
  return ok;
}

// 0 when the structure parsed, 3 when it was found but its parse failed, 1 when
// nothing usable was imported. filesWritten: log.txt and the dump were written.
int RunImport(const std::string& header, std::string structName, FwImportPack& importPack, bool& filesWritten) {
  FwImportReport report;
  const auto imported = RetrieveFwPack(header, structName, importPack, report);
  filesWritten = ReportFiles(report);
  if (!imported) {
    std::cerr << "Import Error: view log.txt file for detail: " << imported.message() << "\n";
    return kExitImportFailed;
  }
  if (!report.parsed) {
    std::cerr << "Import Error: structure " << structName << " did not parse; view log.txt file for detail\n";
    return kExitParseFailed;
  }
  return 0;
}

// A lost log or dump fails a command that otherwise succeeded.
int WithFiles(int code, bool filesWritten) { return code == 0 && !filesWritten ? kExitImportFailed : code; }

int Import(const ImportOptions& options) {
  FwImportPack importPack;
  bool filesWritten = false;
  const int code = RunImport(options.header, options.structName, importPack, filesWritten);
  if (code == kExitImportFailed || options.out.empty()) return WithFiles(code, filesWritten);
  if (auto saved = SaveStructPack(options.out, importPack.pack, false); !saved) {
    std::cerr << "Struct Export Error: " << options.out << ": " << saved.message() << "\n";
    return kExitImportFailed;
  }
  return WithFiles(code, filesWritten);
}

int ConfigBuild(const BuildOptions& options) {
  FwImportPack importPack;
  bool filesWritten = false;
  const int code = RunImport(options.header, options.structName, importPack, filesWritten);
  if (code != 0) return code;
  ConfigSet config = CreateConfigSet();
  for (Block block : kConfigBlocks) {
    const std::string& path = options.paths[TabOfBlock(block)];
    const std::string option = std::string("--") + BlockWord(block);
    const std::size_t position = FindRecordByPath(importPack.pack, path);
    if (position == 0) {
      std::cerr << option << ": no member '" << path << "' below the root structure\n";
      return 1;
    }
    if (!Select(config, block, importPack, position)) {
      std::cerr << option << ": '" << path << "' is not a structure with members\n";
      return 1;
    }
  }
  if (!IsCompleteConfigSet(config)) {
    std::cerr << "Config File isn't complete\n";
    return 1;
  }
  if (!IsCoherentConfigSet(config, 0)) {
    std::cerr << "Coherence Errors in Config File\n";
    return 1;
  }
  // Configuration files are recognised by the "FW" that starts the firmware's
  // version text; without it the file could not be loaded again.
  const char* version = importPack.pack.header.projVersion;
  if (version[0] != 'F' || version[1] != 'W') {
    std::cerr << "Config Save Error: szPROJ_VERSION \"" << version << "\" does not start with \"FW\"\n";
    return 1;
  }
  if (auto saved = SaveConfigSet(options.out, config); !saved) {
    std::cerr << "Config Save Error: " << options.out << ": " << saved.message() << "\n";
    return 1;
  }
  return WithFiles(0, filesWritten);
}

CLI::App* FindOrAddConfig(CLI::App& app) {
  const auto found = app.get_subcommands([](CLI::App* sub) { return sub->get_name() == "config"; });
  if (!found.empty()) return found.front();
  return app.add_subcommand("config", "Configuration files (.cfg)");
}

}  // namespace

void RegisterImportCommands(CLI::App& app, CliContext& ctx) {
  auto importOptions = std::make_shared<ImportOptions>();
  auto* import = app.add_subcommand("import", "Import a firmware structure from its C headers");
  import->add_option("--header", importOptions->header, "Main header file")->required();
  import->add_option("--struct", importOptions->structName, "Typedef name of the structure (exact case)")
      ->required();
  import->add_option("--out", importOptions->out, "Also write the struct text to this file");
  import->callback([&ctx, importOptions] { ctx.exitCode = Import(*importOptions); });

  auto buildOptions = std::make_shared<BuildOptions>();
  auto* build = FindOrAddConfig(app)->add_subcommand(
      "build", "Import a structure and save a configuration of four of its sub-structures");
  build->add_option("--header", buildOptions->header, "Main header file")->required();
  build->add_option("--struct", buildOptions->structName, "Typedef name of the root structure")->required();
  const auto path = [&](Block block) { return &buildOptions->paths[TabOfBlock(block)]; };
  build->add_option("--param", *path(Block::Parameters), "Dotted path of the parameter block")->required();
  build->add_option("--info", *path(Block::Information), "Dotted path of the information block")->required();
  build->add_option("--calib", *path(Block::Calibration), "Dotted path of the calibration block")->required();
  build->add_option("--monitor", *path(Block::Monitor), "Dotted path of the monitor block")->required();
  build->add_option("--out", buildOptions->out, "Configuration file to write (.cfg)")->required();
  build->callback([&ctx, buildOptions] { ctx.exitCode = ConfigBuild(*buildOptions); });
}

}  // namespace tavomark::cli
