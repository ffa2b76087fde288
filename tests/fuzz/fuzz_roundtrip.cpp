// Any data at any level comes back unchanged through encoder and decoder.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const int level = vkp::kMinLevel + data[0] % (vkp::kMaxLevel - vkp::kMinLevel + 1);
    // The second byte, when present, stretches the input by repetition so long matches and far
    // distances get exercised from short fuzz inputs.
    std::vector<uint8_t> input(data + 1, data + size);
    if (size > 2 && data[1] >= 0xF0) {
        const size_t repeat = (data[1] & 0x0F) * 4096;
        for (size_t i = 0; i < repeat && !input.empty(); ++i)
            input.push_back(input[i % input.size()] ^ static_cast<uint8_t>(i >> 13));
    }
    std::vector<uint8_t> stream;
    if (!vkp::CompressBuffer(input.data(), input.size(), &stream, level, nullptr))
        std::abort();
    std::vector<uint8_t> back;
    if (vkp::DecodeToBuffer(stream.data(), stream.size(), &back) != kDecompressOk || back != input)
        std::abort();
    return 0;
}
