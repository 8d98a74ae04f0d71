// The methods of member data this program knows: their names in headers and
// the parameters of each codec, in one table.
#pragma once

#include <cstdint>

namespace lzh {

enum class Codec {
  kStored,         // the data as it is (-lh0-)
  kStaticHuffman,  // LZSS with static Huffman blocks (-lh5-, -lh6-, -lh7-)
};

struct MethodInfo {
  char name[6];  // as in headers, e.g. "-lh5-"
  Codec codec;
  int number;  // 0 for stored data, 5, 6 or 7 for the static-Huffman methods
  // Static-Huffman methods: the window (dictionary) and the position code.
  int dictionaryBits;
  int positionSymbols;
  int positionCountBits;
};

// The method named `name` (five characters, compared whole and case by
// case), or nullptr when it is not one this program can decode.
const MethodInfo* FindMethod(const char* name);
// The method that `number` (5, 6, 7) writes; any other number gives -lh5-.
const MethodInfo& MethodForNumber(int number);
// 0, 5, 6, 7 for -lh0-, -lh5-, -lh6-, -lh7-; -1 for anything else.
int GetMethodNumber(const char* name);

}  // namespace lzh
