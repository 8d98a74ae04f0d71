// STUB: replaced by the update work (add and delete runners).
#include "cli/frontend.h"
int RunAdd() { return 2; }
int RunDelete() { return 2; }
