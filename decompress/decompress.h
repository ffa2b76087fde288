// Decoder for "VKP1" compressed streams: one stream in, one file out.
#pragma once
#include <cstdint>

// Results of Decompress and DecompressBounded.
enum DecompressResult {
    kDecompressOk = 0,        // file written completely
    kDecompressBadStream = 1, // wrong magic, stream ran out (bounded form), or out of memory
    kDecompressCantOpen = 2,  // output file could not be opened (or its path is too long)
    kDecompressWriteError = 3 // output could not be written or closed completely (full disk, I/O)
};

// Decodes the self-delimiting stream at `stream` (starting at the "VKP1" magic) into the file
// `outPath`, created or truncated. Exported from the installer by name.
int Decompress(unsigned char *stream, char *outPath);

// As Decompress, but never reads past stream[streamLength - 1]: a stream that runs out before the
// declared size has been produced gives kDecompressBadStream.
int DecompressBounded(const unsigned char *stream, uint32_t streamLength, const char *outPath);
