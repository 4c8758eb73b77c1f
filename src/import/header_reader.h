#pragma once
// Reads a tree of firmware C headers into two dictionaries: every #define name
// with its value text, and every typedef'd struct, union or enum with the text of
// its declaration. Not a preprocessor: no conditional is evaluated (definitions
// in every branch are collected), no macro is expanded while reading, and
// function-like macros are ignored. Each finding is written to the import log.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "double_list.h"
#include "import_log.h"

namespace tavomark {

// What follows a "typedef" (or a declaration inside a block).
enum class DeclKind : int { Statement = 0, Struct = 1, Union = 2, Enum = 3, Unterminated = 4 };

// Classifies text after leading blanks: the words struct, union and enum give
// their kinds and the position after the word; otherwise Statement with the
// position of the first ';', or Unterminated (result npos) when there is none.
[[nodiscard]] std::size_t FindTypedefType(std::string_view text, DeclKind& kind);

// One step of comment removal on a line. Returns true when the line is
// finished, false when it must be looked at again. inBlockComment carries an
// open /* ... */ from one line to the next. Quotes are not recognised.
bool RemoveComment(std::string& line, bool& inBlockComment);

// Space, tab, line feed, carriage return and vertical tab.
[[nodiscard]] bool IsBlank(char c);

// Include files beyond this count fail the import (a tree that keeps finding
// new paths, e.g. through a symbolic link to its own folder).
inline constexpr std::size_t kMaxHeaderFiles = 4096;

class HeaderReader {
 public:
  HeaderReader(ImportLog& log, DoubleList& defineList, DoubleList& typedefList);

  // Reads the main header and, breadth-first, every header it includes. A file
  // that cannot be opened is logged and skipped. False only when a typedef
  // capture failed or the include limit was reached.
  [[nodiscard]] bool CompileFile(const std::filesystem::path& mainHeader);

  // The steps, public so that they can be driven one at a time. A file is
  // read whole; SearchFileDefs walks its text (which must outlive the walk)
  // and the steps after it read on from where the walk is.
  [[nodiscard]] bool SearchFileDefs(std::string_view source);
  [[nodiscard]] bool GetTypeDef(const std::string& line);
  // False only when the include limit is reached.
  [[nodiscard]] bool GetIncludeFile(const std::string& line);
  bool GetDefine(const std::string& line);
  // Next line that is not empty once comments are gone; false at end of file.
  [[nodiscard]] bool GetUncommentLine(std::string& line);
  // Next character of the current logical text, lines joined with nothing in
  // between; 0 at end of file.
  [[nodiscard]] char GetNextChar();
  [[nodiscard]] bool SearchNextFileStatement(std::string& value);
  [[nodiscard]] bool SearchStructName(std::string& key);

  // The file list: position 1 is the main header.
  [[nodiscard]] const std::vector<std::string>& Files() const { return m_fileList; }
  void SetCurrentFile(const std::filesystem::path& path) { m_currentFile = path; }
  void SetMainDir(const std::filesystem::path& dir) { m_mainDir = dir; }
  [[nodiscard]] bool InBlockComment() const { return m_inBlockComment; }

 private:
  [[nodiscard]] std::filesystem::path ResolveInclude(const std::string& name) const;
  void AddFile(const std::string& path);

  ImportLog& m_log;
  DoubleList& m_defineList;
  DoubleList& m_typedefList;
  std::vector<std::string> m_fileList;
  std::unordered_set<std::string> m_knownFiles;  // m_fileList in lower case
  std::string_view m_source;
  std::size_t m_sourcePos = 0;
  std::string m_readerLine;
  std::size_t m_readerPos = 0;
  bool m_inBlockComment = false;
  std::filesystem::path m_currentFile;
  std::filesystem::path m_mainDir;
};

// The name between the double quotes of an #include line's rest; empty for a
// system include (a '<' anywhere), no quotes, or no closing quote.
[[nodiscard]] std::string SearchNextIncludeFileString(std::string_view rest);

// Resolves relative (with '/' separators) below dir: each element exactly when
// it exists, otherwise the one entry of the folder whose name matches ignoring
// letter case. Returns the empty path when no regular file is found.
[[nodiscard]] std::filesystem::path ResolveNoCase(const std::filesystem::path& dir, const std::string& relative);

}  // namespace tavomark
