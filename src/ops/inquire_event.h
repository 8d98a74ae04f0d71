// The question interface through which the archive object asks the user.
// The base class refuses everything: it leaves both answers at 0.
#pragma once

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
  virtual ~CInquireEvent() = default;
};
