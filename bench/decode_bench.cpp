// Micro-benchmark of the decoder: testing (decoding without output) members
// that tsubo's own encoder made from text-like and binary-like data, in
// every method. Bytes per second are those of the original data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "lzh/decoder.h"
#include "lzh/encoder.h"
#include "ops/file_streams.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kSize = 16 << 20;

std::string Data(bool text) {
  std::string s;
  s.reserve(kSize);
  std::uint32_t x = 12345;
  const char* words[] = {"the ",   "archive ", "member ", "of ",  "data ",
                         "tsubo ", "window ",  "code\n",  "lha ", "\t{ return 0; }\n"};
  while (s.size() < kSize) {
    x = x * 1664525 + 1013904223;
    if (text) {
      s += words[(x >> 20) % 10];
    } else {
      // Structured binary: small integers, repeats and noise.
      s.push_back(static_cast<char>((x >> 24) & ((x >> 8) % 3 ? 0x0F : 0xFF)));
      if ((x >> 12) % 7 == 0) s.append(s, s.size() > 300 ? s.size() - 300 : 0, 12);
    }
  }
  s.resize(kSize);
  return s;
}

struct Packed {
  std::string path;
  std::uint32_t packedSize;
};

// Compresses the data once per method and kind into a temporary file.
const Packed& PackedFor(int method, bool text) {
  static std::map<int, Packed> cache;
  int key = method * 2 + text;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  std::string base =
      (std::filesystem::temp_directory_path() / ("tsubo_decode_bench_" + std::to_string(key)))
          .string();
  std::string data = Data(text);
  plat::FileHandle in = plat::OpenFile((base + ".in").c_str(), plat::Access::Write,
                                       plat::Share::None, plat::Disposition::CreateAlways);
  plat::WriteFile(in, data.data(), static_cast<std::uint32_t>(data.size()));
  plat::CloseFile(in);
  in = plat::OpenFile((base + ".in").c_str(), plat::Access::Read, plat::Share::Read,
                      plat::Disposition::OpenExisting);
  plat::FileHandle out = plat::OpenFile((base + ".lzh").c_str(), plat::Access::Write,
                                        plat::Share::None, plat::Disposition::CreateAlways);
  FileSource source(in);
  FileSink sink(out);
  const lzh::EncodeResult result =
      std::make_unique<lzh::Encoder>()->Encode(method, source, kSize, sink);
  plat::CloseFile(in);
  plat::CloseFile(out);
  std::filesystem::remove(base + ".in");
  return cache[key] = Packed{base + ".lzh", static_cast<std::uint32_t>(result.packedSize)};
}

void BM_TestMember(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const bool text = state.range(1) != 0;
  const Packed& packed = PackedFor(method, text);
  auto decoder = std::make_unique<lzh::Decoder>();
  for (auto _ : state) {
    const plat::FileHandle file =
        plat::OpenFile(packed.path.c_str(), plat::Access::Read, plat::Share::Read,
                       plat::Disposition::OpenExisting);
    FileSource in(file, packed.packedSize);
    const lzh::DecodeResult result =
        decoder->Decode(lzh::MethodForNumber(method), in, kSize, nullptr);
    benchmark::DoNotOptimize(result.crc);
    plat::CloseFile(file);
    if (result.status != lzh::CodecStatus::kOk) state.SkipWithError("decoding failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
  state.SetLabel(text ? "text" : "binary");
}
BENCHMARK(BM_TestMember)->ArgsProduct({{5, 6, 7}, {1, 0}})->Unit(benchmark::kMillisecond);

}  // namespace
