#pragma once
// Names and paths of configuration files, and the file-name helpers shared by
// every panel. Paths are built with the platform's separator; the splitters also
// accept '\' so Windows paths kept in old settings still split.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "record.h"

namespace tavomark {

// "PRJ%04d%c"; false and empty when the code is 0.
bool GetHeaderString(uint16_t codeProj, char compVerFw, std::string& text);
// "PRJ%04dcp_%c"; false and empty when the code is 0.
bool GetConfigName(uint16_t codeProj, char compVerFw, std::string& text);
bool GetUserConfName(const PackHeader& header, std::string& text);

// <project>/config/<configuration name>.cfg and .usr
[[nodiscard]] std::filesystem::path GetConfigPath(const std::filesystem::path& projectDir, uint16_t codeProj,
                                                  char compVerFw);
[[nodiscard]] std::filesystem::path GetUserConfPath(const std::filesystem::path& projectDir,
                                                    const PackHeader& header);

// The text after the last '.', when that dot follows the last separator and at
// most 4 characters follow it; otherwise empty. position receives where the
// extension starts (the path's length when there is none).
[[nodiscard]] std::string GetFileExtension(std::string_view path, std::size_t* position = nullptr);
// The last path element without its extension and dot; returns the position of
// the extension in the path (the path's length when there is none).
std::size_t SplitFileName(std::string_view path, std::string& name);

}  // namespace tavomark
