// Folding for CRC-16/ARC (reflected polynomial x^16 + x^15 + x^2 + 1).
//
// A 16-byte block loaded little-endian holds its polynomial bit-reversed:
// bit k stands for degree 127 - k. Moving a block d bits further along the
// message multiplies it by x^d; modulo P that is its high half (bytes 0-7)
// times x^(d+64) plus its low half times x^d, each product of at most 80
// bits. The carry-less product of two bit-reversed 64-bit values comes out
// bit-reversed over 127 bits, one degree short in a 128-bit register, so
// the constants are taken one degree lower: x^(d+63) and x^(d-1) mod P.
#include "lzh/crc16_fold.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TSUBO_CRC_FOLD 1
#endif

namespace {

// x^k mod P, bit i for degree i.
constexpr std::uint32_t PowerModP(unsigned k) {
  std::uint32_t r = 1;
  for (unsigned i = 0; i < k; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x18005;
  }
  return r;
}

// A polynomial of degree below 16 bit-reversed in 64 bits.
constexpr std::uint64_t Reversed64(std::uint32_t value) {
  std::uint64_t r = 0;
  for (int i = 0; i < 16; ++i) {
    if ((value >> i) & 1) r |= std::uint64_t{1} << (63 - i);
  }
  return r;
}

struct FoldConstants {
  std::uint64_t forHigh;  // multiplies bytes 0-7
  std::uint64_t forLow;   // multiplies bytes 8-15
};

constexpr FoldConstants ConstantsFor(unsigned d) {
  return {Reversed64(PowerModP(d + 63)), Reversed64(PowerModP(d - 1))};
}

constexpr FoldConstants kFold128 = ConstantsFor(128);
constexpr FoldConstants kFold512 = ConstantsFor(512);

}  // namespace

#ifdef TSUBO_CRC_FOLD

namespace {

__attribute__((target("pclmul,sse2"))) inline __m128i Constants(const FoldConstants& k) {
  return _mm_set_epi64x(static_cast<long long>(k.forLow), static_cast<long long>(k.forHigh));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse2"))) void FoldWithClmul(std::uint16_t crc, const unsigned char* p,
                                                          long count, unsigned char residue[16]) {
  // The starting register value acts as if it were xored into the first
  // two bytes of the data.
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(crc));
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  p += 64;
  count -= 64;
  const __m128i k512 = Constants(kFold512);
  while (count >= 64) {
    x0 = _mm_xor_si128(Fold(x0, k512), Load(p));
    x1 = _mm_xor_si128(Fold(x1, k512), Load(p + 16));
    x2 = _mm_xor_si128(Fold(x2, k512), Load(p + 32));
    x3 = _mm_xor_si128(Fold(x3, k512), Load(p + 48));
    p += 64;
    count -= 64;
  }
  const __m128i k128 = Constants(kFold128);
  __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
  x = _mm_xor_si128(Fold(x, k128), x2);
  x = _mm_xor_si128(Fold(x, k128), x3);
  while (count >= 16) {
    x = _mm_xor_si128(Fold(x, k128), Load(p));
    p += 16;
    count -= 16;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(residue), x);
}

}  // namespace

bool Crc16FoldAvailable() {
  static const bool available = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return available;
}

void Crc16Fold(std::uint16_t crc, const unsigned char* data, long count,
               unsigned char residue[16]) {
  FoldWithClmul(crc, data, count, residue);
}

#else

bool Crc16FoldAvailable() { return false; }

void Crc16Fold(std::uint16_t, const unsigned char*, long, unsigned char residue[16]) {
  std::memset(residue, 0, 16);
}

#endif
