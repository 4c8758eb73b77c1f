// Integer expressions checked against the C compiler's own arithmetic: random
// expressions over the integer operators are written once for the evaluator
// and once as C (// spelled /), the C side is compiled with -fwrapv so that it
// wraps like the evaluator, and the results are compared.
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

struct Twin {
  std::string ours;
  std::string c;
};

Twin Wrap(const char* before, const Twin& t, const char* after) {
  return {before + t.ours + after, before + t.c + after};
}

Twin Join(const Twin& a, const char* ourOp, const char* cOp, const Twin& b) {
  return {"(" + a.ours + ") " + ourOp + " (" + b.ours + ")",
          "(" + a.c + ") " + cOp + " (" + b.c + ")"};
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : m_rng(seed) {}

  Twin Expression(int depth) {
    if (depth == 0 || Pick(5) == 0) return Literal();
    const Twin a = Expression(depth - 1);
    const Twin b = Expression(depth - 1);
    static const char* const kBinary[] = {"+",  "-", "*",  "&", "|",  "^",  "==",
                                          "!=", "<", "<=", ">", ">=", "&&", "||"};
    static const char* const kUnary[] = {"-(", "~(", "!("};
    switch (Pick(6)) {
      case 0: return Wrap(kUnary[Pick(3)], a, ")");
      case 1: {
        const Twin divisor =
            Pick(2) ? Wrap("((", b, ") & 255 | 1)") : Wrap("(-((", b, ") & 255 | 2))");
        return Pick(2) ? Join(a, "//", "/", divisor) : Join(a, "%", "%", divisor);
      }
      case 2: {
        const char* op = Pick(2) ? "<<" : ">>";
        return Join(a, op, op, Wrap("((", b, ") & 31)"));
      }
      case 3: {
        const Twin c = Expression(depth - 1);
        return {"(" + a.ours + ") ? (" + b.ours + ") : (" + c.ours + ")",
                "(" + a.c + ") ? (" + b.c + ") : (" + c.c + ")"};
      }
      default: {
        const char* op = kBinary[Pick(14)];
        return Join(a, op, op, b);
      }
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

  // Literals stay below 2^31 so that C gives them type int as well.
  Twin Literal() {
    static const uint32_t kLimits[] = {9, 999, 65535, 0x7fffffff};
    static const char* const kFormats[] = {"%u", "0x%X", "0%o"};
    const uint32_t n = std::uniform_int_distribution<uint32_t>(0, kLimits[Pick(4)])(m_rng);
    char text[24];
    std::snprintf(text, sizeof text, kFormats[Pick(3)], n);
    return {text, text};
  }

  std::mt19937 m_rng;
};

// Compiles and runs the C side: one printed integer per expression.
std::vector<long long> RunCompiled(const std::vector<Twin>& twins) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tavomark_expr_diff_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string source = (dir / "e.c").string();
  const std::string program = (dir / "e").string();
  const std::string output = (dir / "e.out").string();
  {
    std::ofstream c(source);
    c << "#include <stdio.h>\nint main(void) {\n";
    for (const Twin& t : twins) c << "  printf(\"%d\\n\", (int)(" << t.c << "));\n";
    c << "  return 0;\n}\n";
  }
  const std::string build = std::string(TAVOMARK_TEST_C_COMPILER) +
                            " -std=c11 -fwrapv -O0 -w -o '" + program + "' '" + source + "'";
  std::vector<long long> results;
  if (std::system(build.c_str()) == 0 &&
      std::system(("'" + program + "' > '" + output + "'").c_str()) == 0) {
    std::ifstream in(output);
    for (long long v = 0; in >> v;) results.push_back(v);
  }
  std::filesystem::remove_all(dir);
  return results;
}

TEST(Differential, IntegerArithmeticMatchesTheCCompiler) {
  Generator generator(20240611u);
  std::vector<Twin> twins;
  for (int i = 0; i < 3000; ++i) twins.push_back(generator.Expression(4));
  const std::vector<long long> expected = RunCompiled(twins);
  ASSERT_EQ(expected.size(), twins.size()) << "the C side did not compile or run";

  int mismatches = 0;
  for (std::size_t i = 0; i < twins.size() && mismatches < 10; ++i) {
    const test::Outcome out = test::Eval(twins[i].ours);
    if (out.read && out.flag == 0 && out.value.type == kTypeInt && out.value.i == expected[i]) {
      continue;
    }
    ++mismatches;
    ADD_FAILURE() << twins[i].ours << "\n  C: " << expected[i] << ", evaluator: " << out.value.i
                  << " (read " << out.read << ", flag " << out.flag << " " << out.message << ")";
  }
}

}  // namespace
}  // namespace tavomark::expr
