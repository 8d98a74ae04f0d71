// Compiled at configure time with the include view of the codec module: a
// codec header must be found there (the control for wrong_include.cpp).
#include "lzh/crc16.h"

int main() { return 0; }
