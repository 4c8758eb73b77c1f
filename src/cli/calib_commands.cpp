// tavomark-cli calib ...: the user calibration formulas from scripts.
//
//   calib eval FORMULA [--target-text T] [--measure M] [--present V]
//              [--typed-target N] [--typed-measure N]
//       prints the expanded formula, then the result ("%.9g"). Exit 0; 1 with
//       "Invalid formula"; 2 when a typed number the formula needs ("#T",
//       "#M") is missing or not digits with at most one point; 3 for bad
//       arguments.
//   calib table [--cal FILE]
//       the calibration page's rows for the project's configuration, one per
//       line, tab-separated: row (1-based, the file's CALIB number),
//       recordIndex, path, unit, load ("%3.1f"), target, formula. Exit 1 when
//       the file does not belong to the configuration.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cli_context.h"
#include "fixed_text.h"
#include "strict_number.h"
#include "user_calib.h"
#include "value_set.h"

namespace tavomark::cli {

namespace {

struct EvalOptions {
  std::string formula;
  std::string targetText;
  std::string measure;
  std::string present;
  std::optional<std::string> typedTarget;
  std::optional<std::string> typedMeasure;
  std::string calFile;
};

// Answers the two prompts from the options; a missing answer cancels, and so
// does a refused one when it is asked for again.
class OptionPrompt final : public calib::CalibPrompt {
 public:
  explicit OptionPrompt(const EvalOptions& options) : m_options(options) {}

  std::optional<std::string> Ask(const std::string& title, const std::string& message, std::size_t maxLength) override {
    const bool target = title == "Insert Target";
    const std::optional<std::string>& answer = target ? m_options.typedTarget : m_options.typedMeasure;
    const char* option = target ? "--typed-target" : "--typed-measure";
    if (!answer) {
      m_problem = std::string("the formula needs ") + (target ? "#T" : "#M") + ": give " + option;
      return std::nullopt;
    }
    if (message != "Insert data" || answer->size() > maxLength) {
      m_problem = std::string(option) + " \"" + *answer + "\": at most " + std::to_string(maxLength) +
                  " digits with at most one point";
      return std::nullopt;
    }
    return answer;
  }
  [[nodiscard]] const std::string& Problem() const { return m_problem; }

 private:
  const EvalOptions& m_options;
  std::string m_problem;
};

bool ParseOptional(const std::string& text, const char* field, double& out) {
  if (text.empty()) return true;
  std::string error;
  if (ParseStrictNumber(text, field, out, error)) return true;
  std::cerr << "calib eval: " << error << '\n';
  return false;
}

int Eval(const EvalOptions& options) {
  const std::size_t maxChars = calib::kCalibTextBytes - 1;
  if (options.formula.size() > maxChars || options.targetText.size() > maxChars) {
    std::cerr << "calib eval: the formula and the target text hold at most " << maxChars << " characters\n";
    return 3;
  }
  calib::CalibTable table;
  calib::CalibRecord& record = table.records[0];
  SetText(record.formula, options.formula);
  SetText(record.target, options.targetText);
  if (!ParseOptional(options.measure, "--measure", record.measure) ||
      !ParseOptional(options.present, "--present", record.present))
    return 3;

  OptionPrompt prompt(options);
  const int rc = calib::DevCalcCalib(table, 0, prompt);
  if (rc == 0) {
    std::cerr << "calib eval: " << prompt.Problem() << '\n';
    return 2;
  }
  std::cout << calib::LastExpandedFormula() << '\n';
  if (rc < 0) {
    std::cout.flush();
    std::cerr << "Invalid formula\n";
    return 1;
  }
  char line[64];
  std::snprintf(line, sizeof line, "%.9g", record.result);
  std::cout << line << '\n';
  return 0;
}

// A missing letter (0) printed as a blank.
char Letter(char c) { return c != 0 ? c : ' '; }

int Table(const CliContext& ctx, const std::string& calFile) {
  DataSet data = CreateDataSet();
  const std::filesystem::path description = ctx.projectDir / "tavomark.dat";
  if (auto loaded = LoadValToSendSet(description, data.vts); !loaded) {
    std::cerr << "calib table: cannot read " << description.string() << ": " << loaded.message() << '\n';
    return 1;
  }
  if (auto attached = UpdateDataSet(data, ctx.projectDir); !attached) {
    std::cerr << "calib table: " << attached.message() << '\n';
    return 1;
  }
  const StructPack& pack = data.config.calib;
  const std::filesystem::path path =
      calFile.empty() ? calib::GetUserCalibPath(ctx.projectDir, pack.header) : std::filesystem::path(calFile);
  if (!std::filesystem::is_regular_file(path)) {
    std::cerr << "calib table: no calibration file " << path.string() << '\n';
    return 1;
  }
  calib::CalibTable table;
  calib::LoadUserCalib(path, table);
  if (!CheckPackCompatibility(table.header, pack.header)) {
    std::fprintf(stderr,
                 "calib table: %s is for project %d version '%c'; the configuration's calibration block is "
                 "project %d version '%c'\n",
                 path.string().c_str(), int{table.header.codeProj}, Letter(table.header.compVerFw),
                 int{pack.header.codeProj}, Letter(pack.header.compVerFw));
    return 1;
  }
  const std::vector<calib::CalibRow> rows = calib::CreateCalibRows(pack, table);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const calib::CalibRecord& r = table.records[k];
    char load[32];
    std::snprintf(load, sizeof load, "%3.1f", r.load);
    std::cout << k + 1 << '\t' << r.recordIndex << '\t' << rows[k].label << '\t'
              << TextOf(pack.records[static_cast<std::size_t>(r.recordIndex) - 1].unit) << '\t' << load << '\t'
              << TextOf(r.target) << '\t' << TextOf(r.formula) << '\n';
  }
  return 0;
}

}  // namespace

void RegisterCalibCommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<EvalOptions>();
  CLI::App* calibCmd = app.add_subcommand("calib", "User calibration formulas and calibration files");
  calibCmd->require_subcommand(1);

  CLI::App* eval = calibCmd->add_subcommand(
      "eval", "Evaluate a calibration formula; exit 1 invalid formula, 2 typed number missing or refused");
  eval->add_option("FORMULA", options->formula, "The formula (at most 99 characters)")->required();
  eval->add_option("--target-text", options->targetText, "Text put in for @T");
  eval->add_option("--measure", options->measure, "Value put in for @M");
  eval->add_option("--present", options->present, "Value put in for @V");
  eval->add_option("--typed-target", options->typedTarget, "The operator's answer for #T");
  eval->add_option("--typed-measure", options->typedMeasure, "The operator's answer for #M");
  eval->callback([options, &ctx] { ctx.exitCode = Eval(*options); });

  CLI::App* table = calibCmd->add_subcommand("table", "The calibration page's rows for the project's configuration");
  table->add_option("--cal", options->calFile, "Calibration file (default: the project's config/PRJnnnncp_L.cal)");
  table->callback([options, &ctx] { ctx.exitCode = Table(ctx, options->calFile); });
}

}  // namespace tavomark::cli
