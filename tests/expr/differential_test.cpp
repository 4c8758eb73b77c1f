// Integer expressions checked against the C compiler's own arithmetic: random
// expressions over the integer operators are written once for the evaluator
// and once as C (with // spelled /), the C side is compiled with -fwrapv so
// that it wraps like the evaluator, and both results are compared.
//
// Divisors are forced odd and positive ((x & 255) | 1) or even and negative
// (-((x & 255) | 2)), so neither 0 nor -1 ever divides; shift counts are
// masked to 0..31. Everything else is left to chance.

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

constexpr int kExpressions = 3000;
constexpr int kMaxDepth = 4;

struct Twin {
  std::string ours;
  std::string c;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : m_rng(seed) {}

  Twin Expression(int depth) {
    if (depth == 0 || Pick(5) == 0) return Literal();
    switch (Pick(6)) {
      case 0: return Unary(depth);
      case 1: return Division(depth);
      case 2: return Shift(depth);
      case 3: return Conditional(depth);
      default: return Binary(depth);
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

  uint32_t Number() {
    switch (Pick(4)) {
      case 0: return static_cast<uint32_t>(Pick(10));
      case 1: return static_cast<uint32_t>(Pick(1000));
      case 2: return static_cast<uint32_t>(Pick(65536));
      default: return std::uniform_int_distribution<uint32_t>(0, 0x7fffffff)(m_rng);
    }
  }

  // Literals stay below 2^31 so that C gives them type int as well.
  Twin Literal() {
    const uint32_t n = Number();
    char text[48];
    switch (Pick(4)) {
      case 0: std::snprintf(text, sizeof text, "0x%X", n); break;
      case 1: std::snprintf(text, sizeof text, "0%o", n); break;
      case 2: {
        std::string bits;
        for (uint32_t v = n; v != 0; v >>= 1) bits.insert(bits.begin(), static_cast<char>('0' + (v & 1)));
        std::snprintf(text, sizeof text, "0b%s", bits.empty() ? "0" : bits.c_str());
        break;
      }
      default: std::snprintf(text, sizeof text, "%u", n); break;
    }
    return {text, text};
  }

  Twin Unary(int depth) {
    static const char* const kOps[] = {"-", "~", "!"};
    const char* op = kOps[Pick(3)];
    const Twin a = Expression(depth - 1);
    return {std::string(op) + "(" + a.ours + ")", std::string(op) + "(" + a.c + ")"};
  }

  Twin Binary(int depth) {
    static const char* const kOps[] = {"+",  "-",  "*", "&",  "|",  "^",  "==",
                                       "!=", "<",  "<=", ">", ">=", "&&", "||"};
    const char* op = kOps[Pick(14)];
    return Join(Expression(depth - 1), op, op, Expression(depth - 1));
  }

  Twin Division(int depth) {
    const Twin a = Expression(depth - 1);
    const Twin d = Expression(depth - 1);
    const bool positive = Pick(2) == 0;
    const Twin divisor = positive
        ? Twin{"((" + d.ours + ") & 255 | 1)", "((" + d.c + ") & 255 | 1)"}
        : Twin{"(-((" + d.ours + ") & 255 | 2))", "(-((" + d.c + ") & 255 | 2))"};
    return Pick(2) == 0 ? Join(a, "//", "/", divisor) : Join(a, "%", "%", divisor);
  }

  Twin Shift(int depth) {
    const Twin a = Expression(depth - 1);
    const Twin b = Expression(depth - 1);
    const Twin count{"((" + b.ours + ") & 31)", "((" + b.c + ") & 31)"};
    return Pick(2) == 0 ? Join(a, "<<", "<<", count) : Join(a, ">>", ">>", count);
  }

  Twin Conditional(int depth) {
    const Twin c = Expression(depth - 1);
    const Twin a = Expression(depth - 1);
    const Twin b = Expression(depth - 1);
    return {"((" + c.ours + ") ? (" + a.ours + ") : (" + b.ours + "))",
            "((" + c.c + ") ? (" + a.c + ") : (" + b.c + "))"};
  }

  static Twin Join(const Twin& a, const char* ourOp, const char* cOp, const Twin& b) {
    return {"(" + a.ours + ") " + ourOp + " (" + b.ours + ")",
            "(" + a.c + ") " + cOp + " (" + b.c + ")"};
  }

  std::mt19937 m_rng;
};

// Compiles and runs the C side; one printed integer per expression.
std::vector<long long> RunCompiled(const std::vector<Twin>& twins,
                                   const std::filesystem::path& dir) {
  const auto source = dir / "expressions.c";
  const auto program = dir / "expressions";
  const auto output = dir / "expressions.out";
  {
    std::ofstream c(source);
    c << "#include <stdio.h>\nint main(void) {\n";
    for (const Twin& t : twins) c << "  printf(\"%d\\n\", (int)(" << t.c << "));\n";
    c << "  return 0;\n}\n";
  }
  const std::string compile = std::string(TAVOMARK_TEST_C_COMPILER) +
                              " -std=gnu11 -fwrapv -O0 -w -o '" + program.string() + "' '" +
                              source.string() + "'";
  if (std::system(compile.c_str()) != 0) return {};
  const std::string run = "'" + program.string() + "' > '" + output.string() + "'";
  if (std::system(run.c_str()) != 0) return {};
  std::vector<long long> results;
  std::ifstream in(output);
  for (long long v = 0; in >> v;) results.push_back(v);
  return results;
}

TEST(Differential, IntegerArithmeticMatchesTheCCompiler) {
  Generator generator(20240611u);
  std::vector<Twin> twins;
  for (int i = 0; i < kExpressions; ++i) twins.push_back(generator.Expression(kMaxDepth));

  const auto dir = std::filesystem::temp_directory_path() /
                   ("tavomark_expr_diff_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<long long> expected = RunCompiled(twins, dir);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(expected.size(), twins.size()) << "the C side did not compile or run";

  int mismatches = 0;
  for (std::size_t i = 0; i < twins.size() && mismatches < 10; ++i) {
    const test::Outcome out = test::Eval(twins[i].ours);
    const bool same = out.read && out.flag == 0 && out.value.type == kTypeInt &&
                      out.value.i == expected[i];
    if (!same) {
      ++mismatches;
      ADD_FAILURE() << twins[i].ours << "\n  C: " << expected[i] << "  evaluator: "
                    << (out.value.type == kTypeInt ? out.value.i : 0) << " (read " << out.read
                    << ", flag " << out.flag << " " << out.message << ")";
    }
  }
}

}  // namespace
}  // namespace tavomark::expr
