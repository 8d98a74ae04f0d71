// The interface through which the archive object asks the user and tells
// how long work goes. The base class refuses every question (it leaves both
// answers at 0) and shows nothing.
#pragma once

#include <cstdint>

class CInquireEvent {
 public:
  // The caller sets yes and all to 0. yes = 1 lets this member through; all
  // = 1 (with yes) also turns the question off for the rest of the run.
  virtual void AskExtractPath(const char* name, int* yes, int* all) {
    (void)name, (void)yes, (void)all;
  }
  virtual void AskOverwrite(const char* name, int* yes, int* all) {
    (void)name, (void)yes, (void)all;
  }
  // How far the work on a member (extracting, testing or adding it) has
  // come: `done` of `total` bytes. Called now and then while it runs, then
  // once with `finished` set.
  virtual void Progress(const char* name, std::uint64_t done, std::uint64_t total, bool finished) {
    (void)name, (void)done, (void)total, (void)finished;
  }
  virtual ~CInquireEvent() = default;
};
