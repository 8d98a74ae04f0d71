// The Huffman block encoder: per block, builds the literal/length, code-length
// and position codes from the block's own counts, writes the three length
// tables and the block's symbols, and passes the bytes to the work file
// through a bit writer that gives up once the data would outgrow the file.
#include "compress/block_encoder.h"

#include <cstring>

BlockQueue blockQueue;
BitWriter bitWriter;

namespace {

// ---- code tables ---------------------------------------------------------
int positionSymbols;    // 14, 16 or 17
int positionCountBits;  // 4 or 5

std::uint16_t codeLengthFreq[2 * kCodeLengthSymbols - 1];
std::uint8_t literalLength[kLiteralSymbols];
std::uint16_t literalCode[kLiteralSymbols];  // left-aligned in 16 bits
// Shared by the code-length code (while the literal lengths are written) and
// then the position code of the same block.
std::uint8_t smallLength[kCodeLengthSymbols];
std::uint16_t smallCode[kCodeLengthSymbols];

// ---- tree workspace --------------------------------------------------------
std::uint16_t leftChild[2 * kLiteralSymbols - 1];
std::uint16_t rightChild[2 * kLiteralSymbols - 1];
int heap[kLiteralSymbols + 1];  // node numbers from slot 1
int heapSize;
const std::uint16_t* heapFreq;   // frequencies of the tree being built
int leafOrder[kLiteralSymbols];  // leaves as they left the heap
int leafCount;
int lengthCount[17];  // leaves per code length, 16 standing for 16 and deeper

// ---- test counters -----------------------------------------------------------
int blocksSent;
int blocksWithLengthsCut;
int longestLiteralCode;
bool lengthsCut;

// ---- bit writer -----------------------------------------------------------------

// Sends the buffered output; a failed or short write gives the member up.
void FlushOutput() {
  BitWriter& w = bitWriter;
  if (w.fill == 0) return;
  long written = plat::WriteFile(w.output, w.buffer, w.fill);
  if (written != static_cast<long>(w.fill)) {
    w.writeFailed = true;
    w.givenUp = true;
  }
  w.fill = 0;
}

// One completed byte of compressed data, unless it would pass the limit.
void PutByte(std::uint8_t byte) {
  BitWriter& w = bitWriter;
  if (w.givenUp) return;
  if (w.produced >= w.limit) {
    w.givenUp = true;
    return;
  }
  w.buffer[w.fill++] = byte;
  w.produced++;
  if (w.fill == kOutputBufferSize) FlushOutput();
}

// Moves the top 32 pending bits into the output buffer.
void PutWord() {
  BitWriter& w = bitWriter;
  w.bitCount -= 32;
  std::uint32_t word = static_cast<std::uint32_t>(w.bits >> w.bitCount);
  if (!w.givenUp && w.fill + 4 <= kOutputBufferSize && w.limit - w.produced >= 4) {
    std::uint8_t* out = w.buffer + w.fill;
    out[0] = static_cast<std::uint8_t>(word >> 24);
    out[1] = static_cast<std::uint8_t>(word >> 16);
    out[2] = static_cast<std::uint8_t>(word >> 8);
    out[3] = static_cast<std::uint8_t>(word);
    w.fill += 4;
    w.produced += 4;
    if (w.fill == kOutputBufferSize) FlushOutput();
    return;
  }
  for (int shift = 24; shift >= 0; shift -= 8) PutByte(static_cast<std::uint8_t>(word >> shift));
}

// Sends the low n bits of value (n up to 32), most significant first.
inline void WriteValueBits(int n, std::uint32_t value) {
  BitWriter& w = bitWriter;
  w.bits = (w.bits << n) | value;
  w.bitCount += n;
  if (w.bitCount >= 32) PutWord();
}

// Sends the top n bits of a code left-aligned in 16 bits.
inline void WriteCodeBits(int n, std::uint16_t code) {
  WriteValueBits(n, static_cast<std::uint32_t>(code) >> (16 - n));
}

// Passes every completed byte on, leaving fewer than 8 bits pending, so the
// given-up flag is exact at the end of each block.
void PutWholeBytes() {
  BitWriter& w = bitWriter;
  while (w.bitCount >= 8) {
    w.bitCount -= 8;
    PutByte(static_cast<std::uint8_t>(w.bits >> w.bitCount));
  }
}

// ---- Huffman trees -----------------------------------------------------------

// Moves the node at slot i down; on equal counts the left child is taken and
// a node stays above an equal child.
void SiftDown(int i) {
  int k = heap[i];
  int j;
  while ((j = 2 * i) <= heapSize) {
    if (j < heapSize && heapFreq[heap[j]] > heapFreq[heap[j + 1]]) j++;
    if (heapFreq[k] <= heapFreq[heap[j]]) break;
    heap[i] = heap[j];
    i = j;
  }
  heap[i] = k;
}

void CountLeafDepths(int node, int n, int depth) {
  if (node < n) {
    lengthCount[depth < 16 ? depth : 16]++;
    return;
  }
  CountLeafDepths(leftChild[node], n, depth + 1);
  CountLeafDepths(rightChild[node], n, depth + 1);
}

// Turns the tree into code lengths of at most 16 bits: deeper leaves are
// counted at 16 and the over-full count is repaid by lengthening shorter
// codes; the rarest leaves (first out of the heap) get the longest codes.
void LimitCodeLengths(int root, int n, std::uint8_t* length) {
  for (int& count : lengthCount) count = 0;
  CountLeafDepths(root, n, 0);
  std::uint32_t cum = 0;
  for (int i = 16; i > 0; i--) cum += static_cast<std::uint32_t>(lengthCount[i]) << (16 - i);
  cum &= 0xFFFF;
  if (cum != 0) {
    lengthsCut = true;
    lengthCount[16] -= static_cast<int>(cum);
    for (; cum != 0; cum--) {
      for (int i = 15; i > 0; i--) {
        if (lengthCount[i] != 0) {
          lengthCount[i]--;
          lengthCount[i + 1] += 2;
          break;
        }
      }
    }
  }
  int next = 0;
  for (int len = 16; len > 0; len--) {
    for (int k = lengthCount[len]; k > 0; k--)
      length[leafOrder[next++]] = static_cast<std::uint8_t>(len);
  }
}

// Canonical codes, left-aligned in 16 bits: shorter codes first, and within
// one length in symbol order.
void AssignCanonicalCodes(int n, const std::uint8_t* length, std::uint16_t* code) {
  std::uint16_t start[18];
  std::uint16_t total = 0;
  for (int len = 1; len <= 16; len++) {
    start[len] = total;
    total = static_cast<std::uint16_t>(total + (lengthCount[len] << (16 - len)));
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
int BuildHuffmanCode(int n, std::uint16_t* freq, std::uint8_t* length, std::uint16_t* code) {
  std::memset(length, 0, static_cast<std::size_t>(n));
  heapSize = 0;
  heap[1] = 0;
  for (int i = 0; i < n; i++) {
    if (freq[i] != 0) heap[++heapSize] = i;
  }
  if (heapSize < 2) {
    code[heap[1]] = 0;
    return heap[1];
  }
  heapFreq = freq;
  for (int i = heapSize / 2; i >= 1; i--) SiftDown(i);
  leafCount = 0;
  int nextNode = n;
  int k;
  do {
    int i = heap[1];
    if (i < n) leafOrder[leafCount++] = i;
    heap[1] = heap[heapSize--];
    SiftDown(1);
    int j = heap[1];
    if (j < n) leafOrder[leafCount++] = j;
    k = nextNode++;
    freq[k] = static_cast<std::uint16_t>(freq[i] + freq[j]);
    heap[1] = k;
    SiftDown(1);
    leftChild[k] = static_cast<std::uint16_t>(i);
    rightChild[k] = static_cast<std::uint16_t>(j);
  } while (heapSize > 1);
  LimitCodeLengths(k, n, length);
  AssignCanonicalCodes(n, length, code);
  return k;
}

// ---- length tables -----------------------------------------------------------

int UsedLiteralLengths() {
  int n = kLiteralSymbols;
  while (n > 0 && literalLength[n - 1] == 0) n--;
  return n;
}

// Counts the code-length symbols that WriteLiteralLengths will send.
void CountLengthRuns() {
  std::memset(codeLengthFreq, 0, sizeof(std::uint16_t) * kCodeLengthSymbols);
  int n = UsedLiteralLengths();
  int i = 0;
  while (i < n) {
    int k = literalLength[i++];
    if (k != 0) {
      codeLengthFreq[k + 2]++;
      continue;
    }
    int run = 1;
    while (i < n && literalLength[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      codeLengthFreq[0] = static_cast<std::uint16_t>(codeLengthFreq[0] + run);
    } else if (run <= 18) {
      codeLengthFreq[1]++;
    } else if (run == 19) {
      codeLengthFreq[0]++;
      codeLengthFreq[1]++;
    } else {
      codeLengthFreq[2]++;
    }
  }
}

inline void WriteCodeLengthSymbol(int t) { WriteCodeBits(smallLength[t], smallCode[t]); }

void WriteLiteralLengths() {
  int n = UsedLiteralLengths();
  WriteValueBits(9, static_cast<std::uint32_t>(n));
  int i = 0;
  while (i < n) {
    int k = literalLength[i++];
    if (k != 0) {
      WriteCodeLengthSymbol(k + 2);
      continue;
    }
    int run = 1;
    while (i < n && literalLength[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      for (int r = 0; r < run; r++) WriteCodeLengthSymbol(0);
    } else if (run <= 18) {
      WriteCodeLengthSymbol(1);
      WriteValueBits(4, static_cast<std::uint32_t>(run - 3));
    } else if (run == 19) {
      WriteCodeLengthSymbol(0);
      WriteCodeLengthSymbol(1);
      WriteValueBits(4, 15);
    } else {
      WriteCodeLengthSymbol(2);
      WriteValueBits(9, static_cast<std::uint32_t>(run - 20));
    }
  }
}

// The code-length and position codes' lengths: 3 bits up to 6, else
// (length - 4) one-bits and a zero. With the zero run, a 2-bit count of the
// zero lengths at indices 3-5 follows the third length.
void WriteSmallLengthTable(int n, int countBits, bool zeroRun) {
  while (n > 0 && smallLength[n - 1] == 0) n--;
  WriteValueBits(countBits, static_cast<std::uint32_t>(n));
  int i = 0;
  while (i < n) {
    int k = smallLength[i++];
    if (k <= 6) {
      WriteValueBits(3, static_cast<std::uint32_t>(k));
    } else {
      WriteValueBits(k - 3, (1u << (k - 3)) - 2);
    }
    if (zeroRun && i == 3) {
      while (i < 6 && smallLength[i] == 0) i++;
      WriteValueBits(2, static_cast<std::uint32_t>(i - 3));
    }
  }
}

// ---- symbols ---------------------------------------------------------------------

// The code words of the block, right-aligned, with their lengths.
struct CodeWord {
  std::uint32_t bits;
  int length;
};
CodeWord literalWord[kLiteralSymbols];
CodeWord positionWord[kMaxPositionSymbols];

inline CodeWord MakeCodeWord(int length, std::uint16_t code) {
  return {static_cast<std::uint32_t>(code) >> (16 - length), length};
}

inline void EmitSymbol(unsigned c) { WriteValueBits(literalWord[c].length, literalWord[c].bits); }

inline void EmitOffset(unsigned p) {
  int b = OffsetBitLength(p);
  WriteValueBits(positionWord[b].length, positionWord[b].bits);
  if (b > 1) WriteValueBits(b - 1, p & ((1u << (b - 1)) - 1));
}

void EmitBlockSymbols(unsigned blockSize) {
  for (int c = 0; c < kLiteralSymbols; c++) {
    literalWord[c] = MakeCodeWord(literalLength[c], literalCode[c]);
  }
  for (int b = 0; b < positionSymbols; b++)
    positionWord[b] = MakeCodeWord(smallLength[b], smallCode[b]);
  const std::uint8_t* buffer = blockQueue.buffer;
  std::uint32_t index = 0;
  unsigned flags = 0;
  for (unsigned i = 0; i < blockSize; i++) {
    if (i % 8 == 0) {
      flags = buffer[index++];
    } else {
      flags <<= 1;
    }
    if (flags & 0x80) {
      EmitSymbol(buffer[index] + 256u);
      EmitOffset((static_cast<unsigned>(buffer[index + 1]) << 8) | buffer[index + 2]);
      index += 3;
    } else {
      EmitSymbol(buffer[index++]);
    }
    if (bitWriter.givenUp) return;
  }
}

}  // namespace

void ResetBitWriter(plat::FileHandle output, std::uint32_t limit) {
  BitWriter& w = bitWriter;
  w.bits = 0;
  w.bitCount = 0;
  w.fill = 0;
  w.output = output;
  w.produced = 0;
  w.limit = limit;
  w.givenUp = false;
  w.writeFailed = false;
}

void StartBlockEncoder(int dictionaryBits) {
  if (dictionaryBits <= 13) {
    positionSymbols = 14;
    positionCountBits = 4;
  } else if (dictionaryBits == 16) {
    positionSymbols = 17;
    positionCountBits = 5;
  } else {
    positionSymbols = 16;
    positionCountBits = 5;
  }
  BlockQueue& q = blockQueue;
  std::memset(q.literalFreq, 0, sizeof(std::uint16_t) * kLiteralSymbols);
  std::memset(q.positionFreq, 0, sizeof(std::uint16_t) * kMaxPositionSymbols);
  q.flagMask = 0;
  q.fill = 0;
  q.buffer[0] = 0;
  q.flagIndex = 0;
  bitWriter.bits = 0;
  bitWriter.bitCount = 0;
  bitWriter.fill = 0;
  blocksSent = 0;
  blocksWithLengthsCut = 0;
  longestLiteralCode = 0;
}

void FlushBlock() {
  BlockQueue& q = blockQueue;
  lengthsCut = false;
  int root = BuildHuffmanCode(kLiteralSymbols, q.literalFreq, literalLength, literalCode);
  unsigned blockSize = q.literalFreq[root];
  WriteValueBits(16, blockSize);
  if (root >= kLiteralSymbols) {
    CountLengthRuns();
    int lengthRoot = BuildHuffmanCode(kCodeLengthSymbols, codeLengthFreq, smallLength, smallCode);
    if (lengthRoot >= kCodeLengthSymbols) {
      WriteSmallLengthTable(kCodeLengthSymbols, 5, true);
    } else {
      WriteValueBits(5, 0);
      WriteValueBits(5, static_cast<std::uint32_t>(lengthRoot));
    }
    WriteLiteralLengths();
  } else {
    WriteValueBits(5, 0);
    WriteValueBits(5, 0);
    WriteValueBits(9, 0);
    WriteValueBits(9, static_cast<std::uint32_t>(root));
  }
  longestLiteralCode = 0;
  for (int c = 0; c < kLiteralSymbols; c++) {
    if (literalLength[c] > longestLiteralCode) longestLiteralCode = literalLength[c];
  }
  root = BuildHuffmanCode(positionSymbols, q.positionFreq, smallLength, smallCode);
  if (root >= positionSymbols) {
    WriteSmallLengthTable(positionSymbols, positionCountBits, false);
  } else {
    WriteValueBits(positionCountBits, 0);
    WriteValueBits(positionCountBits, static_cast<std::uint32_t>(root));
  }
  blocksSent++;
  if (lengthsCut) blocksWithLengthsCut++;
  EmitBlockSymbols(blockSize);
  if (bitWriter.givenUp) return;
  PutWholeBytes();
  if (bitWriter.givenUp) return;
  std::memset(q.literalFreq, 0, sizeof(std::uint16_t) * kLiteralSymbols);
  std::memset(q.positionFreq, 0, sizeof(std::uint16_t) * kMaxPositionSymbols);
}

void FinishBlockEncoder() {
  BitWriter& w = bitWriter;
  if (w.givenUp) return;
  FlushBlock();
  if (w.givenUp) return;
  // Zero bits complete a partly filled last byte.
  if (w.bitCount > 0) {
    PutByte(static_cast<std::uint8_t>(w.bits << (8 - w.bitCount)));
    w.bitCount = 0;
  }
  if (w.givenUp) return;
  FlushOutput();
}

std::vector<QueuedSymbol> QueuedSymbols() {
  std::vector<QueuedSymbol> symbols;
  const BlockQueue& q = blockQueue;
  std::uint32_t index = 0;
  while (index < q.fill) {
    unsigned flags = q.buffer[index++];
    for (int k = 0; k < 8 && index < q.fill; k++, flags <<= 1) {
      if (flags & 0x80) {
        unsigned offset = (static_cast<unsigned>(q.buffer[index + 1]) << 8) | q.buffer[index + 2];
        symbols.push_back({q.buffer[index] + 256u, offset});
        index += 3;
      } else {
        symbols.push_back({q.buffer[index], 0});
        index++;
      }
    }
  }
  return symbols;
}

int BlocksSent() { return blocksSent; }
int BlocksWithLengthsCut() { return blocksWithLengthsCut; }
int LongestLiteralCode() { return longestLiteralCode; }
