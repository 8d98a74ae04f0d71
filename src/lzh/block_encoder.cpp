// The Huffman block encoder: per block, builds the literal/length, code-length
// and position codes from the block's own counts, writes the three length
// tables and the block's symbols through the bit writer.
#include "lzh/block_encoder.h"

#include <cstring>

namespace lzh {

void BlockEncoder::Start(const MethodInfo& method, ByteSink& sink, std::uint64_t limit) {
  positionSymbols_ = method.positionSymbols;
  positionCountBits_ = method.positionCountBits;
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * kLiteralSymbols);
  std::memset(positionFreq_, 0, sizeof(std::uint16_t) * kMaxPositionSymbols);
  flagMask_ = 0;
  fill_ = 0;
  buffer_[0] = 0;
  flagIndex_ = 0;
  writer_.Reset(sink, limit);
}

// ---- Huffman trees -----------------------------------------------------------

// Moves the node at slot i down; on equal counts the left child is taken and
// a node stays above an equal child.
void BlockEncoder::SiftDown(int i) {
  int k = heap_[i];
  int j;
  while ((j = 2 * i) <= heapSize_) {
    if (j < heapSize_ && heapFreq_[heap_[j]] > heapFreq_[heap_[j + 1]]) j++;
    if (heapFreq_[k] <= heapFreq_[heap_[j]]) break;
    heap_[i] = heap_[j];
    i = j;
  }
  heap_[i] = k;
}

void BlockEncoder::CountLeafDepths(int node, int n, int depth) {
  if (node < n) {
    lengthCount_[depth < 16 ? depth : 16]++;
    return;
  }
  CountLeafDepths(leftChild_[node], n, depth + 1);
  CountLeafDepths(rightChild_[node], n, depth + 1);
}

// Turns the tree into code lengths of at most 16 bits: deeper leaves are
// counted at 16 and the over-full count is repaid by lengthening shorter
// codes; the rarest leaves (first out of the heap) get the longest codes.
void BlockEncoder::LimitCodeLengths(int root, int n, std::uint8_t* length) {
  for (int& count : lengthCount_) count = 0;
  CountLeafDepths(root, n, 0);
  std::uint32_t cum = 0;
  for (int i = 16; i > 0; i--) cum += static_cast<std::uint32_t>(lengthCount_[i]) << (16 - i);
  cum &= 0xFFFF;
  if (cum != 0) {
    lengthCount_[16] -= static_cast<int>(cum);
    for (; cum != 0; cum--) {
      for (int i = 15; i > 0; i--) {
        if (lengthCount_[i] != 0) {
          lengthCount_[i]--;
          lengthCount_[i + 1] += 2;
          break;
        }
      }
    }
  }
  int next = 0;
  for (int len = 16; len > 0; len--) {
    for (int k = lengthCount_[len]; k > 0; k--)
      length[leafOrder_[next++]] = static_cast<std::uint8_t>(len);
  }
}

// Canonical codes, left-aligned in 16 bits: shorter codes first, and within
// one length in symbol order.
void BlockEncoder::AssignCanonicalCodes(int n, const std::uint8_t* length, std::uint16_t* code) {
  std::uint16_t start[18];
  std::uint16_t total = 0;
  for (int len = 1; len <= 16; len++) {
    start[len] = total;
    total = static_cast<std::uint16_t>(total + (lengthCount_[len] << (16 - len)));
  }
  for (int k = 0; k < n; k++) {
    int len = length[k];
    if (len == 0) continue;
    code[k] = start[len];
    start[len] = static_cast<std::uint16_t>(start[len] + (1 << (16 - len)));
  }
}

// Builds the code of n symbols from freq (which also receives the counts of
// the internal nodes). Returns the root node, or for fewer than two used
// symbols the only one (symbol 0 when none), whose length stays 0.
int BlockEncoder::BuildHuffmanCode(int n, std::uint16_t* freq, std::uint8_t* length,
                                   std::uint16_t* code) {
  std::memset(length, 0, static_cast<std::size_t>(n));
  heapSize_ = 0;
  heap_[1] = 0;
  for (int i = 0; i < n; i++) {
    if (freq[i] != 0) heap_[++heapSize_] = i;
  }
  if (heapSize_ < 2) {
    code[heap_[1]] = 0;
    return heap_[1];
  }
  heapFreq_ = freq;
  for (int i = heapSize_ / 2; i >= 1; i--) SiftDown(i);
  leafCount_ = 0;
  int nextNode = n;
  int k;
  do {
    int i = heap_[1];
    if (i < n) leafOrder_[leafCount_++] = i;
    heap_[1] = heap_[heapSize_--];
    SiftDown(1);
    int j = heap_[1];
    if (j < n) leafOrder_[leafCount_++] = j;
    k = nextNode++;
    freq[k] = static_cast<std::uint16_t>(freq[i] + freq[j]);
    heap_[1] = k;
    SiftDown(1);
    leftChild_[k] = static_cast<std::uint16_t>(i);
    rightChild_[k] = static_cast<std::uint16_t>(j);
  } while (heapSize_ > 1);
  LimitCodeLengths(k, n, length);
  AssignCanonicalCodes(n, length, code);
  return k;
}

// ---- length tables -----------------------------------------------------------

int BlockEncoder::UsedLiteralLengths() const {
  int n = kLiteralSymbols;
  while (n > 0 && literalLength_[n - 1] == 0) n--;
  return n;
}

// Counts the code-length symbols that WriteLiteralLengths will send.
void BlockEncoder::CountLengthRuns() {
  std::memset(codeLengthFreq_, 0, sizeof(std::uint16_t) * kCodeLengthSymbols);
  int n = UsedLiteralLengths();
  int i = 0;
  while (i < n) {
    int k = literalLength_[i++];
    if (k != 0) {
      codeLengthFreq_[k + 2]++;
      continue;
    }
    int run = 1;
    while (i < n && literalLength_[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      codeLengthFreq_[0] = static_cast<std::uint16_t>(codeLengthFreq_[0] + run);
    } else if (run <= 18) {
      codeLengthFreq_[1]++;
    } else if (run == 19) {
      codeLengthFreq_[0]++;
      codeLengthFreq_[1]++;
    } else {
      codeLengthFreq_[2]++;
    }
  }
}

void BlockEncoder::WriteLiteralLengths() {
  int n = UsedLiteralLengths();
  writer_.WriteBits(9, static_cast<std::uint32_t>(n));
  int i = 0;
  while (i < n) {
    int k = literalLength_[i++];
    if (k != 0) {
      WriteCodeLengthSymbol(k + 2);
      continue;
    }
    int run = 1;
    while (i < n && literalLength_[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      for (int r = 0; r < run; r++) WriteCodeLengthSymbol(0);
    } else if (run <= 18) {
      WriteCodeLengthSymbol(1);
      writer_.WriteBits(4, static_cast<std::uint32_t>(run - 3));
    } else if (run == 19) {
      WriteCodeLengthSymbol(0);
      WriteCodeLengthSymbol(1);
      writer_.WriteBits(4, 15);
    } else {
      WriteCodeLengthSymbol(2);
      writer_.WriteBits(9, static_cast<std::uint32_t>(run - 20));
    }
  }
}

// The code-length and position codes' lengths: 3 bits up to 6, else
// (length - 4) one-bits and a zero. With the zero run, a 2-bit count of the
// zero lengths at indices 3-5 follows the third length.
void BlockEncoder::WriteSmallLengthTable(int n, int countBits, bool zeroRun) {
  while (n > 0 && smallLength_[n - 1] == 0) n--;
  writer_.WriteBits(countBits, static_cast<std::uint32_t>(n));
  int i = 0;
  while (i < n) {
    int k = smallLength_[i++];
    if (k <= 6) {
      writer_.WriteBits(3, static_cast<std::uint32_t>(k));
    } else {
      writer_.WriteBits(k - 3, (1u << (k - 3)) - 2);
    }
    if (zeroRun && i == 3) {
      while (i < 6 && smallLength_[i] == 0) i++;
      writer_.WriteBits(2, static_cast<std::uint32_t>(i - 3));
    }
  }
}

// ---- symbols ---------------------------------------------------------------------

void BlockEncoder::EmitBlockSymbols(unsigned blockSize) {
  const auto makeWord = [](int length, std::uint16_t code) {
    return CodeWord{static_cast<std::uint32_t>(code) >> (16 - length), length};
  };
  for (int c = 0; c < kLiteralSymbols; c++) {
    literalWord_[c] = makeWord(literalLength_[c], literalCode_[c]);
  }
  for (int b = 0; b < positionSymbols_; b++) {
    positionWord_[b] = makeWord(smallLength_[b], smallCode_[b]);
  }
  std::uint32_t index = 0;
  // A flag byte, then its (up to) 8 symbols.
  for (unsigned i = 0; i < blockSize; i += 8) {
    unsigned flags = buffer_[index++];
    const unsigned group = blockSize - i < 8 ? blockSize - i : 8;
    for (unsigned k = 0; k < group; k++, flags <<= 1) {
      if (flags & 0x80) {
        const CodeWord& word = literalWord_[buffer_[index] + 256u];
        writer_.WriteBits(word.length, word.bits);
        const unsigned offset =
            (static_cast<unsigned>(buffer_[index + 1]) << 8) | buffer_[index + 2];
        const int b = OffsetBitLength(offset);
        writer_.WriteBits(positionWord_[b].length, positionWord_[b].bits);
        // The top bit of the offset is implied by its bit length.
        if (b > 1) writer_.WriteBits(b - 1, offset & ((1u << (b - 1)) - 1));
        index += 3;
      } else {
        const CodeWord& word = literalWord_[buffer_[index++]];
        writer_.WriteBits(word.length, word.bits);
      }
    }
    // Writes after giving up are dropped; stop soon after.
    if (writer_.givenUp()) return;
  }
}

void BlockEncoder::FlushBlock() {
  int root = BuildHuffmanCode(kLiteralSymbols, literalFreq_, literalLength_, literalCode_);
  const unsigned blockSize = literalFreq_[root];
  writer_.WriteBits(16, blockSize);
  if (root >= kLiteralSymbols) {
    CountLengthRuns();
    int lengthRoot =
        BuildHuffmanCode(kCodeLengthSymbols, codeLengthFreq_, smallLength_, smallCode_);
    if (lengthRoot >= kCodeLengthSymbols) {
      WriteSmallLengthTable(kCodeLengthSymbols, 5, true);
    } else {
      writer_.WriteBits(5, 0);
      writer_.WriteBits(5, static_cast<std::uint32_t>(lengthRoot));
    }
    WriteLiteralLengths();
  } else {
    // One symbol: a one-symbol code-length code (symbol 0) and a one-symbol
    // literal/length code.
    writer_.WriteBits(5, 0);
    writer_.WriteBits(5, 0);
    writer_.WriteBits(9, 0);
    writer_.WriteBits(9, static_cast<std::uint32_t>(root));
  }
  root = BuildHuffmanCode(positionSymbols_, positionFreq_, smallLength_, smallCode_);
  if (root >= positionSymbols_) {
    WriteSmallLengthTable(positionSymbols_, positionCountBits_, false);
  } else {
    writer_.WriteBits(positionCountBits_, 0);
    writer_.WriteBits(positionCountBits_, static_cast<std::uint32_t>(root));
  }
  EmitBlockSymbols(blockSize);
  if (writer_.givenUp()) return;
  writer_.PutWholeBytes();
  if (writer_.givenUp()) return;
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * kLiteralSymbols);
  std::memset(positionFreq_, 0, sizeof(std::uint16_t) * kMaxPositionSymbols);
}

void BlockEncoder::Finish() {
  if (writer_.givenUp()) return;
  FlushBlock();
  // FlushBlock left fewer than 8 bits pending.
  writer_.Finish();
}

}  // namespace lzh
