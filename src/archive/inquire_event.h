// The question interface through which the archive object asks the user.
// The base class refuses everything: it leaves both answers at 0.
#pragma once

#include <cstdint>

class CInquireEvent {
 public:
  virtual void AskExtractPath(const char* name, int* yes, int* all) {
    (void)name, (void)yes, (void)all;
  }
  virtual void Reserved(std::uint32_t a, std::uint32_t b) { (void)a, (void)b; }
  virtual void AskOverwrite(const char* name, int* yes, int* all) {
    (void)name, (void)yes, (void)all;
  }
  virtual ~CInquireEvent() = default;
};
