// Entry point of tsubo.
#include "cli/frontend.h"

int main(int argc, char** argv) { return TsuboMain(argc, argv); }
