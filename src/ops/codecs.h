// The codec objects that one thread decodes and encodes with, each made on
// its first use, and the unpacking of one member's data through them.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/entry.h"
#include "lzh/codec_io.h"
#include "lzh/decoder.h"
#include "lzh/encoder.h"
#include "lzh/lh1_decoder.h"
#include "lzh/lz5_decoder.h"
#include "lzh/lzs_decoder.h"

// How producing a member's data ended, with the CRC-16 of what was produced.
enum class DataOutcome {
  kOk,
  kDataError,    // corrupt, or needing more bytes than the member holds
  kWriteError,   // the output did not take the data (a full disk)
  kUnsupported,  // a method this program cannot decode
};
struct DataResult {
  DataOutcome outcome;
  std::uint16_t crc;
};

struct Codecs {
  std::unique_ptr<lzh::Decoder> decoder;
  std::unique_ptr<lzh::Lh1Decoder> lh1;
  std::unique_ptr<lzh::LzsDecoder> lzs;
  std::unique_ptr<lzh::Lz5Decoder> lz5;
  std::unique_ptr<lzh::Encoder> encoder;
};

// The codec object held in `slot`, made on its first use.
template <typename Codec>
Codec& Made(std::unique_ptr<Codec>& slot) {
  if (!slot) slot = std::make_unique<Codec>();
  return *slot;
}

// Produces the data of `entry` from its packed bytes in `in` into `out`
// (nullptr: only the CRC is computed).
DataResult Unpack(Codecs& codecs, lzh::ByteSource& in, const ArchiveEntry& entry,
                  lzh::ByteSink* out);
DataOutcome OutcomeOf(lzh::CodecStatus status);
