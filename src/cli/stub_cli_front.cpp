// STUB: replaced by the front-end work (command line, driver, questions).
#include "cli/frontend.h"
FrontEnd frontEnd;
void Printf(const char*, ...) {}
void PrintError(const char*, ...) {}
void PrintHelp() {}
void SetDefaultOptions() {}
int ParseCommandLine(const std::vector<std::string>&) { return -1; }
int ParseModifier(const char*) { return -1; }
void ReadResponseFile(const char*) {}
int CollectFiles(const char*) { return 0; }
void AddName(const char*) {}
void AddStoreOnlyPattern(const char*) {}
void CUserInquireEvent::AskExtractPath(const char*, int*, int*) {}
void CUserInquireEvent::AskOverwrite(const char*, int*, int*) {}
int AskContinue() { return 0; }
int TsuboMain(int, char**) { return 2; }
