// The simulator's request reader: arbitrary bytes fed in pieces whose sizes
// the first byte chooses, every item taken and described, a partial frame
// dropped now and then as a time-out would.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "sim_frame.h"

using namespace tavomark::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = (data[0] & 0x3F) + 1;
  const bool dropPartials = (data[0] & 0x40) != 0;
  FrameReader reader;
  std::span<const uint8_t> rest(data + 1, size - 1);
  while (!rest.empty()) {
    const std::size_t n = std::min(piece, rest.size());
    reader.Feed(rest.first(n));
    rest = rest.subspan(n);
    while (auto item = reader.Next()) {
      if (item->kind != FrameReader::Kind::Oversize) {
        (void)DescribeFrame(item->frame);
        // A sound request is rebuilt byte for byte.
        if (item->kind == FrameReader::Kind::Request) {
          const auto built = BuildFrame(item->frame.cmd, item->frame.device, item->frame.payload);
          if (built.size() != item->frame.payload.size() + kHeaderBytes + 1) __builtin_trap();
        }
      }
    }
    (void)reader.TakeSkipped();
    if (dropPartials && reader.HasPartial()) reader.DropPartial();
  }
  return 0;
}
