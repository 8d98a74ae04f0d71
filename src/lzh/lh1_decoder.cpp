// Decoder of -lh1- member data: the adaptive code and the decoding loop.
#include "lzh/lh1_decoder.h"

#include <cstring>

namespace lzh {

// ---- adaptive code ----

// Every symbol starts with count 1; inner nodes pair the nodes in order.
void AdaptiveCode::Reset() {
  for (int s = 0; s < kSymbols; ++s) {
    count_[s] = 1;
    child_[s] = static_cast<std::uint16_t>(kNodes + s);
    parent_[kNodes + s] = static_cast<std::uint16_t>(s);
  }
  for (int n = kSymbols, first = 0; n < kNodes; ++n, first += 2) {
    count_[n] = static_cast<std::uint16_t>(count_[first] + count_[first + 1]);
    child_[n] = static_cast<std::uint16_t>(first);
    parent_[first] = parent_[first + 1] = static_cast<std::uint16_t>(n);
  }
  count_[kNodes] = 0xFFFF;
  parent_[kRoot] = 0;  // ends the walk up in Update (node 0 is always a leaf)
}

// Halves every leaf count (rounding up, so none becomes 0) and builds the
// inner nodes anew, each inserted where its count keeps the order.
void AdaptiveCode::Rebuild() {
  int leaf = 0;
  for (int n = 0; n < kNodes; ++n) {
    if (child_[n] >= kNodes) {
      count_[leaf] = static_cast<std::uint16_t>((count_[n] + 1) / 2);
      child_[leaf] = child_[n];
      ++leaf;
    }
  }
  for (int n = kSymbols, first = 0; n < kNodes; ++n, first += 2) {
    const std::uint16_t sum = static_cast<std::uint16_t>(count_[first] + count_[first + 1]);
    // Nodes first and first + 1 have counts at most `sum`, so the new node
    // goes above them.
    int at = n - 1;
    while (sum < count_[at]) --at;
    ++at;
    const std::size_t moved = static_cast<std::size_t>(n - at);
    std::memmove(&count_[at + 1], &count_[at], moved * sizeof count_[0]);
    std::memmove(&child_[at + 1], &child_[at], moved * sizeof child_[0]);
    count_[at] = sum;
    child_[at] = static_cast<std::uint16_t>(first);
  }
  for (int n = 0; n < kNodes; ++n) {
    const int c = child_[n];
    parent_[c] = static_cast<std::uint16_t>(n);
    if (c < kNodes) parent_[c + 1] = static_cast<std::uint16_t>(n);
  }
}

void AdaptiveCode::Update(int symbol) {
  if (count_[kRoot] == kMaxCount) Rebuild();
  int n = parent_[kNodes + symbol];
  do {
    const unsigned count = ++count_[n];
    if (count > count_[n + 1]) {
      // Swap n with the last node whose count is now below n's; the guard
      // count_[kNodes] ends the search.
      int last = n + 1;
      while (count > count_[last + 1]) ++last;
      count_[n] = count_[last];
      count_[last] = static_cast<std::uint16_t>(count);
      const int moving = child_[n];
      parent_[moving] = static_cast<std::uint16_t>(last);
      if (moving < kNodes) parent_[moving + 1] = static_cast<std::uint16_t>(last);
      const int other = child_[last];
      child_[last] = static_cast<std::uint16_t>(moving);
      parent_[other] = static_cast<std::uint16_t>(n);
      if (other < kNodes) parent_[other + 1] = static_cast<std::uint16_t>(n);
      child_[n] = static_cast<std::uint16_t>(other);
      n = last;
    }
    n = parent_[n];
  } while (n != 0);
}

// ---- decoder ----

Lh1Decoder::Lh1Decoder() {
  int value = 0;
  int code = 0;  // the next code, left-aligned in 8 bits
  for (int i = 0; i < 6; ++i) {
    const int length = kPositionMinLength + i;
    for (int k = 0; k < kPositionCodeCounts[i]; ++k, ++value) {
      const int span = 1 << (8 - length);
      for (int j = 0; j < span; ++j) {
        positionValue_[code + j] = static_cast<std::uint8_t>(value);
        positionLength_[code + j] = static_cast<std::uint8_t>(length);
      }
      code += span;
    }
  }
}

int Lh1Decoder::DecodeSymbol() {
  // Codes are rarely longer than 24 bits, so one refill covers the walk,
  // which goes through a copy of the buffered bits.
  constexpr int kUsualBits = 32;
  if (!input_.Ensure(kUsualBits) && input_.failure() == CodecStatus::kReadError) {
    return -1;
  }
  std::uint64_t bits = input_.PeekAll();
  int used = 0;
  int node = code_.child(AdaptiveCode::kRoot);
  while (node < AdaptiveCode::kNodes) {
    if (used == input_.BitCount()) {
      input_.Skip(used);
      if (!input_.Ensure(PackedInput::kMaxEnsure) && input_.BitCount() == 0) return -1;
      bits = input_.PeekAll();
      used = 0;
    }
    node = code_.child(node + static_cast<int>(bits >> 63));
    bits <<= 1;
    ++used;
  }
  input_.Skip(used);
  const int symbol = node - AdaptiveCode::kNodes;
  code_.Update(symbol);
  return symbol;
}

int Lh1Decoder::DecodePosition() {
  constexpr int kMaxBits = 8 + kPositionLowBits;
  if (!input_.Ensure(kMaxBits) && input_.failure() == CodecStatus::kReadError) return -1;
  // Bits past the end peek as zeros; the code must lie within the stream.
  const std::uint32_t next = input_.Peek(8);
  const int length = positionLength_[next];
  if (input_.BitCount() < length + kPositionLowBits) return -1;
  input_.Skip(length);
  return positionValue_[next] << kPositionLowBits | static_cast<int>(input_.Take(kPositionLowBits));
}

DecodeResult Lh1Decoder::Decode(ByteSource& in, std::uint64_t originalSize, ByteSink* out) {
  input_.Start(in);
  code_.Reset();
  window_.Start(out, originalSize);
  std::uint8_t* const buf = window_.buffer();
  std::memset(buf, ' ', kWindow);

  while (!window_.Done()) {
    const std::uint32_t stop = window_.Stop();
    std::uint32_t pos = window_.pos();
    while (pos < stop) {
      const int symbol = DecodeSymbol();
      if (symbol < 0) return {input_.failure(), 0};
      if (symbol < 256) {
        buf[pos++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      const std::uint32_t length = static_cast<std::uint32_t>(symbol) - 256 + kMinMatch;
      const int position = DecodePosition();
      if (position < 0) return {input_.failure(), 0};
      CopyMatch(buf + pos, static_cast<std::uint32_t>(position) + 1, length);
      pos += length;
    }
    window_.set_pos(pos);
    if (window_.Flush() < 0) return {CodecStatus::kWriteError, 0};
  }
  return {CodecStatus::kOk, window_.crc()};
}

}  // namespace lzh
