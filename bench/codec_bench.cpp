// Micro-benchmarks of the codec on a few MB of varied data (text, binary
// records, runs, noise and repeats): lzh::Encoder per method, from file to
// file as when adding members, DecodeMember of its output, and Crc16Update. Bytes per second are
// those of the original data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "lzh/crc16.h"
#include "lzh/decoder.h"
#include "lzh/encoder.h"
#include "ops/file_streams.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kSize = 4 << 20;

std::uint32_t Next(std::uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<std::uint32_t>(state >> 32);
}

const std::string& VariedData() {
  static std::string data;
  if (!data.empty()) return data;
  static const char* const kWords[] = {"static ", "int ",    "return ", "struct ", "const ",
                                       "char ",   "buffer ", "length ", "window ", "(",
                                       ");\n",    "{\n",     "}\n",     "    ",    "#define "};
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  while (data.size() < kSize) {
    std::size_t piece = 256 + Next(state) % 16384;
    switch (Next(state) % 5) {
      case 0:  // text
        for (std::size_t n = 0; n < piece / 6; n++) data += kWords[Next(state) % 15];
        break;
      case 1:  // little-endian records of small numbers
        for (std::size_t n = 0; n < piece / 4; n++) {
          std::uint32_t v = Next(state) % 300;
          data.append(reinterpret_cast<const char*>(&v), 4);
        }
        break;
      case 2:  // a run
        data.append(piece, static_cast<char>(Next(state) % 4 == 0 ? 0 : Next(state)));
        break;
      case 3:  // noise
        for (std::size_t n = 0; n < piece; n++) data.push_back(static_cast<char>(Next(state)));
        break;
      default:  // a repeat from up to 100 KB back
        if (data.size() > piece) {
          std::size_t back =
              piece + Next(state) % std::min<std::size_t>(data.size() - piece, 100000);
          data.append(data, data.size() - back, piece);
        }
        break;
    }
  }
  data.resize(kSize);
  return data;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tsubo_codec_bench_" + name)).string();
}

// The varied data in a file, written once.
const std::string& InputPath() {
  static std::string path;
  if (!path.empty()) return path;
  path = TempPath("input");
  const std::string& data = VariedData();
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::CreateAlways);
  plat::WriteFile(file, data.data(), static_cast<std::uint32_t>(data.size()));
  plat::CloseFile(file);
  return path;
}

// Compresses the input with `method` into `outputPath`; returns the packed size.
std::uint64_t CompressOnce(lzh::Encoder& encoder, int method, const std::string& outputPath) {
  plat::FileHandle input = plat::OpenFile(InputPath().c_str(), plat::Access::Read,
                                          plat::Share::Read, plat::Disposition::OpenExisting);
  plat::FileHandle output = plat::OpenFile(outputPath.c_str(), plat::Access::Write,
                                           plat::Share::None, plat::Disposition::CreateAlways);
  FileSource in(input);
  FileSink out(output);
  const lzh::EncodeResult result = encoder.Encode(method, in, kSize, out);
  plat::CloseFile(input);
  plat::CloseFile(output);
  return result.packedSize;
}

void BM_Encode(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const std::string output = TempPath("compress_" + std::to_string(method));
  auto encoder = std::make_unique<lzh::Encoder>();
  std::uint64_t packed = 0;
  for (auto _ : state) packed = CompressOnce(*encoder, method, output);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
  state.counters["ratio"] = static_cast<double>(packed) / kSize;
  std::filesystem::remove(output);
}
BENCHMARK(BM_Encode)->Arg(5)->Arg(6)->Arg(7)->Unit(benchmark::kMillisecond);

void BM_DecodeMember(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const std::string packedPath = TempPath("decode_" + std::to_string(method));
  const auto packed = static_cast<std::uint32_t>(
      CompressOnce(*std::make_unique<lzh::Encoder>(), method, packedPath));
  auto decoder = std::make_unique<lzh::Decoder>();
  for (auto _ : state) {
    const plat::FileHandle file = plat::OpenFile(
        packedPath.c_str(), plat::Access::Read, plat::Share::Read, plat::Disposition::OpenExisting);
    FileSource in(file, packed);
    // Decoded without writing, as testing does.
    const lzh::DecodeResult result =
        decoder->Decode(lzh::MethodForNumber(method), in, kSize, nullptr);
    benchmark::DoNotOptimize(result.crc);
    plat::CloseFile(file);
    if (result.status != lzh::CodecStatus::kOk) state.SkipWithError("decoding failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
  std::filesystem::remove(packedPath);
}
BENCHMARK(BM_DecodeMember)->Arg(5)->Arg(6)->Arg(7)->Unit(benchmark::kMillisecond);

void BM_Crc16Update(benchmark::State& state) {
  const std::string& data = VariedData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Crc16Update(0, data.data(), static_cast<long>(data.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Crc16Update)->Unit(benchmark::kMillisecond);

}  // namespace
