// The bounded decoder on arbitrary input: never reads past the stream, and the table decoder
// gives exactly the result and bytes of the bit-by-bit tree walk.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"

namespace {

// Keeps the first bytes only; declared sizes up to 4 GiB would otherwise make slow runs.
class CappedSink : public vkp::ByteSink {
public:
    bool Write(const uint8_t *data, size_t size) override {
        if (bytes.size() + size > kCap)
            return false;
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    static constexpr size_t kCap = 1u << 20;
    std::vector<uint8_t> bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size copy, so any read past the end is caught.
    std::vector<uint8_t> stream(data, data + size);
    CappedSink walked, tabled;
    const int walkResult =
        vkp::DecodeStream(stream.data(), stream.size(), &walked, vkp::DecodeMethod::kTreeWalk);
    const int tableResult =
        vkp::DecodeStream(stream.data(), stream.size(), &tabled, vkp::DecodeMethod::kTable);
    if (walkResult != tableResult)
        std::abort();
    if (walkResult == kDecompressOk && walked.bytes != tabled.bytes)
        std::abort();
    return 0;
}
