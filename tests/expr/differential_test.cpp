// Integer expressions checked against the C compiler's own arithmetic: random
// expressions over the integer operators are written once for the evaluator;
// the C side is the same text with // spelled /, compiled with -fwrapv so that
// it wraps like the evaluator, and the results are compared.
//
// Divisors are forced to (x & 255 | 1) or -(x & 255 | 2), never 0 or -1; shift
// counts are masked to 0..31. Everything else is left to chance.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : m_rng(seed) {}

  std::string Expression(int depth) {
    if (depth == 0 || Pick(5) == 0) return Literal();
    const std::string a = "(" + Expression(depth - 1) + ")";
    const std::string b = "(" + Expression(depth - 1) + ")";
    static const char* const kBinary[] = {"+",  "-", "*",  "&", "|",  "^",  "==",
                                          "!=", "<", "<=", ">", ">=", "&&", "||"};
    static const char* const kUnary[] = {"-", "~", "!"};
    switch (Pick(6)) {
      case 0: return kUnary[Pick(3)] + a;
      case 1: {
        const std::string divisor = Pick(2) ? "(" + b + " & 255 | 1)" : "(-(" + b + " & 255 | 2))";
        return a + (Pick(2) ? " // " : " % ") + divisor;
      }
      case 2: return a + (Pick(2) ? " << " : " >> ") + "(" + b + " & 31)";
      case 3: return a + " ? " + b + " : (" + Expression(depth - 1) + ")";
      default: return a + " " + kBinary[Pick(14)] + " " + b;
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

  // Literals stay below 2^31 so that C gives them type int as well.
  std::string Literal() {
    static const uint32_t kLimits[] = {9, 999, 65535, 0x7fffffff};
    static const char* const kFormats[] = {"%u", "0x%X", "0%o"};
    const uint32_t n = std::uniform_int_distribution<uint32_t>(0, kLimits[Pick(4)])(m_rng);
    char text[24];
    std::snprintf(text, sizeof text, kFormats[Pick(3)], n);
    return text;
  }

  std::mt19937 m_rng;
};

// Compiles and runs the C side: one printed integer per expression.
std::vector<long long> RunCompiled(const std::vector<std::string>& expressions) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tavomark_expr_diff_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string source = (dir / "e.c").string();
  const std::string program = (dir / "e").string();
  {
    std::ofstream c(source);
    c << "#include <stdio.h>\nint main(void) {\n";
    for (std::string e : expressions) {
      for (std::size_t at = 0; (at = e.find("//", at)) != std::string::npos;) e.erase(at, 1);
      c << "  printf(\"%d\\n\", (int)(" << e << "));\n";
    }
    c << "  return 0;\n}\n";
  }
  const std::string build = std::string(TAVOMARK_TEST_C_COMPILER) +
                            " -std=c11 -fwrapv -O0 -w -o '" + program + "' '" + source + "'";
  std::vector<long long> results;
  if (std::system(build.c_str()) == 0) {
    FILE* pipe = popen(("'" + program + "'").c_str(), "r");
    for (long long v = 0; pipe && std::fscanf(pipe, "%lld", &v) == 1;) results.push_back(v);
    if (pipe) pclose(pipe);
  }
  std::filesystem::remove_all(dir);
  return results;
}

TEST(Differential, IntegerArithmeticMatchesTheCCompiler) {
  Generator generator(20240611u);
  std::vector<std::string> expressions;
  for (int i = 0; i < 3000; ++i) expressions.push_back(generator.Expression(4));
  const std::vector<long long> expected = RunCompiled(expressions);
  ASSERT_EQ(expected.size(), expressions.size()) << "the C side did not compile or run";

  int mismatches = 0;
  for (std::size_t i = 0; i < expressions.size() && mismatches < 10; ++i) {
    const test::Outcome out = test::Eval(expressions[i]);
    if (out.read && out.flag == 0 && out.value.type == kTypeInt && out.value.i == expected[i]) {
      continue;
    }
    ++mismatches;
    ADD_FAILURE() << expressions[i] << "\n  C: " << expected[i] << ", evaluator: " << out.value.i
                  << " (read " << out.read << ", flag " << out.flag << " " << out.message << ")";
  }
}

}  // namespace
}  // namespace tavomark::expr
