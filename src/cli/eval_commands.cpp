// tavomark-cli eval: the expression evaluator from scripts.
//
//   eval EXPR          the calibration-formula entry point; prints the
//                      single-precision result ("%.9g")
//   eval --int EXPR    the header-dimension entry point; prints the integer
//   eval --batch ...   one expression per line of standard input, each printed
//                      as "R F TEXT": what evaluate returned (1/0), the error
//                      flag after it and the result as the printing options write it

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "cli_context.h"
#include "expression.h"
#include "output_check.h"

namespace tavomark::cli {

namespace {

struct EvalArgs {
  std::string text;
  bool integer = false;
  bool batch = false;
  expr::Options options{};
};

void ReportFailure(const std::string& text) {
  const char* message = expr::last_error_message();
  std::cerr << "eval: cannot evaluate \"" << text << "\"";
  if (message[0] != '\0') std::cerr << ": " << message;
  std::cerr << '\n';
}

int RunSingle(const EvalArgs& args) {
  char line[64];
  expr::clear_error();
  if (args.integer) {
    int32_t value = 0;
    if (!expr::process_expression_int(args.text.c_str(), &value)) {
      ReportFailure(args.text);
      return 1;
    }
    std::snprintf(line, sizeof line, "%d", static_cast<int>(value));
  } else {
    float value = 0.0f;
    if (!expr::process_expression(args.text.c_str(), &value)) {
      ReportFailure(args.text);
      return 1;
    }
    std::snprintf(line, sizeof line, "%.9g", static_cast<double>(value));
  }
  std::cout << line << '\n';
  return OutputWritten() ? 0 : 1;
}

int RunBatch(const EvalArgs& args) {
  std::string line;
  std::ostringstream printed;
  while (std::getline(std::cin, line)) {
    expr::clear_error();
    expr::Value result{};
    expr::value_set_int(result, 0);
    const bool read = expr::evaluate(line.c_str(), result, args.options);
    const int32_t flag = expr::error_flag();
    printed.str({});
    expr::print_value(printed, result, args.options);
    std::cout << (read ? 1 : 0) << ' ' << flag << ' ' << printed.str() << '\n';
    if (!std::cout.good()) break;  // the output is lost: no point reading on
  }
  return OutputWritten() ? 0 : 1;
}

int RunEval(const EvalArgs& args, bool haveText) {
  if (args.batch == haveText) {
    std::cerr << "eval: give either an expression or --batch\n";
    return 1;
  }
  return args.batch ? RunBatch(args) : RunSingle(args);
}

}  // namespace

void RegisterEvalCommands(CLI::App& app, CliContext& ctx) {
  auto args = std::make_shared<EvalArgs>();
  expr::set_options(args->options);
  CLI::App* eval = app.add_subcommand("eval", "Evaluate an expression as a formula or a dimension");
  CLI::Option* text = eval->add_option("expression", args->text, "The expression text");
  eval->add_flag("--int", args->integer, "Evaluate as an integer (array dimension, define)");
  eval->add_flag("--batch", args->batch,
                 "Evaluate each line of standard input; print \"R F TEXT\" per line");
  eval->add_option("--radix", args->options.radix, "Batch: radix of printed integers");
  eval->add_option("--precision", args->options.precision, "Batch: digits after the point");
  eval->add_option("--group", args->options.group_size, "Batch: digits per group (0: none)");
  eval->add_flag("--boolean", args->options.boolean, "Batch: print true or false");
  eval->add_flag("--degrees", args->options.degrees, "Batch: angles in degrees");
  eval->add_flag("--scientific", args->options.scientific, "Batch: scientific notation");
  eval->add_flag("--uppercase", args->options.uppercase, "Batch: upper-case words and digits");
  eval->callback([args, text, &ctx] { ctx.exitCode = RunEval(*args, text->count() > 0); });
}

}  // namespace tavomark::cli
