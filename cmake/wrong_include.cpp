// Compiled at configure time with the include view of the codec module: the
// container format lies above the codecs, so this include must not be found.
#include "archive/entry.h"

int main() { return 0; }
