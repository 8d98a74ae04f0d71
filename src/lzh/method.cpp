// The table of methods.
#include "lzh/method.h"

#include <cstring>

namespace lzh {

namespace {

// Names are those of the headers. -lh4- is the -lh5- format with a 4 KiB
// window: its streams never reach further back than 4 KiB, and it is decoded
// with the -lh5- window, whose 8 KiB cover every distance its position code
// can express (a decoder window must: see Decoder::Decode).
constexpr MethodInfo kMethods[] = {
    {"-lh0-", Codec::kStored, 0, 0, 0, 0},          {"-lh5-", Codec::kStaticHuffman, 5, 13, 14, 4},
    {"-lh6-", Codec::kStaticHuffman, 6, 15, 16, 5}, {"-lh7-", Codec::kStaticHuffman, 7, 16, 17, 5},
    {"-lh4-", Codec::kStaticHuffman, 4, 13, 14, 4}, {"-lh1-", Codec::kLh1, 1, 12, 0, 0},
    {"-lzs-", Codec::kLzs, -1, 11, 0, 0},           {"-lz4-", Codec::kStored, -1, 0, 0, 0},
    {"-lz5-", Codec::kLz5, -1, 12, 0, 0},           {"-pm0-", Codec::kStored, -1, 0, 0, 0},
};

}  // namespace

const MethodInfo* FindMethod(const char* name) {
  for (const MethodInfo& m : kMethods) {
    if (std::strcmp(name, m.name) == 0) return &m;
  }
  return nullptr;
}

const MethodInfo& MethodForNumber(int number) {
  for (const MethodInfo& m : kMethods) {
    if (m.codec == Codec::kStaticHuffman && m.number == number) return m;
  }
  return kMethods[1];
}

}  // namespace lzh
