// Micro-benchmark of the decoders of the older methods (-lh1-, -lzs-,
// -lz5-): testing (decoding without output) 4 MiB of C headers (argument 0)
// or of random bytes (argument 1, the slowest case of the adaptive -lh1-
// code), packed by the test encoders. Bytes per second are those of the
// original data. The packed members are also left as archives,
// $TMPDIR/tsubo_old_<method>_<text|random>.lzh, so that other readers can be
// timed on the same bytes (`hyperfine 'lhasa t /tmp/tsubo_old_lh1_text.lzh'`).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lzh/old_method_encoders.h"
#include "support/archive_builder.h"

namespace {

constexpr std::size_t kSize = 4 << 20;

// The headers of /usr/include in name order, or made-up text where there are
// too few of them.
const std::string& Text() {
  static const std::string text = [] {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator("/usr/include", ec)) {
      if (e.is_regular_file() && e.path().extension() == ".h") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    std::string s;
    for (const auto& f : files) {
      if (s.size() >= kSize) break;
      std::ifstream in(f, std::ios::binary);
      s.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (std::uint32_t x = 1; s.size() < kSize; x = x * 1103515245 + 12345) {
      s += "int value" + std::to_string(x >> 24) + " = 0;\n";
    }
    s.resize(kSize);
    return s;
  }();
  return text;
}

const std::string& Original(bool random) {
  static const std::string bytes = [] {
    std::mt19937 rng(1);
    std::string s(kSize, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
  }();
  return random ? bytes : Text();
}

const oldtest::Method& MethodOf(int index) {
  return index == 0 ? oldtest::kLh1 : index == 1 ? oldtest::kLzs : oldtest::kLz5;
}

// The packed data of one method, written once as an archive beside.
const std::string& Packed(int index, bool random) {
  static std::string packed[3][2];
  std::string& p = packed[index][random];
  if (!p.empty()) return p;
  const oldtest::Method& m = MethodOf(index);
  p = m.encode(oldtest::Tokenize(m, Original(random)));
  lzhtest::Fields f;
  f.method = m.name;
  f.packed = static_cast<std::uint32_t>(p.size());
  f.original = static_cast<std::uint32_t>(kSize);
  f.crc = lzhtest::ReferenceCrc16(Original(random));
  const std::string name =
      "tsubo_old_" + std::string(m.name).substr(1, 3) + (random ? "_random.lzh" : "_text.lzh");
  std::ofstream(std::filesystem::temp_directory_path() / name, std::ios::binary)
      << lzhtest::Level0(f, "text.h") + p + std::string(1, '\0');
  return p;
}

template <typename Decoder>
void TestMember(benchmark::State& state, int index) {
  const bool random = state.range(0) != 0;
  const std::string& packed = Packed(index, random);
  const std::uint16_t crc = lzhtest::ReferenceCrc16(Original(random));
  auto decoder = std::make_unique<Decoder>();
  for (auto _ : state) {
    lzh::MemorySource in(packed);
    lzh::DecodeResult r = decoder->Decode(in, kSize, nullptr);
    if (r.status != lzh::CodecStatus::kOk || r.crc != crc) {
      state.SkipWithError("decoding failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
  state.counters["ratio"] = static_cast<double>(packed.size()) / kSize;
}

void BM_TestLh1(benchmark::State& state) { TestMember<lzh::Lh1Decoder>(state, 0); }
void BM_TestLzs(benchmark::State& state) { TestMember<lzh::LzsDecoder>(state, 1); }
void BM_TestLz5(benchmark::State& state) { TestMember<lzh::Lz5Decoder>(state, 2); }
BENCHMARK(BM_TestLh1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestLzs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestLz5)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
