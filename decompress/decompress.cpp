#include "decompress/decompress.h"

#include <cstdio>
#include <cstring>

#include "decompress/stream_decoder.h"
#include "product/path_limits.h"

namespace {

// Writes through the C runtime's buffered file; remembers the first failure.
class FileSink : public vkp::ByteSink {
public:
    explicit FileSink(std::FILE *file) : file_(file) {}
    bool Write(const uint8_t *data, size_t size) override {
        return std::fwrite(data, 1, size, file_) == size;
    }

private:
    std::FILE *file_;
};

int DecompressToFile(const unsigned char *stream, uint64_t streamLength, const char *outPath) {
    // As many characters as the system's path size itself are still tried.
    if (outPath == nullptr || std::strlen(outPath) > product::kSystemPathSize)
        return kDecompressCantOpen;
    std::FILE *file = std::fopen(outPath, "w+b");
    if (file == nullptr)
        return kDecompressCantOpen;
    FileSink sink(file);
    int result = vkp::DecodeStream(stream, streamLength, &sink, vkp::DecodeMethod::kTable);
    // Buffered bytes reach the disk only here; a full disk often shows up at this point.
    if (std::fflush(file) != 0 && result == kDecompressOk)
        result = kDecompressWriteError;
    if (std::fclose(file) != 0 && result == kDecompressOk)
        result = kDecompressWriteError;
    return result;
}

} // namespace

int Decompress(unsigned char *stream, char *outPath) {
    return DecompressToFile(stream, vkp::kUnboundedStream, outPath);
}

int DecompressBounded(const unsigned char *stream, uint32_t streamLength, const char *outPath) {
    return DecompressToFile(stream, streamLength, outPath);
}
