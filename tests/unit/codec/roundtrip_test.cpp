// Encoder and decoder together: every level on many kinds of data, streamed files, determinism.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"
#include "tests/support/temp_dir.h"
#include "tests/unit/codec/test_streams.h"

namespace {

void ExpectRoundTrip(const std::vector<uint8_t> &data, int level, const char *what) {
    std::vector<uint8_t> stream;
    std::string error;
    ASSERT_TRUE(vkp::CompressBuffer(data.data(), data.size(), &stream, level, &error)) << error;
    ASSERT_GE(stream.size(), 8u);
    EXPECT_EQ(stream.size() % 2, 0u);
    std::vector<uint8_t> out;
    ASSERT_EQ(vkp::DecodeToBuffer(stream.data(), stream.size(), &out), kDecompressOk)
        << what << " level " << level;
    ASSERT_EQ(out.size(), data.size()) << what << " level " << level;
    EXPECT_TRUE(out == data) << what << " level " << level;
    // The last word holds the last bit: one word less must run out.
    if (stream.size() > 8) {
        out.clear();
        EXPECT_EQ(vkp::DecodeToBuffer(stream.data(), stream.size() - 2, &out), kDecompressBadStream)
            << what << " level " << level;
    }
}

TEST(RoundTrip, EveryLevelOnEveryKindOfData) {
    struct Case {
        const char *name;
        std::vector<uint8_t> data;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"two bytes", {'M', 'Z'}},
        {"random", codectest::RandomBytes(50000, 1)},
        {"text", codectest::TextLike(150000, 2)},
        {"binary", codectest::BinaryLike(150000, 3)},
        {"zeros", std::vector<uint8_t>(200000, 0)},
        {"period 7", codectest::Periodic(100000, 7, 4)},
        {"period 65535", codectest::Periodic(160000, 65535, 5)},
        {"period 65536", codectest::Periodic(160000, 65536, 6)},
        {"period 131071", codectest::Periodic(280000, 131071, 7)},
    };
    for (int level = vkp::kMinLevel; level <= vkp::kMaxLevel; ++level) {
        for (const Case &c : cases)
            ExpectRoundTrip(c.data, level, c.name);
    }
}

TEST(RoundTrip, CompressesWhatRepeats) {
    std::vector<uint8_t> zeros(400000, 0);
    std::vector<uint8_t> periodic = codectest::Periodic(200000, 65535, 5);
    for (int level = vkp::kMinLevel; level <= vkp::kMaxLevel; ++level) {
        std::vector<uint8_t> stream;
        ASSERT_TRUE(vkp::CompressBuffer(zeros.data(), zeros.size(), &stream, level, nullptr));
        EXPECT_LT(stream.size(), 4000u) << level;
        stream.clear();
        // A period at the longest distance is found: about one period's worth of output.
        ASSERT_TRUE(vkp::CompressBuffer(periodic.data(), periodic.size(), &stream, level, nullptr));
        EXPECT_LT(stream.size(), 80000u) << level;
    }
    std::vector<uint8_t> text = codectest::TextLike(300000, 2);
    std::vector<uint8_t> fast, best;
    ASSERT_TRUE(vkp::CompressBuffer(text.data(), text.size(), &fast, 1, nullptr));
    ASSERT_TRUE(vkp::CompressBuffer(text.data(), text.size(), &best, 9, nullptr));
    EXPECT_LT(best.size(), fast.size());
}

TEST(RoundTrip, LargeFileThroughFilesIsDeterministic) {
    TempDir dir;
    // Several MB mixing kinds, so the encoder slides its buffer many times.
    std::vector<uint8_t> data;
    for (uint32_t part = 0; part < 6; ++part) {
        std::vector<uint8_t> piece = part % 3 == 0   ? codectest::TextLike(700000, part)
                                     : part % 3 == 1 ? codectest::BinaryLike(700000, part)
                                                     : codectest::RandomBytes(300000, part);
        data.insert(data.end(), piece.begin(), piece.end());
    }
    ASSERT_TRUE(codectest::WriteFile(dir.Path("in.bin"), data));
    for (int level : {1, vkp::kDefaultLevel}) {
        std::vector<uint8_t> streams[2];
        for (auto &stream : streams) {
            std::FILE *in = std::fopen(dir.Path("in.bin").c_str(), "rb");
            std::FILE *out = std::fopen(dir.Path("out.vkp").c_str(), "wb");
            ASSERT_TRUE(in && out);
            std::string error;
            EXPECT_TRUE(vkp::CompressFile(in, data.size(), out, level, &error)) << error;
            std::fclose(in);
            ASSERT_EQ(std::fclose(out), 0);
            ASSERT_TRUE(codectest::ReadFile(dir.Path("out.vkp"), &stream));
        }
        EXPECT_TRUE(streams[0] == streams[1]) << level;
        std::vector<uint8_t> inMemory;
        ASSERT_TRUE(vkp::CompressBuffer(data.data(), data.size(), &inMemory, level, nullptr));
        EXPECT_TRUE(inMemory == streams[0]) << level;
        const std::string decoded = dir.Path("decoded.bin");
        ASSERT_EQ(DecompressBounded(streams[0].data(), static_cast<uint32_t>(streams[0].size()),
                                    decoded.c_str()),
                  kDecompressOk);
        std::vector<uint8_t> back;
        ASSERT_TRUE(codectest::ReadFile(decoded, &back));
        EXPECT_TRUE(back == data) << level;
    }
}

TEST(RoundTrip, RefusesBadArguments) {
    std::vector<uint8_t> out;
    std::string error;
    const uint8_t byte = 1;
    EXPECT_FALSE(vkp::CompressBuffer(&byte, 1, &out, 0, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(vkp::CompressBuffer(&byte, 1, &out, 10, &error));
    // A file shorter than the size announced is a read error, not a short stream.
    TempDir dir;
    ASSERT_TRUE(codectest::WriteFile(dir.Path("short.bin"), {1, 2, 3}));
    std::FILE *in = std::fopen(dir.Path("short.bin").c_str(), "rb");
    std::FILE *sink = std::fopen(dir.Path("out.vkp").c_str(), "wb");
    ASSERT_TRUE(in && sink);
    error.clear();
    EXPECT_FALSE(vkp::CompressFile(in, 10, sink, 6, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(vkp::CompressFile(in, uint64_t(1) << 32, sink, 6, &error));
    std::fclose(in);
    std::fclose(sink);
}

} // namespace
