#include "header_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <system_error>

#include "atomic_file.h"

namespace tavomark {

namespace {

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word && (text.size() == word.size() || !IsIdentChar(text[word.size()]));
}

// ASCII letters in lower case, as NoCaseSensitiveCmpString compares them.
std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::filesystem::path JoinText(const std::filesystem::path& dir, const std::string& name) {
  if (dir.empty()) return std::filesystem::path(name);
  std::string text = dir.string();
  if (text.back() != '/') text += '/';
  return std::filesystem::path(text + name);
}

// The whole file in one string; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  FileHandle file(path, "rb");
  if (!file) return false;
  char chunk[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, n);
  return std::ferror(file.get()) == 0;
}

}  // namespace

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v'; }

std::size_t FindTypedefType(std::string_view text, DeclKind& kind) {
  std::size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  const std::string_view rest = text.substr(p);
  // The keyword must end where a word ends: a type named "structPar_t" is not
  // the keyword struct.
  if (StartsWithWord(rest, "struct")) {
    kind = DeclKind::Struct;
    return p + 6;
  }
  if (StartsWithWord(rest, "union")) {
    kind = DeclKind::Union;
    return p + 5;
  }
  if (StartsWithWord(rest, "enum")) {
    kind = DeclKind::Enum;
    return p + 4;
  }
  const std::size_t semicolon = text.find(';');
  kind = semicolon == std::string_view::npos ? DeclKind::Unterminated : DeclKind::Statement;
  return semicolon;
}

bool RemoveComment(std::string& line, bool& inBlockComment) {
  if (inBlockComment) {
    const std::size_t end = line.find("*/");
    if (end == std::string::npos) {
      line.clear();
      return true;
    }
    inBlockComment = false;
    line.erase(0, end + 2);
    return false;
  }
  const std::size_t lineComment = line.find("//");
  const std::size_t blockComment = line.find("/*");
  if (lineComment == std::string::npos && blockComment == std::string::npos) return true;
  if (lineComment < blockComment) {
    line.resize(lineComment);
    return true;
  }
  const std::size_t end = line.find("*/", blockComment + 2);
  if (end == std::string::npos) {
    line.resize(blockComment);
    inBlockComment = true;
    return true;
  }
  line.erase(blockComment, end + 2 - blockComment);
  return false;
}

std::string SearchNextIncludeFileString(std::string_view rest) {
  const std::size_t open = rest.find('"');
  if (rest.find('<') != std::string_view::npos || open == std::string_view::npos) return {};
  const std::size_t close = rest.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return std::string(rest.substr(open + 1, close - open - 1));
}

std::filesystem::path ResolveNoCase(const std::filesystem::path& dir, const std::string& relative) {
  std::filesystem::path current = dir;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string element = relative.substr(start, end - start);
    start = end + 1;
    if (element.empty()) continue;
    std::filesystem::path exact = current.empty() ? std::filesystem::path(element) : current / element;
    std::error_code ec;
    if (element == "." || element == ".." || std::filesystem::exists(exact, ec)) {
      current = std::move(exact);
      continue;
    }
    // Headers written on Windows often name a file in another letter case than
    // the one on disk; the smallest matching name keeps the choice stable.
    std::string match;
    const std::filesystem::path folder = current.empty() ? std::filesystem::path(".") : current;
    for (std::filesystem::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec)) {
      const std::string candidate = it->path().filename().string();
      if (NoCaseSensitiveCmpString(candidate, element) == 0 && (match.empty() || candidate < match)) match = candidate;
    }
    if (match.empty()) return {};
    current = current.empty() ? std::filesystem::path(match) : current / match;
  }
  if (!IsRegularFile(current)) return {};
  return current;
}

HeaderReader::HeaderReader(ImportLog& log, DoubleList& defineList, DoubleList& typedefList)
    : m_log(log), m_defineList(defineList), m_typedefList(typedefList) {}

bool HeaderReader::CompileFile(const std::filesystem::path& mainHeader) {
  m_fileList.clear();
  m_knownFiles.clear();
  AddFile(mainHeader.lexically_normal().string());
  m_mainDir = std::filesystem::path(m_fileList.front()).parent_path();
  std::string source;
  // The list grows while it is walked: files are read breadth-first.
  for (std::size_t i = 0; i < m_fileList.size(); ++i) {
    const std::string path = m_fileList[i];
    m_currentFile = path;
    // Only regular files: a device or a pipe named by an include would never end.
    if (!IsRegularFile(path) || !ReadWholeFile(path, source)) {
      m_log.Put("\nFILE ", path.c_str(), " NOT FOUND \n");
      continue;
    }
    m_log.Put("\nFILE ", path.c_str(), "\n");
    if (!SearchFileDefs(source)) return false;
  }
  return true;
}

bool HeaderReader::SearchFileDefs(std::string_view source) {
  m_source = source;
  m_sourcePos = 0;
  m_inBlockComment = false;
  m_readerLine.clear();
  m_readerPos = 0;
  std::string line;
  bool ok = true;
  while (ok && GetUncommentLine(line)) {
    ok = GetTypeDef(line) && GetIncludeFile(line);
    if (ok) GetDefine(line);
  }
  m_source = {};
  m_sourcePos = 0;
  return ok;
}

bool HeaderReader::GetUncommentLine(std::string& line) {
  for (;;) {
    // Lines end at a line feed; the last one may lack it.
    if (m_sourcePos >= m_source.size()) return false;
    const std::size_t feed = m_source.find('\n', m_sourcePos);
    const std::size_t end = feed == std::string_view::npos ? m_source.size() : feed;
    line.assign(m_source, m_sourcePos, end - m_sourcePos);
    m_sourcePos = feed == std::string_view::npos ? m_source.size() : feed + 1;
    // The headers are C text: a NUL ends the line, and a Windows line end
    // loses its carriage return as in a text-mode read.
    const std::size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (!RemoveComment(line, m_inBlockComment)) {
    }
    if (!line.empty()) return true;
  }
}

char HeaderReader::GetNextChar() {
  if (m_readerPos >= m_readerLine.size()) {
    m_readerPos = 0;
    if (!GetUncommentLine(m_readerLine)) {
      m_readerLine.clear();
      return 0;
    }
  }
  return m_readerLine[m_readerPos++];
}

bool HeaderReader::SearchNextFileStatement(std::string& value) {
  std::size_t depth = 0;
  for (;;) {
    const char c = GetNextChar();
    if (c == 0) return false;
    value.push_back(c);
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (depth == 0) return false;
      if (depth == 1) return true;
      --depth;
    }
  }
}

bool HeaderReader::SearchStructName(std::string& key) {
  for (;;) {
    const char c = GetNextChar();
    if (c == 0) return false;
    if (c == ';') return true;
    if (!IsBlank(c)) key.push_back(c);
  }
}

bool HeaderReader::GetTypeDef(const std::string& line) {
  const std::size_t at = line.find("typedef ");
  if (at == std::string::npos) return true;
  const std::string rest = line.substr(at + 8);
  DeclKind kind = DeclKind::Statement;
  (void)FindTypedefType(rest, kind);
  if (kind == DeclKind::Statement) return true;
  if (kind == DeclKind::Unterminated) return false;
  // "typedef struct Tag Tag_t;" names a tag and opens no block: reading on for
  // a brace would swallow the next declaration.
  const std::size_t semicolon = rest.find(';');
  if (semicolon != std::string::npos && semicolon < rest.find('{')) return true;
  m_log.Write(kind == DeclKind::Struct ? "STRUCT " : (kind == DeclKind::Union ? "UNION " : "ENUM "));
  m_readerLine = rest;
  m_readerPos = 0;
  std::string value;
  std::string key;
  bool ok = true;
  if (!SearchNextFileStatement(value)) {
    m_log.Write("STATEMENT ERROR");
    ok = false;
  } else if (!SearchStructName(key)) {
    m_log.Write("NAME NOT FOUND");
    ok = false;
  } else {
    m_log.Put(" ", key, " ", value, "\n");
    m_typedefList.InsertInOrder(key, value, CmpString);
  }
  // Whatever follows the closing ';' on its line is dropped.
  m_readerLine.clear();
  m_readerPos = 0;
  return ok;
}

// Every include line looks its file up: the names in one case go into a set,
// so a tree of many files is not compared name by name on each line.
void HeaderReader::AddFile(const std::string& path) {
  m_fileList.push_back(path);
  m_knownFiles.insert(LowerCase(path));
}

std::filesystem::path HeaderReader::ResolveInclude(const std::string& name) const {
  std::filesystem::path found = ResolveNoCase(m_currentFile.parent_path(), name);
  if (found.empty()) found = ResolveNoCase(m_mainDir, name);
  if (found.empty()) found = JoinText(m_mainDir, name);
  return found.lexically_normal();
}

bool HeaderReader::GetIncludeFile(const std::string& line) {
  const std::size_t at = line.find("#include");
  if (at == std::string::npos) return true;
  std::string name = SearchNextIncludeFileString(std::string_view(line).substr(at + 8));
  if (name.empty()) return true;
  // Firmware trees name sub-folders with either slash.
  std::replace(name.begin(), name.end(), '\\', '/');
  const std::string candidate = ResolveInclude(name).string();
  if (m_knownFiles.count(LowerCase(candidate)) != 0) return true;
  if (m_fileList.size() >= kMaxHeaderFiles) {
    m_log.Printf("\nINCLUDE <%s> EXCEEDS THE LIMIT OF %zu FILES ERROR\n", name.c_str(), kMaxHeaderFiles);
    return false;
  }
  AddFile(candidate);
  m_log.Put("INCLUDE <", name, ">\n");
  return true;
}

bool HeaderReader::GetDefine(const std::string& line) {
  const std::size_t at = line.find("#define");
  if (at == std::string::npos) return true;
  std::size_t p = at + 7;
  if (p < line.size()) ++p;  // the character after the keyword
  while (p < line.size() && IsBlank(line[p])) ++p;
  const std::size_t nameStart = p;
  while (p < line.size() && !IsBlank(line[p])) ++p;
  const std::string_view name = std::string_view(line).substr(nameStart, p - nameStart);
  while (p < line.size() && IsBlank(line[p])) ++p;
  const std::string_view value = std::string_view(line).substr(p);
  if (name.empty() || value.empty() || name.find('(') != std::string_view::npos) return true;
  m_log.Put("DEFINE ", name, " ", value, "\n");
  m_defineList.InsertInOrder(name, value, StringLen);
  return true;
}

}  // namespace tavomark
