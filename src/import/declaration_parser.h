#pragma once
// Turns the declaration text of one firmware structure (as the header reader
// stored it) into the records of a struct pack, in pre-order. Accepts the
// firmware's basic type names, bit fields, arrays sized by a number or an
// expression of defines, nested struct/union/enum blocks, and fields whose type
// is another typedef'd struct, union or enum. Decimals and unit come from the
// field name's last "_suffix". Every step writes to the import log.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "double_list.h"
#include "header_reader.h"
#include "import_log.h"
#include "record.h"

namespace tavomark {

// Bounds that keep a malformed or hostile header from exhausting the stack,
// memory or time; each one ends the parse with its own log line.
inline constexpr int kMaxNestingLevel = 64;
inline constexpr std::size_t kMaxImportRecords = 65535;     // positions are 16-bit
inline constexpr std::size_t kMaxElementTextBytes = 64u << 20;  // arrays of structures

// Splits the name at its last '_' (not a leading one): "c", "d", "m" after it
// give 2, 1, 3 decimals and the rest is the unit; any other text is the unit.
// Returns the name before the '_' (the whole name when it is not split).
[[nodiscard]] std::string ParseScaleAndUnit(std::string_view name, uint16_t& decimals, std::string& unit);

// A leading "(type)" cast removed; a text that is one parenthesised group, or
// starts with nested parentheses, is kept.
[[nodiscard]] std::string RemoveCast(std::string_view text);

// The first brace block from the start of text: position of its '{' and of its
// matching '}', or nothing when the braces do not balance.
struct BraceBlock {
  std::size_t open = 0;
  std::size_t close = 0;
};
[[nodiscard]] std::optional<BraceBlock> SearchNextStatement(std::string_view text);

// The type word: text up to the first blank. Empty when there is no blank.
[[nodiscard]] std::string_view ParseVariableType(std::string_view text, std::size_t& after);
// The declarator after the type: blanks skipped, text up to ';' (or the end);
// next is the position after that ';'.
[[nodiscard]] std::string_view ParseVariableName(std::string_view text, std::size_t from, std::size_t& next);

enum class SizeResult { Ok, Invalid, LimitExceeded };

class DeclarationParser {
 public:
  DeclarationParser(ImportLog& log, const DoubleList& defineList, const DoubleList& typedefList, RecordList& records);

  // A struct, union or enum block with its name up to ';'. Returns the
  // position after that ';' (the text's end when there is none), or nothing:
  // with error clear when text is not a balanced block, with error set when the
  // block was recognised and its body failed.
  [[nodiscard]] std::optional<std::size_t> ParseTypedef(std::string_view text, const char* typeName, bool& error);
  // A block body; true when every declaration in it parsed.
  [[nodiscard]] bool ParseStatement(std::string_view body);
  // One declaration; the position after its ';', or nothing on failure.
  [[nodiscard]] std::optional<std::size_t> ParseVariable(std::string_view text);

  // Basic type: byte size and signedness, result null. Typedef'd block: its
  // declaration text. Unknown: byteSize 0 and null.
  [[nodiscard]] const std::string_view* CheckVaribleType(std::string_view type, uint16_t& byteSize, uint8_t& isSigned) const;
  // Cuts the declarator at '[' and at its first blank into name; evaluates the
  // text between the brackets (defines substituted) into size (0 = no array).
  [[nodiscard]] SizeResult ParseNameArraySize(std::string_view declarator, std::string& name, int32_t& size,
                                              std::string& sizeText);
  // Cuts the declarator at ':' and reads the width after it (a number, or an
  // expression of defines). False when the width is not one or exceeds the
  // type's bits.
  [[nodiscard]] bool ParseBitSize(std::string_view declarator, uint16_t byteSize, std::string& rest,
                                  uint16_t& bitSize);
  // The define's text with a leading cast removed, or nothing.
  [[nodiscard]] std::optional<std::string> ParseDefine(std::string_view name) const;

  void SetParseLevel(int level) { m_parseLevel = level; }
  [[nodiscard]] int ParseLevel() const { return m_parseLevel; }

 private:
  [[nodiscard]] Record* AppendRecord();
  [[nodiscard]] bool ParseStructField(std::string_view type, std::string_view typedefText,
                                      std::string_view declarator);
  [[nodiscard]] bool ParseStructElements(const std::string& typeName, std::string_view typedefText,
                                         const std::string& name, int32_t size);
  [[nodiscard]] bool ParseEnumField(const std::string& name);
  [[nodiscard]] bool Substitute(std::string& text);
  [[nodiscard]] SizeResult EvaluateArraySize(const std::string& sizeText, int32_t& size);

  ImportLog& m_log;
  const DoubleList& m_defineList;
  const DoubleList& m_typedefList;
  RecordList& m_records;
  int m_parseLevel = 0;
  std::vector<DeclKind> m_blocks;  // kinds of the blocks being parsed, innermost last
  std::size_t m_elementTextBytes = 0;
  // Array sizes and bit widths by their text, for this parser's one import.
  struct CachedSize {
    SizeResult result = SizeResult::Ok;
    int32_t size = 0;
  };
  std::unordered_map<std::string, CachedSize> m_sizeCache;
  std::unordered_map<std::string, int32_t> m_widthCache;
  bool m_limitLogged = false;
};

}  // namespace tavomark
