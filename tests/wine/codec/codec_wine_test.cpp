// The decoder and encoder of the Windows build: fixed vector, file round trip, open failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "tests/support/environment.h"
#include "tests/support/text_files.h"

namespace {

TEST(CodecOnWindows, DecodesTheAbcVector) {
    unsigned char stream[] = {'V', 'K', 'P', '1', 0, 0, 0, 9, 0x21, 0x22, 0x23, 0xC3, 0x18, 0x00};
    std::string out = WorkPath("abc.txt");
    ASSERT_EQ(Decompress(stream, &out[0]), kDecompressOk);
    EXPECT_EQ(ReadFileBytes(out),
              std::vector<uint8_t>({'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'}));
    EXPECT_EQ(DecompressBounded(stream, sizeof stream - 2, out.c_str()), kDecompressBadStream);
}

TEST(CodecOnWindows, RoundTripThroughFiles) {
    // Binary bytes including CR, LF and 0x1A, which a text-mode stream would alter.
    std::vector<uint8_t> data;
    uint32_t x = 1;
    for (int i = 0; i < 400000; ++i) {
        x = x * 1103515245u + 12345u;
        data.push_back(i % 5 == 0 ? static_cast<uint8_t>("\r\n\x1a"[i % 3])
                                  : static_cast<uint8_t>((x >> 16) % 40));
    }
    const std::string original = WorkPath("original.bin");
    std::FILE *file = std::fopen(original.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
    ASSERT_EQ(std::fclose(file), 0);

    const std::string packed = WorkPath("packed.vkp");
    std::FILE *in = std::fopen(original.c_str(), "rb");
    std::FILE *out = std::fopen(packed.c_str(), "wb");
    ASSERT_TRUE(in && out);
    std::string error;
    EXPECT_TRUE(vkp::CompressFile(in, data.size(), out, vkp::kDefaultLevel, &error)) << error;
    std::fclose(in);
    ASSERT_EQ(std::fclose(out), 0);

    std::vector<uint8_t> stream = ReadFileBytes(packed);
    ASSERT_GT(stream.size(), 8u);
    EXPECT_LT(stream.size(), data.size());
    const std::string decoded = WorkPath("decoded.bin");
    ASSERT_EQ(
        DecompressBounded(stream.data(), static_cast<uint32_t>(stream.size()), decoded.c_str()),
        kDecompressOk);
    EXPECT_TRUE(ReadFileBytes(decoded) == data);
}

TEST(CodecOnWindows, UnopenableOutputGivesTwo) {
    unsigned char stream[] = {'V', 'K', 'P', '1', 0, 0, 0, 0};
    std::string out = WorkPath("missing\\folder\\x.bin");
    EXPECT_EQ(Decompress(stream, &out[0]), kDecompressCantOpen);
}

} // namespace
