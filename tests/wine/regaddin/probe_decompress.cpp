// Stands in for the decoder library in the export probe only, while no vnx_decompress target is
// in the build; the probe checks the export's address, never its work.
#include "decompress/decompress.h"

int Decompress(unsigned char *, char *) {
    return kDecompressBadStream;
}
