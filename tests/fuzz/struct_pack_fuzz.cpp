// Struct-pack files: the first byte picks the binary or the text layout, the
// rest is the file. A pack that reads is laid out again, named, written in
// both layouts and read back from its own text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_util.h"
#include "record.h"
#include "struct_pack_file.h"

using namespace tavomark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool binary = (data[0] & 1) != 0;
  fuzz::InputFile file(data + 1, size - 1);
  if (!file.get()) return 0;
  StructPack pack = CreateStructPack();
  const int read = binary ? ReadBinStructPack(file.get(), pack) : ReadStructPack(file.get(), pack);
  if (!read || pack.records.size() > 4096) return 0;
  std::string path;
  for (const Record& r : pack.records) {
    path.clear();
    (void)GetFatherName(pack, r, path, -1);
  }
  (void)GetStructByteSize(pack);
  (void)WriteBinStructPack(fuzz::NullOutput(), pack);
  // The text written must read back.
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* out = ::open_memstream(&text, &length);
  if (!out) return 0;
  (void)WriteStructPack(out, pack);
  std::fclose(out);
  if (length > 0) {
    fuzz::InputFile again(reinterpret_cast<const uint8_t*>(text), length);
    StructPack back = CreateStructPack();
    if (again.get()) (void)ReadStructPack(again.get(), back);
  }
  std::free(text);
  return 0;
}
