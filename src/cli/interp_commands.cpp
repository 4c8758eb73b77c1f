// tavomark-cli interp ...: the calibration library's table operations.
//
//   interp search [--unsigned] V T0,T1,...     -> "lo hi"
//   interp 1d X XS YS                          -> the interpolated value
//   interp 2d X Y XS YS VALUES                 (VALUES row-major, one row per Y)
//   interp 3d X Y Z XS YS ZS VALUES            (one plane per Z)
//   interp nearest V T                         -> the index of the nearest breakpoint
//   interp array A0,A1,...                     -> the filled array
//   interp --batch                             one request per line of standard input:
//                                              "search S|U V LIST", "1d ...", "2d ...",
//                                              "3d ...", "nearest ...", "array ..."
//
// Lists are comma-separated; numbers are 16-bit (0..65535 for an unsigned
// search), array entries any finite number. A malformed request gives a line
// "error: ..." (on standard output in a batch, which goes on) and exit 1.

#include <CLI/CLI.hpp>

#include <charconv>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_context.h"
#include "interp.h"
#include "strict_number.h"

namespace tavomark::cli {

namespace {

// The request's words; any failure throws this with the message to print.
struct BadRequest {
  std::string message;
};

class Request {
 public:
  explicit Request(std::vector<std::string> words) : m_words(std::move(words)) {}

  std::string Word(const char* field) {
    if (m_next >= m_words.size()) throw BadRequest{std::string("missing ") + field};
    return m_words[m_next++];
  }
  int64_t Integer(const char* field, int64_t min, int64_t max) { return ParseInteger(Word(field), field, min, max); }
  std::vector<int64_t> IntegerList(const char* field, int64_t min, int64_t max) {
    std::vector<int64_t> list;
    for (const std::string& item : Split(Word(field))) list.push_back(ParseInteger(item, field, min, max));
    if (list.size() > 65535) throw BadRequest{std::string(field) + ": more than 65535 entries"};
    return list;
  }
  std::vector<double> NumberList(const char* field) {
    std::vector<double> list;
    for (const std::string& item : Split(Word(field))) {
      double value = 0.0;
      std::string error;
      if (!ParseStrictNumber(item, field, value, error)) throw BadRequest{error};
      list.push_back(value);
    }
    return list;
  }
  void End() {
    if (m_next < m_words.size()) throw BadRequest{"unexpected \"" + m_words[m_next] + "\""};
  }

 private:
  static int64_t ParseInteger(const std::string& text, const char* field, int64_t min, int64_t max) {
    int64_t value = 0;
    std::string error;
    if (!ParseStrictInteger(text, field, min, max, value, error)) throw BadRequest{error};
    return value;
  }
  // "" is the empty list; every comma separates two entries.
  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    std::size_t from = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', from)) {
      items.push_back(text.substr(from, comma - from));
      from = comma + 1;
    }
    items.push_back(text.substr(from));
    return items;
  }

  std::vector<std::string> m_words;
  std::size_t m_next = 0;
};

constexpr int64_t kS16Min = -32768, kS16Max = 32767;

std::vector<int16_t> S16(const std::vector<int64_t>& list) { return {list.begin(), list.end()}; }
uint16_t Count(const std::vector<int16_t>& list) { return static_cast<uint16_t>(list.size()); }

std::string Search(Request& r, bool isSigned) {
  const int64_t min = isSigned ? kS16Min : 0, max = isSigned ? kS16Max : 65535;
  const int64_t v = r.Integer("V", min, max);
  const std::vector<int64_t> table = r.IntegerList("TABLE", min, max);
  r.End();
  if (table.empty()) throw BadRequest{"TABLE: at least one breakpoint"};
  std::vector<uint16_t> words;
  for (int64_t t : table) words.push_back(static_cast<uint16_t>(t));
  uint16_t lo = 0, hi = 0;
  calib::CercaIntervallo(lo, hi, static_cast<uint16_t>(v), words.data(), static_cast<uint16_t>(words.size()),
                         isSigned ? 1 : 0);
  return std::to_string(lo) + " " + std::to_string(hi);
}

void SameSize(std::size_t got, std::size_t expected, const char* field) {
  if (got != expected)
    throw BadRequest{std::string(field) + ": " + std::to_string(got) + " entries, expected " +
                     std::to_string(expected)};
}

std::string OneD(Request& r) {
  const auto x = static_cast<int16_t>(r.Integer("X", kS16Min, kS16Max));
  const std::vector<int16_t> xs = S16(r.IntegerList("XS", kS16Min, kS16Max));
  const std::vector<int16_t> ys = S16(r.IntegerList("YS", kS16Min, kS16Max));
  r.End();
  SameSize(ys.size(), xs.size(), "YS");
  return std::to_string(calib::Interp1D(x, xs.data(), ys.data(), Count(xs)));
}

std::string TwoD(Request& r) {
  const auto x = static_cast<int16_t>(r.Integer("X", kS16Min, kS16Max));
  const auto y = static_cast<int16_t>(r.Integer("Y", kS16Min, kS16Max));
  const std::vector<int16_t> xs = S16(r.IntegerList("XS", kS16Min, kS16Max));
  const std::vector<int16_t> ys = S16(r.IntegerList("YS", kS16Min, kS16Max));
  const std::vector<int16_t> values = S16(r.IntegerList("VALUES", kS16Min, kS16Max));
  r.End();
  SameSize(values.size(), xs.size() * ys.size(), "VALUES");
  return std::to_string(calib::Interp2D(x, y, xs.data(), ys.data(), Count(xs), Count(ys), values.data()));
}

std::string ThreeD(Request& r) {
  const auto x = static_cast<int16_t>(r.Integer("X", kS16Min, kS16Max));
  const auto y = static_cast<int16_t>(r.Integer("Y", kS16Min, kS16Max));
  const auto z = static_cast<int16_t>(r.Integer("Z", kS16Min, kS16Max));
  const std::vector<int16_t> xs = S16(r.IntegerList("XS", kS16Min, kS16Max));
  const std::vector<int16_t> ys = S16(r.IntegerList("YS", kS16Min, kS16Max));
  const std::vector<int16_t> zs = S16(r.IntegerList("ZS", kS16Min, kS16Max));
  const std::vector<int16_t> values = S16(r.IntegerList("VALUES", kS16Min, kS16Max));
  r.End();
  SameSize(values.size(), xs.size() * ys.size() * zs.size(), "VALUES");
  return std::to_string(
      calib::Interp3D(x, y, z, xs.data(), ys.data(), zs.data(), Count(xs), Count(ys), Count(zs), values.data()));
}

std::string Nearest(Request& r) {
  const auto v = static_cast<int16_t>(r.Integer("V", kS16Min, kS16Max));
  const std::vector<int16_t> table = S16(r.IntegerList("TABLE", kS16Min, kS16Max));
  r.End();
  return std::to_string(calib::GetNearest_S16(v, table.data(), Count(table)));
}

// Each entry in the shortest form that reads back as the same double.
std::string Array(Request& r) {
  std::vector<double> a = r.NumberList("ARRAY");
  r.End();
  calib::InterpArray(a.data(), static_cast<int32_t>(a.size()));
  std::string out;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, a[i]);
    if (i > 0) out += ',';
    out.append(buf, result.ptr);
  }
  return out;
}

// words[0] names the operation; "search" takes S or U first in a batch, or
// the --unsigned flag on the command line.
std::string Serve(std::vector<std::string> words, bool batch, bool unsignedFlag) {
  if (words.empty()) throw BadRequest{"empty request"};
  const std::string op = words[0];
  words.erase(words.begin());
  if (unsignedFlag && op != "search") throw BadRequest{"--unsigned belongs to search"};
  if (op == "search") {
    bool isSigned = !unsignedFlag;
    if (batch) {
      if (words.empty() || (words[0] != "S" && words[0] != "U")) throw BadRequest{"search: S or U first"};
      isSigned = words[0] == "S";
      words.erase(words.begin());
    }
    Request r(std::move(words));
    return Search(r, isSigned);
  }
  Request r(std::move(words));
  if (op == "1d") return OneD(r);
  if (op == "2d") return TwoD(r);
  if (op == "3d") return ThreeD(r);
  if (op == "nearest") return Nearest(r);
  if (op == "array") return Array(r);
  throw BadRequest{"unknown operation \"" + op + "\""};
}

int RunBatch() {
  int failed = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    try {
      std::cout << Serve(std::move(words), true, false) << '\n';
    } catch (const BadRequest& e) {
      std::cout << "error: " << e.message << '\n';
      failed = 1;
    }
  }
  std::cout.flush();
  return failed;
}

struct InterpArgs {
  std::vector<std::string> words;
  bool isUnsigned = false;
  bool batch = false;
};

int RunInterp(const InterpArgs& args) {
  if (args.batch) {
    if (!args.words.empty() || args.isUnsigned) {
      std::cerr << "error: --batch reads its requests from standard input only\n";
      return 1;
    }
    return RunBatch();
  }
  try {
    std::cout << Serve(args.words, false, args.isUnsigned) << '\n';
    return 0;
  } catch (const BadRequest& e) {
    std::cerr << "error: " << e.message << '\n';
    return 1;
  }
}

}  // namespace

void RegisterInterpCommands(CLI::App& app, CliContext& ctx) {
  auto args = std::make_shared<InterpArgs>();
  CLI::App* interp = app.add_subcommand(
      "interp",
      "Table search and interpolation: search [--unsigned] V LIST | 1d X XS YS | 2d X Y XS YS VALUES | "
      "3d X Y Z XS YS ZS VALUES | nearest V LIST | array LIST | --batch");
  // Negative numbers ("-5", "-1,2") are taken as words, not options.
  interp->add_option("request", args->words, "The operation and its numbers");
  interp->add_flag("--unsigned", args->isUnsigned, "search: compare as unsigned 16-bit numbers");
  interp->add_flag("--batch", args->batch, "Serve one request per line of standard input");
  interp->callback([args, &ctx] { ctx.exitCode = RunInterp(*args); });
}

}  // namespace tavomark::cli
