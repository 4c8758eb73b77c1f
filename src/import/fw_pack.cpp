#include "fw_pack.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

#include "atomic_file.h"
#include "declaration_parser.h"
#include "double_list.h"
#include "expression.h"
#include "header_reader.h"
#include "import_log.h"
#include "struct_pack_file.h"
#include "value_codec.h"

namespace tavomark {

namespace {

enum class FlagDefine { Missing, Value, Unrecognized, Unbounded };

// The last line of the log that is not empty.
std::string LastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return {};
  const std::size_t newline = text.rfind('\n', end);
  const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(start, end - start + 1);
}

// One import: the log, both dictionaries, the reader and the parser.
class FwPackImport {
 public:
  explicit FwPackImport(FwImportPack& importPack)
      : m_importPack(importPack),
        m_reader(m_log, m_defineList, m_typedefList),
        m_parser(m_log, m_defineList, m_typedefList, importPack.pack.records) {}

  [[nodiscard]] Result<void> Run(const std::filesystem::path& mainHeader, std::string& structName,
                                 FwImportReport& report);
  [[nodiscard]] ImportLog& Log() { return m_log; }

 private:
  [[nodiscard]] bool ReadByteOrder();
  void ReadIdentity();
  void ReadCompatibility();
  [[nodiscard]] FlagDefine ReadFlag(const char* name, int32_t& value);
  [[nodiscard]] bool ParseRoot(std::string_view declaration, const std::string& lowerName);
  [[nodiscard]] bool CheckSize();

  FwImportPack& m_importPack;
  ImportLog m_log;
  DoubleList m_defineList;
  DoubleList m_typedefList;
  HeaderReader m_reader;
  DeclarationParser m_parser;
};

FlagDefine FwPackImport::ReadFlag(const char* name, int32_t& value) {
  const std::string_view* text = m_defineList.BinSearch(name, StringLen);
  if (!text) return FlagDefine::Missing;
  std::string expression(*text);
  if (m_defineList.SubstString(expression) == kSubstLimitExceeded) return FlagDefine::Unbounded;
  expression = RemoveCast(expression);
  return expr::process_expression_int(expression.c_str(), &value) ? FlagDefine::Value : FlagDefine::Unrecognized;
}

bool FwPackImport::ReadByteOrder() {
  PackHeader& header = m_importPack.pack.header;
  int32_t value = 0;
  const FlagDefine bigEndian = ReadFlag("BIG_ENDIAN_MODE", value);
  if (bigEndian == FlagDefine::Unbounded) {
    m_log.Write("\nDefine BIG_ENDIAN_MODE SUBSTITUTION LIMIT EXCEEDED ERROR (self-referencing define?)\n");
    return false;
  }
  if (bigEndian == FlagDefine::Missing) {
    header.bigEndianMode = 1;
    m_log.Write("\nDefnine BIG_ENDIAN_MODE not Found Error\n");
  } else if (bigEndian == FlagDefine::Value) {
    header.bigEndianMode = value != 0 ? 1 : 0;
  } else {
    header.bigEndianMode = 1;
    m_log.Write("\nDefine BIG_ENDIAN_MODE not Recognized Error\n");
  }
  const FlagDefine swap = ReadFlag("COMM_SWAP_DATA_BLOCK", value);
  if (swap == FlagDefine::Unbounded) {
    m_log.Write("\nDefine COMM_SWAP_DATA_BLOCK SUBSTITUTION LIMIT EXCEEDED ERROR (self-referencing define?)\n");
    return false;
  }
  if (swap == FlagDefine::Missing) {
    header.swapDataBlock = bigEndian == FlagDefine::Missing ? 1 : 0;
    m_log.Write("\nDefnine COMM_SWAP_DATA_BLOCK not Found Error\n");
  } else if (swap == FlagDefine::Value) {
    header.swapDataBlock = value != 0 ? 1 : 0;
  } else {
    header.swapDataBlock = header.bigEndianMode ? 0 : 1;
    m_log.Write("\nDefine COMM_SWAP_DATA_BLOCK not Recognized Error\n");
  }
  return true;
}

void FwPackImport::ReadIdentity() {
  PackHeader& header = m_importPack.pack.header;
  const std::optional<std::string> version = m_parser.ParseDefine("szPROJ_VERSION");
  if (!version) {
    header.projVersion[0] = '\0';
  } else if (!version->empty()) {
    // The text after the opening quote, up to the closing one.
    (void)ReadStringVariable(version->c_str() + 1, sizeof(header.projVersion) - 1, '"', header.projVersion);
  }
  if (const auto code = m_parser.ParseDefine("CODE_PROJ")) {
    auto value = static_cast<int16_t>(header.codeProj);
    (void)ReadNumericVariable(code->c_str(), ';', value);
    header.codeProj = static_cast<uint16_t>(value);
  }
  const auto readChar = [this](const char* name, char& field) {
    const std::optional<std::string> text = m_parser.ParseDefine(name);
    (void)ReadCharVariable(text ? text->c_str() : nullptr, ';', field);
  };
  const auto readByte = [this](const char* name, uint8_t& field) {
    if (const auto text = m_parser.ParseDefine(name)) (void)ReadNumericVariable(text->c_str(), ';', field);
  };
  readChar("FW_DEV_REVISION", header.fwDevRevision);
  readChar("FW_NUM_REVISION", header.fwNumRevision);
  readByte("FW_DAY", header.fwDay);
  readByte("FW_MONTH", header.fwMonth);
  readByte("FW_YEAR", header.fwYear);
  readChar("COMP_VER_IO", header.compVerIo);
  readChar("COMP_VER_FW", header.compVerFw);
  readChar("COMP_VER_PAR", m_importPack.compVerPar);
}

void FwPackImport::ReadCompatibility() {
  PackHeader& header = m_importPack.pack.header;
  if (header.compVerFw == ' ' && m_importPack.compVerPar != ' ') {
    // Older firmware has one letter for everything.
    header.compVerFw = m_importPack.compVerPar;
    m_importPack.compVerProdInfo = m_importPack.compVerPar;
    m_importPack.compVerCalib = m_importPack.compVerPar;
    m_log.Write("\nDefnine COMP_VER_FW not Found\n");
    m_log.Write("\nOld Stile Compatibility version Recognized Warning\n");
    return;
  }
  const std::optional<std::string> prodInfo = m_parser.ParseDefine("COMP_VER_PRODINFO");
  (void)ReadCharVariable(prodInfo ? prodInfo->c_str() : nullptr, ';', m_importPack.compVerProdInfo);
  const std::optional<std::string> calib = m_parser.ParseDefine("COMP_VER_CALIB");
  (void)ReadCharVariable(calib ? calib->c_str() : nullptr, ';', m_importPack.compVerCalib);
}

bool FwPackImport::ParseRoot(std::string_view declaration, const std::string& lowerName) {
  const std::string root = std::string(declaration) + lowerName;
  m_parser.SetParseLevel(0);
  bool error = false;
  const std::optional<std::size_t> end = m_parser.ParseTypedef(root, "ROOT", error);
  return end.has_value() && !error;
}

// Offsets and sizes are 16-bit: a structure whose leaves add up to more bytes
// than that cannot be laid out (unions could make it smaller; firmware blocks
// that large cannot be transferred either).
bool FwPackImport::CheckSize() {
  std::size_t total = 0;
  for (const Record& r : m_importPack.pack.records) {
    if (r.IsLeaf()) total += r.byteSize;
  }
  if (total <= UINT16_MAX) return true;
  m_log.Printf("\nSTRUCT SIZE %zu BYTES EXCEEDS %u ERROR\n", total, static_cast<unsigned>(UINT16_MAX));
  return false;
}

Result<void> FwPackImport::Run(const std::filesystem::path& mainHeader, std::string& structName,
                               FwImportReport& report) {
  StructPack& pack = m_importPack.pack;
  pack.records.clear();
  if (!m_reader.CompileFile(mainHeader)) return Fail("reading the headers stopped: " + LastLine(m_log.Text()));
  const std::string_view* declaration = m_typedefList.BinSearch(structName, CmpString);
  if (!declaration) {
    m_log.Printf("STRUTTURA '%s' NON TROVATA\n", structName.c_str());
    std::string why = "no structure " + structName + " in " + mainHeader.string() + " or the headers it includes";
    // A main header that cannot be read is only logged by the reader.
    if (FileHandle main(mainHeader, "rb"); !main) why += " (" + main.error() + ")";
    return Fail(why);
  }
  pack.header.packIndex = 0;
  if (!ReadByteOrder()) return Fail("the define BIG_ENDIAN_MODE never stops substituting (self-referencing define?)");
  ReadIdentity();
  ReadCompatibility();
  m_log.Printf("\nPROCESSING %s of %s \n", structName.c_str(), pack.header.projVersion);

  std::transform(structName.begin(), structName.end(), structName.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  bool parsed = ParseRoot(*declaration, structName);
  m_log.Printf(parsed ? "\nPROCESS STRUCT %s OK\n" : "\nPROCESS STRUCT %s ERROR\n", structName.c_str());
  if (parsed) parsed = CheckSize();
  m_defineList.Clear();
  m_typedefList.Clear();
  if (!pack.records.empty()) (void)CalcStructSize(pack.records);
  pack.header.numRecords = static_cast<uint16_t>(pack.records.size());
  report.parsed = parsed;
  return {};
}

// The dump is named after the firmware's version text; separators in it would
// put the file somewhere else.
std::string DumpFileName(const char* projVersion) {
  std::string name(projVersion);
  std::replace(name.begin(), name.end(), '/', '_');
  std::replace(name.begin(), name.end(), '\\', '_');
  return name + "_log.txt";
}

bool SaveText(const std::filesystem::path& path, const std::string& text) {
  return SaveFileAtomically(path, [&text](std::FILE* file) {
           return std::fwrite(text.data(), 1, text.size(), file) == text.size();
         }).ok();
}

}  // namespace

Result<void> RetrieveFwPack(const std::filesystem::path& mainHeader, std::string& structName,
                            FwImportPack& importPack, FwImportReport& report, const std::filesystem::path& outputDir) {
  report = FwImportReport{};
  FwPackImport import(importPack);
  auto imported = import.Run(mainHeader, structName, report);
  if (imported) {
    report.dumpPath = outputDir / DumpFileName(importPack.pack.header.projVersion);
    report.dumpSaved = SaveStructPack(report.dumpPath, importPack.pack, false).ok();
  }
  report.log = import.Log().TakeText();
  report.logPath = outputDir / "log.txt";
  report.logSaved = SaveText(report.logPath, report.log);
  return imported;
}

}  // namespace tavomark
