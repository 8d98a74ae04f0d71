// The methods of member data this program knows: their names in headers and
// the parameters of each codec, in one table.
#pragma once

#include <cstdint>

namespace lzh {

enum class Codec {
  kStored,         // the data as it is (-lh0-, -lz4-, -pm0-)
  kStaticHuffman,  // LZSS with static Huffman blocks (-lh4- to -lh7-)
  kLh1,            // LZSS with an adaptive Huffman code (-lh1-)
  kLzs,            // LArc's LZSS with a 2 KiB window (-lzs-)
  kLz5,            // LArc's LZSS with a 4 KiB window (-lz5-)
};

struct MethodInfo {
  char name[6];  // as in headers, e.g. "-lh5-"
  Codec codec;
  int number;  // the digit of "-lhN-" for LHA's own methods; -1 for the others
  // Static-Huffman methods: the window (dictionary) and the position code.
  int dictionaryBits;
  int positionSymbols;
  int positionCountBits;
};

// The method named `name` (five characters, compared whole and case by
// case), or nullptr when it is not one this program can decode.
const MethodInfo* FindMethod(const char* name);
// The static-Huffman method of `number` (4 to 7); any other number gives -lh5-.
const MethodInfo& MethodForNumber(int number);

}  // namespace lzh
