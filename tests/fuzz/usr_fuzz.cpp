// User configuration files (".usr"): arbitrary bytes as the live view's lists,
// then every entry looked up and the file written back.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config_set.h"
#include "fuzz_util.h"

using namespace tavomark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputFile file(data, size);
  if (!file.get()) return 0;
  UserConfSet set = CreateUserConfSet();
  if (!ReadUserConfSet(file.get(), set)) return 0;
  uint32_t sum = 0;
  for (std::size_t list = 0; list <= kUserConfLists; ++list)
    for (std::size_t row = 0; row <= kUserConfEntries; ++row) sum += set.Entry(list, row);
  (void)sum;
  (void)WriteUserConfSet(fuzz::NullOutput(), set);
  return 0;
}
