// The decoding engine behind Decompress, writing to any byte sink. Used by the file entry points,
// the command-line tool, the tests and the benchmark.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkp {

constexpr uint64_t kUnboundedStream = UINT64_MAX;

// Receives the decoded bytes in order. Write returns false when the bytes could not be stored.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const uint8_t *data, size_t size) = 0;
};

enum class DecodeMethod {
    kTreeWalk, // one bit at a time down the tree; fetches a word only when a bit is needed
    kTable,    // lookup tables rebuilt with the trees; needs the stream length
};

// Decodes one stream. streamLength bounds every read (kUnboundedStream: trust the stream, which
// forces kTreeWalk since the table decoder looks ahead). Returns a DecompressResult:
// kDecompressOk, kDecompressBadStream (magic, ran out, no memory) or kDecompressWriteError.
int DecodeStream(const uint8_t *stream, uint64_t streamLength, ByteSink *sink, DecodeMethod method);

// Decodes a bounded stream into memory (replacing *out).
int DecodeToBuffer(const uint8_t *stream, uint64_t streamLength, std::vector<uint8_t> *out,
                   DecodeMethod method = DecodeMethod::kTable);

} // namespace vkp
