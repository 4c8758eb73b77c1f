#pragma once
// What every tavomark-cli command shares: the global options and the exit code
// that the chosen command leaves behind.

#include <filesystem>

namespace CLI {
class App;
}

namespace tavomark::cli {

struct CliContext {
  // The project directory: "tavomark.dat" and the "config" folder live here.
  std::filesystem::path projectDir;
  int exitCode = 0;
};

// Each command family adds its subcommands to the application. A command's
// callback stores its exit code in the context; failures print to stderr.
// (Declared here, defined in the family's own source file.)
void RegisterConfigCommands(CLI::App& app, CliContext& ctx);  // model_commands.cpp
void RegisterValuesCommands(CLI::App& app, CliContext& ctx);  // model_commands.cpp
void RegisterEvalCommands(CLI::App& app, CliContext& ctx);  // eval_commands.cpp
void RegisterDeviceCommands(CLI::App& app, CliContext& ctx);  // device_commands.cpp
void RegisterChannelCommands(CLI::App& app, CliContext& ctx);  // channel_commands.cpp
// import, and config build (after RegisterConfigCommands: it adds to "config").
void RegisterImportCommands(CLI::App& app, CliContext& ctx);  // import_commands.cpp
void RegisterInterpCommands(CLI::App& app, CliContext& ctx);  // interp_commands.cpp
void RegisterCalibCommands(CLI::App& app, CliContext& ctx);  // calib_commands.cpp

}  // namespace tavomark::cli
