// Stored member data: copied as it is, with its CRC-16.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"

namespace lzh {

// Copies exactly `size` bytes from `in` to `out` (nullptr: test only) with
// their CRC-16. A source that ends first is a data error.
DecodeResult CopyStored(ByteSource& in, std::uint64_t size, ByteSink* out);

}  // namespace lzh
