// tavomark-cli: the tool's work from scripts. Every command family lives in its
// own source file and is registered below.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli_context.h"

namespace {

std::filesystem::path ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  using tavomark::cli::CliContext;
  CLI::App app{"tavomark-cli: read, write and prepare the devices' data from scripts"};
  app.require_subcommand(0, 1);
  app.fallthrough();

  CliContext ctx;
  ctx.projectDir = ExecutableDir();
  app.add_option("--project-dir", ctx.projectDir,
                 "Project directory (holds tavomark.dat and the config folder); "
                 "defaults to the executable's directory");

  tavomark::cli::RegisterConfigCommands(app, ctx);
  tavomark::cli::RegisterValuesCommands(app, ctx);
  tavomark::cli::RegisterEvalCommands(app, ctx);
  tavomark::cli::RegisterDeviceCommands(app, ctx);
  tavomark::cli::RegisterChannelCommands(app, ctx);
  tavomark::cli::RegisterImportCommands(app, ctx);
  tavomark::cli::RegisterInterpCommands(app, ctx);
  tavomark::cli::RegisterCalibCommands(app, ctx);

  CLI11_PARSE(app, argc, argv);
  if (app.get_subcommands().empty()) {
    std::cout << app.help();
    return 0;
  }
  return ctx.exitCode;
}
