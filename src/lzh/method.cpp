// The table of methods.
#include "lzh/method.h"

#include <cstring>

namespace lzh {

namespace {

constexpr MethodInfo kMethods[] = {
    {"-lh0-", Codec::kStored, 0, 0, 0, 0},
    {"-lh5-", Codec::kStaticHuffman, 5, 13, 14, 4},
    {"-lh6-", Codec::kStaticHuffman, 6, 15, 16, 5},
    {"-lh7-", Codec::kStaticHuffman, 7, 16, 17, 5},
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

int GetMethodNumber(const char* name) {
  const MethodInfo* m = FindMethod(name);
  return m != nullptr ? m->number : -1;
}

}  // namespace lzh
