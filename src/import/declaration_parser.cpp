#include "declaration_parser.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "expression.h"

namespace tavomark {

namespace {

template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

struct BasicType {
  const char* name;
  uint16_t byteSize;
  uint8_t isSigned;
};

constexpr BasicType kBasicTypes[] = {
    {"S64", 8, 1}, {"S32", 4, 1}, {"S16", 2, 1}, {"S8", 1, 1},  {"U64", 8, 0},
    {"U32", 4, 0}, {"U16", 2, 0}, {"U8", 1, 0},  {"CHR", 1, 0}, {"BOOL", 1, 0},
};

// A plain decimal number of at most five digits (anything wider is no bit
// width); false when the text is something else.
bool ReadSmallDecimal(std::string_view text, int32_t& value) {
  if (text.empty() || text.size() > 5) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::string ParseScaleAndUnit(std::string_view name, uint16_t& decimals, std::string& unit) {
  decimals = 0;
  unit.clear();
  const std::size_t cut = name.rfind('_');
  if (cut == std::string_view::npos || cut == 0) return std::string(name);
  const std::string_view suffix = name.substr(cut + 1);
  if (!suffix.empty()) {
    switch (suffix.front()) {
      case 'c':
        decimals = 2;
        unit = suffix.substr(1);
        break;
      case 'd':
        decimals = 1;
        unit = suffix.substr(1);
        break;
      case 'm':
        decimals = 3;
        unit = suffix.substr(1);
        break;
      default:
        unit = suffix;
        break;
    }
  }
  return std::string(name.substr(0, cut));
}

std::string RemoveCast(std::string_view text) {
  int opened = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') {
      if (++opened > 1) break;
    } else if (text[i] == ')') {
      if (opened != 1) break;
      // "(1)" is a value in parentheses, not a cast: only a group with
      // something after it is removed.
      if (TrimBlanks(text.substr(i + 1)).empty()) break;
      return std::string(text.substr(i + 1));
    }
  }
  return std::string(text);
}

std::optional<BraceBlock> SearchNextStatement(std::string_view text) {
  const std::size_t open = text.find('{');
  if (open == std::string_view::npos) return std::nullopt;
  std::size_t depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == '{') {
      ++depth;
    } else if (text[i] == '}') {
      if (--depth == 0) return BraceBlock{open, i};
    }
  }
  return std::nullopt;
}

std::string_view ParseVariableType(std::string_view text, std::size_t& after) {
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  if (end == text.size()) {
    after = text.size();
    return {};
  }
  after = end + 1;
  return text.substr(0, end);
}

std::string_view ParseVariableName(std::string_view text, std::size_t from, std::size_t& next) {
  // All blanks are skipped: a tab after the type would otherwise lead the
  // name, and the name is cut at its first blank.
  while (from < text.size() && IsBlank(text[from])) ++from;
  const std::size_t semicolon = text.find(';', from);
  const std::size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
  next = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
  return text.substr(from, end - from);
}

DeclarationParser::DeclarationParser(ImportLog& log, const DoubleList& defineList, const DoubleList& typedefList,
                                     RecordList& records)
    : m_log(log), m_defineList(defineList), m_typedefList(typedefList), m_records(records) {}

Record* DeclarationParser::AppendRecord() {
  if (m_records.size() >= kMaxImportRecords) {
    if (!m_limitLogged) m_log.Printf("\nRECORD LIMIT OF %zu EXCEEDED ERROR\n", kMaxImportRecords);
    m_limitLogged = true;
    return nullptr;
  }
  m_records.emplace_back();
  Record& r = m_records.back();
  r.level = static_cast<uint16_t>(m_parseLevel);
  return &r;
}

bool DeclarationParser::Substitute(std::string& text) {
  if (m_defineList.SubstString(text) != kSubstLimitExceeded) return true;
  m_log.Printf("\nDEFINE SUBSTITUTION LIMIT EXCEEDED ERROR (self-referencing define?) IN \"%.80s\"\n", text.c_str());
  return false;
}

std::optional<std::size_t> DeclarationParser::ParseTypedef(std::string_view text, const char* typeName, bool& error) {
  error = false;
  DeclKind kind = DeclKind::Statement;
  const std::size_t keywordEnd = FindTypedefType(text, kind);
  if (kind != DeclKind::Struct && kind != DeclKind::Union && kind != DeclKind::Enum) return std::nullopt;
  const std::optional<BraceBlock> block = SearchNextStatement(text.substr(keywordEnd));
  // "enum Mode_t m;" names a type but opens no block: a ';' before the '{'
  // means the brace belongs to a later declaration.
  if (!block || text.substr(keywordEnd, block->open).find(';') != std::string_view::npos) return std::nullopt;
  const std::size_t open = keywordEnd + block->open;
  const std::size_t close = keywordEnd + block->close;
  const std::string_view body = text.substr(open + 1, close - open - 1);

  Record* record = AppendRecord();
  if (!record) {
    error = true;
    return std::nullopt;
  }
  record->kind = static_cast<RecordKind>(kind);
  const std::size_t semicolon = text.find(';', close + 1);
  const std::size_t nameEnd = semicolon == std::string_view::npos ? text.size() : semicolon;
  const std::size_t result = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
  const std::string name(TrimBlanks(text.substr(close + 1, nameEnd - close - 1)));
  SetText(record->varName, name);
  const int level = m_parseLevel;
  if (typeName) {
    SetText(record->varType, typeName);
    m_log.Put(level, " VARTYPE ", typeName, " ");
  } else {
    m_log.Put(level, " NO_TYPEDEF ");
  }
  bool ok = false;
  if (kind == DeclKind::Enum) {
    m_log.Write("ENUM ");
    ok = ParseEnumField(name);
  } else {
    m_log.Put(kind == DeclKind::Struct ? "STRUCT" : "UNION", " VARNAME ", name, " \n");
    m_blocks.push_back(kind);
    ok = ParseStatement(body);
    m_blocks.pop_back();
  }
  if (!ok) {
    error = true;
    return std::nullopt;
  }
  m_log.Put(level, " END STATEMENT ", name, "\n");
  return result;
}

// An enum field is its marker record and, at the same level, the U16 leaf that
// holds its value. An element of an array of enums ("e[2]") keeps its index
// after the leaf's name.
bool DeclarationParser::ParseEnumField(const std::string& name) {
  const std::size_t bracket = name.find('[');
  const std::string base = name.substr(0, bracket);
  const std::string text = "U16 " + base + "; ";
  if (!ParseVariable(text)) return false;
  if (bracket != std::string::npos) {
    const std::string full = std::string(m_records.back().varName) + name.substr(bracket);
    SetText(m_records.back().varName, full);
  }
  return true;
}

bool DeclarationParser::ParseStatement(std::string_view body) {
  if (m_parseLevel + 1 > kMaxNestingLevel) {
    m_log.Printf("\nNESTING DEEPER THAN %d LEVELS ERROR\n", kMaxNestingLevel);
    return false;
  }
  ++m_parseLevel;
  bool ok = true;
  std::size_t p = 0;
  while (ok) {
    while (p < body.size() && IsBlank(body[p])) ++p;
    if (p >= body.size()) break;
    const std::string_view rest = body.substr(p);
    bool error = false;
    std::optional<std::size_t> next = ParseTypedef(rest, nullptr, error);
    if (error) {
      ok = false;
      break;
    }
    if (!next) next = ParseVariable(rest);
    if (!next) {
      ok = false;
      break;
    }
    p += *next;
  }
  --m_parseLevel;
  return ok;
}

const std::string_view* DeclarationParser::CheckVaribleType(std::string_view type, uint16_t& byteSize,
                                                       uint8_t& isSigned) const {
  byteSize = 0;
  isSigned = 0;
  for (const BasicType& basic : kBasicTypes) {
    if (type == basic.name) {
      byteSize = basic.byteSize;
      isSigned = basic.isSigned;
      return nullptr;
    }
  }
  return m_typedefList.BinSearch(type, CmpString);
}

// The defines do not change while a structure is parsed, so one text always
// gives the same size: each distinct text is substituted and evaluated once
// (the fields of a structure are met again in every element of an array of it).
SizeResult DeclarationParser::EvaluateArraySize(const std::string& sizeText, int32_t& size) {
  if (const auto cached = m_sizeCache.find(sizeText); cached != m_sizeCache.end()) {
    size = cached->second.size;
    return cached->second.result;
  }
  std::string expression = sizeText;
  int32_t value = 0;
  // A substitution that never ends is logged each time it is met.
  if (!Substitute(expression)) return SizeResult::LimitExceeded;
  SizeResult result = SizeResult::Ok;
  if (!expr::process_expression_int(expression.c_str(), &value) || value < 1) {
    result = SizeResult::Invalid;
  } else {
    size = value;
  }
  m_sizeCache.emplace(sizeText, CachedSize{result, size});
  return result;
}

SizeResult DeclarationParser::ParseNameArraySize(std::string_view declarator, std::string& name, int32_t& size,
                                                 std::string& sizeText) {
  size = 0;
  sizeText.clear();
  SizeResult result = SizeResult::Ok;
  std::string_view base = declarator;
  const std::size_t open = declarator.find('[');
  if (open != std::string_view::npos) {
    base = declarator.substr(0, open);
    const std::size_t close = declarator.find(']', open + 1);
    if (open + 1 < declarator.size() && close != std::string_view::npos) {
      sizeText = std::string(declarator.substr(open + 1, close - open - 1));
      result = EvaluateArraySize(sizeText, size);
    }
  }
  std::size_t end = 0;
  while (end < base.size() && !IsBlank(base[end])) ++end;
  name = std::string(base.substr(0, end));
  return result;
}

bool DeclarationParser::ParseBitSize(std::string_view declarator, uint16_t byteSize, std::string& rest,
                                     uint16_t& bitSize) {
  bitSize = 0;
  const std::size_t colon = declarator.find(':');
  rest = std::string(declarator.substr(0, colon));
  if (colon == std::string_view::npos) return true;
  const std::string_view widthText = TrimBlanks(declarator.substr(colon + 1));
  if (widthText.empty()) return true;
  int32_t width = 0;
  if (!ReadSmallDecimal(widthText, width)) {
    // A width written with defines ("U16 mode : MODE_BITS;") is evaluated like
    // an array size rather than silently taken as no bit field.
    const std::string text(widthText);
    if (const auto cached = m_widthCache.find(text); cached != m_widthCache.end()) {
      width = cached->second;
    } else {
      std::string expression = text;
      bool bounded = Substitute(expression);
      if (!bounded || !expr::process_expression_int(expression.c_str(), &width)) width = -1;
      // A substitution that never ends is logged each time it is met.
      if (bounded) m_widthCache.emplace(text, width);
    }
  }
  if (width < 0 || width > byteSize * 8) {
    m_log.Printf("BITSIZE %s ERROR \n", std::string(widthText).c_str());
    return false;
  }
  bitSize = static_cast<uint16_t>(width);
  return true;
}

bool DeclarationParser::ParseStructField(std::string_view type, std::string_view typedefText,
                                         std::string_view declarator) {
  std::string name;
  std::string sizeText;
  int32_t size = 0;
  // An invalid size counts as no array on this path.
  if (ParseNameArraySize(declarator, name, size, sizeText) == SizeResult::LimitExceeded) return false;
  const std::string typeName(type);
  // Elements side by side at the block's level lay out one after the other in
  // a struct; in a union they would all start at its offset, so there they
  // get an array container, as an array of a basic type does.
  const bool contained = size != 0 && !m_blocks.empty() && m_blocks.back() == DeclKind::Union;
  if (contained) {
    Record* container = AppendRecord();
    if (!container) return false;
    container->kind = RecordKind::Struct;
    container->arraySize = static_cast<uint16_t>(std::min<int32_t>(size, UINT16_MAX));
    SetText(container->varName, name);
    SetText(container->varType, typeName);
    m_log.Put(m_parseLevel, " VARTYPE ", typeName, " ARRAYSIZE ", size, " VARNAME \"", name, "\"\n");
    if (m_parseLevel + 1 > kMaxNestingLevel) {
      m_log.Printf("\nNESTING DEEPER THAN %d LEVELS ERROR\n", kMaxNestingLevel);
      return false;
    }
    ++m_parseLevel;
  }
  const bool ok = ParseStructElements(typeName, typedefText, name, size);
  if (contained) --m_parseLevel;
  return ok;
}

bool DeclarationParser::ParseStructElements(const std::string& typeName, std::string_view typedefText,
                                            const std::string& name, int32_t size) {
  const int32_t count = size == 0 ? 1 : size;
  for (int32_t i = 0; i < count; ++i) {
    std::string text(typedefText);
    text += name;
    if (size != 0) text += "[" + std::to_string(i) + "]";
    text += ";";
    m_elementTextBytes += text.size();
    if (m_elementTextBytes > kMaxElementTextBytes) {
      m_log.Printf("\nSTRUCTURE ARRAY %s[%d] TOO LARGE ERROR\n", name.c_str(), size);
      return false;
    }
    bool error = false;
    const std::optional<std::size_t> next = ParseTypedef(text, typeName.c_str(), error);
    if (error || !next) return false;
  }
  return true;
}

std::optional<std::size_t> DeclarationParser::ParseVariable(std::string_view text) {
  std::size_t afterType = 0;
  const std::string_view type = ParseVariableType(text, afterType);
  if (type.empty()) {
    m_log.Write("VARTYPE NOT FOUND ERROR ");
    return std::nullopt;
  }
  std::size_t next = 0;
  const std::string_view declarator = ParseVariableName(text, afterType, next);
  if (declarator.empty()) {
    m_log.Write("VARIABLE NAME ERROR ");
    return std::nullopt;
  }
  uint16_t byteSize = 0;
  uint8_t isSigned = 0;
  const std::string_view* typedefText = CheckVaribleType(type, byteSize, isSigned);
  if (typedefText) {
    if (!ParseStructField(type, *typedefText, declarator)) return std::nullopt;
    return next;
  }
  const std::string typeName(type);
  if (byteSize == 0) {
    m_log.Printf("VARTYPE %s UNDEFINED ERROR\n", typeName.c_str());
    return std::nullopt;
  }
  Record* record = AppendRecord();
  if (!record) return std::nullopt;
  record->byteSize = byteSize;
  record->isSigned = isSigned;
  SetText(record->varType, typeName);
  const int level = m_parseLevel;
  m_log.Put(level, " VARTYPE ", typeName, " BYTESIZE ", byteSize, " ");
  m_log.Write(isSigned ? "SIGNED " : "UNSIGNED ");

  std::string rest;
  uint16_t bitSize = 0;
  if (!ParseBitSize(declarator, byteSize, rest, bitSize)) return std::nullopt;
  record->bitSize = bitSize;
  if (bitSize != 0) m_log.Put("BITSIZE ", bitSize, " ");

  std::string name;
  std::string sizeText;
  int32_t size = 0;
  const SizeResult sized = ParseNameArraySize(rest, name, size, sizeText);
  if (sized == SizeResult::LimitExceeded) return std::nullopt;
  if (sized == SizeResult::Invalid) {
    m_log.Printf("ARRAYSIZE %s[%s]ERROR \n", name.c_str(), sizeText.c_str());
    return std::nullopt;
  }
  if (size != 0) m_log.Put("ARRAYSIZE ", size, " ");

  uint16_t decimals = 0;
  std::string unit;
  const std::string base = ParseScaleAndUnit(name, decimals, unit);
  record->decimals = decimals;
  SetText(record->unit, unit);
  SetText(record->varName, base);
  m_log.Put("DECIMALS ", decimals, " UNIT \"", unit, "\" VARNAME \"", base, "\"\n");
  if (size == 0) return next;

  if (m_records.size() + static_cast<std::size_t>(size) > kMaxImportRecords) {
    if (!m_limitLogged) m_log.Printf("\nRECORD LIMIT OF %zu EXCEEDED ERROR\n", kMaxImportRecords);
    m_limitLogged = true;
    return std::nullopt;
  }
  record->kind = RecordKind::Struct;
  record->arraySize = static_cast<uint16_t>(size);
  Record element = *record;
  element.kind = RecordKind::Leaf;
  element.level = static_cast<uint16_t>(level + 1);
  element.arraySize = 0;
  const std::string elementBase(record->varName);
  std::string elementName;
  for (int32_t i = 0; i < size; ++i) {
    char index[16];
    char* indexEnd = std::to_chars(index, index + sizeof index, i).ptr;
    elementName.assign(elementBase).append("[").append(index, static_cast<std::size_t>(indexEnd - index)).append("]");
    SetText(element.varName, elementName);
    m_records.push_back(element);
    m_log.Put(level + 1, " ADD ARRAY ITEM ", i, " ", elementBase, "\n");
  }
  return next;
}

std::optional<std::string> DeclarationParser::ParseDefine(std::string_view name) const {
  const std::string_view* text = m_defineList.BinSearch(name, StringLen);
  if (!text) return std::nullopt;
  return RemoveCast(*text);
}

}  // namespace tavomark
