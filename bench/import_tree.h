#pragma once
// A synthetic firmware header tree of realistic shape for the import
// benchmark. At scale 1:
//   53 files: main.h, types.h, enums.h and 50 block headers;
//   20,016 defines whose names are 6 to 40 characters long, most of them
//   defined through other defines;
//   a root structure Root_t of 50 blocks of 100 fields each (5,000 fields):
//   basic types, bit fields, arrays sized by define expressions, fields and
//   arrays of typedef'd structures (which hold arrays and bit fields of their
//   own) and typedef'd enums.
// Scale n writes n times the blocks (and so the files, defines and fields).

#include <filesystem>

namespace tavomark::bench {

struct ImportTreeSize {
  int files = 0;
  int defines = 0;
  int rootFields = 0;
};

// Writes the tree below dir (main.h at its top) and returns its size.
ImportTreeSize WriteImportTree(const std::filesystem::path& dir, int scale);

}  // namespace tavomark::bench
