#pragma once
// Importing one firmware structure: reads the header tree, fills the pack header
// with the firmware's identity and byte-order defines, parses the structure into
// records, lays them out, and leaves "log.txt" and the struct dump
// "<projVersion>_log.txt" behind.

#include <filesystem>
#include <string>

#include "record.h"
#include "result.h"

namespace tavomark {

// The struct pack of the last firmware import with the three compatibility
// letters that belong to the import, not to the pack header.
struct FwImportPack {
  StructPack pack = CreateStructPack();
  char compVerPar = ' ';
  char compVerCalib = ' ';
  char compVerProdInfo = ' ';
};

// What one import left behind besides the pack.
struct FwImportReport {
  bool parsed = false;            // the structure parsed without error
  std::string log;                // the text of log.txt
  std::filesystem::path logPath;  // where log.txt was written
  bool logSaved = false;
  std::filesystem::path dumpPath;  // "<projVersion>_log.txt"
  bool dumpSaved = false;
};

// Imports the typedef'd structure structName (exact case) from the header tree
// of mainHeader into importPack. structName is turned to lower case: the root
// record is named after it, with type "ROOT". The logs are written to
// outputDir (the current directory when empty).
//
// Fails, saying why, when nothing usable was produced: a header scan failed,
// the structure is missing, or an identity define never stops substituting.
// Succeeds otherwise, even when the structure's parse failed: then
// report.parsed is false, the records hold what was parsed before the failure
// and the log says why.
[[nodiscard]] Result<void> RetrieveFwPack(const std::filesystem::path& mainHeader, std::string& structName,
                                          FwImportPack& importPack, FwImportReport& report,
                                          const std::filesystem::path& outputDir = {});

}  // namespace tavomark
