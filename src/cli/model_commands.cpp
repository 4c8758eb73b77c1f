// tavomark-cli config ... and values ...: configurations and value files.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "atomic_file.h"
#include "block.h"
#include "cli_context.h"
#include "config_set.h"
#include "device_image.h"
#include "fixed_text.h"
#include "names.h"
#include "output_check.h"
#include "struct_pack_file.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::cli {

namespace {

// Longest line of an assignment list.
constexpr std::size_t kMaxAssignmentLineBytes = 1 << 20;

int ConfigShow(const std::string& file) {
  ConfigSet config = CreateConfigSet();
  if (auto loaded = LoadConfigSet(file, config); !loaded) {
    std::cerr << "Config Load Error: " << file << ": " << loaded.message() << "\n";
    return 1;
  }
  // File order.
  for (Block block : {Block::Monitor, Block::Parameters, Block::Information, Block::Calibration}) {
    std::fflush(stdout);
    std::printf("%s\n", BlockWord(block));
    if (!WriteStructPack(stdout, GetTabIndexedStruct(config, block))) break;
  }
  return OutputWritten() ? 0 : 1;
}

int ValuesNew(const std::string& configFile, const std::string& out) {
  ConfigSet config = CreateConfigSet();
  if (auto loaded = LoadConfigSet(configFile, config); !loaded) {
    std::cerr << "Config Load Error: " << configFile << ": " << loaded.message() << "\n";
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
  if (auto saved = SaveValToSendSet(out, vts); !saved) {
    std::cerr << "Errors while Saving file: " << out << ": " << saved.message() << "\n";
    return 1;
  }
  return 0;
}

// Loads a value file and attaches its configuration from the project's folder.
bool LoadDataSet(const CliContext& ctx, const std::string& file, DataSet& data) {
  if (auto loaded = LoadValToSendSet(file, data.vts); !loaded) {
    std::cerr << GetValToSendErrorString(kInvalidParameterFile) << ": " << file << ": " << loaded.message() << "\n";
    return false;
  }
  if (auto attached = UpdateDataSet(data, ctx.projectDir); !attached) {
    std::cerr << attached.message() << "\n";
    return false;
  }
  return true;
}

std::string LeafPath(const StructPack& pack, const Record& r);

bool IsChrRecord(const Record& r) { return TextOf(r.varType) == "CHR"; }

// The shortest text that reads back (as a double, then rounded to single
// precision, as `values set` reads it) to exactly the stored value.
std::string NumberText(float value) {
  if (std::isnan(value)) return "nan";
  char buffer[64];
  std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  if (static_cast<float>(std::strtod(text.c_str(), nullptr)) != value) {
    // A second rounding (text to double to float) must not change the value.
    text.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value)).ptr);
  }
  return text;
}

// A "CHR" value in double quotes: printable ASCII as it is, except the quote
// and the backslash (escaped with a backslash) and '#' (which starts a comment
// in an assignment list); \0 for NUL; \xHH for every other byte.
std::string CharText(double value) {
  const double t = std::trunc(value);
  const int code = std::isnan(t) ? 0 : static_cast<int>(static_cast<int64_t>(std::clamp(t, -1e9, 1e9)) & 0xFF);
  std::string text = "\"";
  if (code == 0) {
    text += "\\0";
  } else if (code == '"' || code == '\\') {
    text += '\\';
    text += static_cast<char>(code);
  } else if (code >= 0x20 && code < 0x7F && code != '#') {
    text += static_cast<char>(code);
  } else {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(code));
    text += hex;
  }
  return text + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted "CHR" text as CharText writes it; the text must hold exactly
// one character.
bool ParseCharText(const std::string& quoted, const std::string& field, uint8_t& out, std::string& error) {
  const auto refuse = [&](const std::string& why) {
    error = field + ": " + quoted + " " + why;
    return false;
  };
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return refuse("lacks its closing quote");
  std::string bytes;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"') return refuse("holds an unescaped quote (write \\\")");
    if (c != '\\') {
      bytes += c;
      continue;
    }
    if (i + 2 >= quoted.size()) return refuse("ends in a lone backslash");
    const char e = quoted[++i];
    if (e == '0') {
      bytes += '\0';
    } else if (e == '\\' || e == '"') {
      bytes += e;
    } else if (e == 'x' && i + 3 < quoted.size() && HexDigit(quoted[i + 1]) >= 0 && HexDigit(quoted[i + 2]) >= 0) {
      bytes += static_cast<char>(HexDigit(quoted[i + 1]) * 16 + HexDigit(quoted[i + 2]));
      i += 2;
    } else {
      return refuse("holds an unknown escape \\" + std::string(1, e) + " (known: \\0 \\\\ \\\" \\xHH)");
    }
  }
  if (bytes.size() != 1) return refuse("is not one character");
  out = static_cast<uint8_t>(bytes[0]);
  return true;
}

// One line per leaf, as `values set --from` reads it back:
//   block:path=value  # unit
void PrintBlock(const char* block, const StructPack& pack, const Pack& values) {
  for (std::size_t i = 1; i <= pack.records.size(); ++i) {
    const Record& r = pack.records[i - 1];
    if (!r.IsLeaf()) continue;
    const float value = ItemValue(values.Item(i));
    const std::string unit(TextOf(r.unit));
    std::cout << block << ':' << LeafPath(pack, r) << '=' << (IsChrRecord(r) ? CharText(value) : NumberText(value));
    if (!unit.empty()) std::cout << "  # " << unit;
    std::cout << '\n';
  }
}

int ValuesShow(const CliContext& ctx, const std::string& file) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  for (Block block : kDeviceBlocks) {
    PrintBlock(BlockWord(block), GetTabIndexedStruct(data.config, block),
               GetTabIndexedValToSendPack(data.vts, block));
  }
  return OutputWritten() ? 0 : 1;
}

// A leaf's path as `values show` prints it: its ancestors below the root, then its name.
std::string LeafPath(const StructPack& pack, const Record& r) { return GetRecordPath(pack, r); }

// Leaf paths of the three blocks, each built once, to their list positions.
class LeafIndex {
 public:
  explicit LeafIndex(const ConfigSet& config) : m_config(config) {}

  // 1-based position of the leaf, or 0.
  std::size_t Find(Block block, const std::string& path) {
    const auto tab = static_cast<std::size_t>(TabOfBlock(block));
    auto& index = m_byTab[tab];
    if (!m_built[tab]) {
      const StructPack& pack = GetTabIndexedStruct(m_config, block);
      for (std::size_t i = 1; i <= pack.records.size(); ++i) {
        const Record& r = pack.records[i - 1];
        if (r.IsLeaf()) index.emplace(LeafPath(pack, r), i);  // the first of equal paths wins
      }
      m_built[tab] = true;
    }
    const auto it = index.find(path);
    return it == index.end() ? 0 : it->second;
  }

 private:
  const ConfigSet& m_config;
  std::unordered_map<std::string, std::size_t> m_byTab[3];
  bool m_built[3] = {false, false, false};
};

// "block:path=value" -> sets that leaf's value (clamped to the record's limits).
// The value must be wholly a number; for "CHR" leaves one character, or a
// quoted text as `values show` prints it.
bool Assign(DataSet& data, LeafIndex& leaves, const std::string& assignment) {
  const auto colon = assignment.find(':');
  const auto equals = assignment.find('=', colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || equals == std::string::npos) {
    std::cerr << "expected block:path=value, got \"" << assignment << "\"\n";
    return false;
  }
  const std::string block = TrimSpaces(assignment.substr(0, colon));
  const std::string path = TrimSpaces(assignment.substr(colon + 1, equals - colon - 1));
  // Only the blanks around the '=' go: a "CHR" value may be a blank itself.
  std::string value = assignment.substr(equals + 1);
  const std::optional<Block> named = BlockOfWord(block);
  if (!named || !IsDeviceBlock(*named)) {
    std::cerr << "unknown block \"" << block << "\" (param, info or calib)\n";
    return false;
  }
  const std::size_t position = leaves.Find(*named, path);
  if (position == 0) {
    std::cerr << "no value \"" << path << "\" in the " << block << " block\n";
    return false;
  }
  const Record& r = GetTabIndexedStruct(data.config, *named).records[position - 1];
  const std::string trimmed = TrimSpaces(value);
  if (!IsChrRecord(r) || trimmed.size() == 1 || (!trimmed.empty() && trimmed.front() == '"')) value = trimmed;
  double parsed = 0.0;
  std::string error;
  if (IsChrRecord(r) && value.size() > 1 && value.front() == '"') {
    uint8_t code = 0;
    if (!ParseCharText(value, block + ":" + path, code, error)) {
      std::cerr << error << "\n";
      return false;
    }
    parsed = static_cast<double>(static_cast<int8_t>(code));
  } else if (!ParseTypedValue(r, value, block + ":" + path, parsed, error)) {
    std::cerr << error << "\n";
    return false;
  }
  SetItemValue(GetTabIndexedValToSendPack(data.vts, *named).Item(position), static_cast<float>(parsed));
  return true;
}

// Appends the assignments of a list file (one per line, '#' starts a comment).
bool ReadAssignments(const std::string& from, std::vector<std::string>& all) {
  FileHandle list(from, "rb");
  if (!list) {
    std::cerr << "cannot read " << from << ": " << list.error() << "\n";
    return false;
  }
  std::string line;
  for (std::size_t number = 1;; ++number) {
    const LineStatus status = ReadLineChecked(list.get(), line, kMaxAssignmentLineBytes);
    if (status == LineStatus::kEnd) return true;
    if (status == LineStatus::kReadError) {
      std::cerr << "cannot read " << from << ": " << std::strerror(errno) << "\n";
      return false;
    }
    if (status == LineStatus::kTooLong) {
      std::cerr << from << ":" << number << ": line longer than " << kMaxAssignmentLineBytes << " bytes\n";
      return false;
    }
    if (line.find('\0') != std::string::npos) {
      std::cerr << from << ":" << number << ": the line holds a NUL byte\n";
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = line.substr(0, line.find('#'));
    if (!TrimSpaces(line).empty()) all.push_back(line);
  }
}

int ValuesSet(const CliContext& ctx, const std::string& file, const std::vector<std::string>& assignments,
              const std::string& from, bool haveFrom) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  std::vector<std::string> all = assignments;
  if (haveFrom && !ReadAssignments(from, all)) return 1;
  LeafIndex leaves(data.config);
  for (const auto& a : all)
    if (!Assign(data, leaves, a)) return 1;
  if (auto saved = SaveValToSendSet(file, data.vts); !saved) {
    std::cerr << "Errors while Saving file: " << file << ": " << saved.message() << "\n";
    return 1;
  }
  return 0;
}

int ValuesImage(const CliContext& ctx, const std::string& file, const std::string& block, const std::string& out) {
  DataSet data = CreateDataSet();
  if (!LoadDataSet(ctx, file, data)) return 1;
  const std::optional<Block> named = BlockOfWord(block);
  if (!named || !IsDeviceBlock(*named)) {
    std::cerr << "unknown block \"" << block << "\" (param, info or calib)\n";
    return 1;
  }
  // Only the block asked for is encoded: damage elsewhere does not stop it.
  const StructPack& pack = GetTabIndexedStruct(data.config, *named);
  const Pack& values = GetTabIndexedValToSendPack(data.vts, *named);
  for (std::size_t i = 1; i <= pack.records.size() && i <= values.Count(); ++i) {
    const Record& r = pack.records[i - 1];
    if (!r.IsLeaf() || ItemSkip(values.Item(i)) != 0 || !std::isnan(ItemValue(values.Item(i)))) continue;
    std::cerr << block << ":" << LeafPath(pack, r) << ": the value file holds \"nan\", not a number\n";
    return 1;
  }
  DeviceSet devices = CreateDeviceSet(data.config);
  if (!BlockToDeviceData(data.vts, devices, *named)) {
    std::cerr << "the " << block << " block's values do not fit its device image\n";
    return 1;
  }
  auto bytes = GetIndexedDeviceData(devices, *named).All();
  if (auto saved = SaveFileAtomically(
          out, [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); });
      !saved) {
    std::cerr << "cannot write " << out << ": " << saved.message() << "\n";
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

  auto* show = values->add_subcommand("show", "Print every value as block:path=value lines that values set --from reads back");
  auto showFile = std::make_shared<std::string>();
  show->add_option("FILE", *showFile, "Value file")->required();
  show->callback([&ctx, showFile] { ctx.exitCode = ValuesShow(ctx, *showFile); });

  auto* set = values->add_subcommand("set", "Change values of a value file (block:path=value, paths as `values show` prints them)");
  auto setFile = std::make_shared<std::string>();
  auto assignments = std::make_shared<std::vector<std::string>>();
  auto from = std::make_shared<std::string>();
  set->add_option("FILE", *setFile, "Value file")->required();
  set->add_option("ASSIGNMENT", *assignments, "block:path=value");
  auto* fromOption = set->add_option("--from", *from, "File of assignments, one per line ('#' starts a comment)");
  set->callback([&ctx, setFile, assignments, from, fromOption] {
    ctx.exitCode = ValuesSet(ctx, *setFile, *assignments, *from, fromOption->count() > 0);
  });

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
