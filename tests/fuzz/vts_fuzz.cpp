// Value files (".vts", "tavomark.dat"): arbitrary bytes as a value file, then
// everything a loaded file goes through without its configuration: checks,
// copies, the error texts and writing it back.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_util.h"
#include "value_set.h"

using namespace tavomark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputFile file(data, size);
  if (!file.get()) return 0;
  ValToSendSet set;
  if (!ReadValToSendSet(file.get(), set)) return 0;
  (void)IsCoherentValToSendSet(set);
  (void)IsCompleteValToSendSet(set);
  ValToSendSet copy;
  (void)CopyValToSendSet(copy, set);
  for (Block block : kDeviceBlocks) {
    const Pack& pack = GetTabIndexedValToSendPack(copy, block);
    for (std::size_t i = 1; i <= pack.Count(); ++i) (void)ItemValue(GetValToSendRecord(pack, i));
  }
  (void)WriteValToSendSet(fuzz::NullOutput(), copy);
  return 0;
}
