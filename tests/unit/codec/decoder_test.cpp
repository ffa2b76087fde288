// The decoder against fixed vectors, streams written by the model coder, and bad input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"
#include "tests/support/temp_dir.h"
#include "tests/unit/codec/test_streams.h"

namespace {

using codectest::MakeStream;
using codectest::ModelStreamWriter;
using vkp::DecodeMethod;

std::vector<uint8_t> Bytes(const std::string &s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Decodes with both methods (bounded) and checks they agree; returns the table result.
int DecodeBoth(const std::vector<uint8_t> &stream, std::vector<uint8_t> *out) {
    std::vector<uint8_t> walked;
    const int walkResult =
        vkp::DecodeToBuffer(stream.data(), stream.size(), &walked, DecodeMethod::kTreeWalk);
    const int tableResult =
        vkp::DecodeToBuffer(stream.data(), stream.size(), out, DecodeMethod::kTable);
    EXPECT_EQ(walkResult, tableResult);
    if (tableResult == kDecompressOk) {
        EXPECT_EQ(walked, *out);
    }
    return tableResult;
}

class DecompressFileTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::string out_ = dir_.Path("out.bin");

    std::vector<uint8_t> Output() {
        std::vector<uint8_t> data;
        EXPECT_TRUE(codectest::ReadFile(out_, &data));
        return data;
    }
};

TEST_F(DecompressFileTest, AbcVector) {
    std::vector<uint8_t> stream = MakeStream(9, {0x21, 0x22, 0x23, 0xC3, 0x18, 0x00});
    ASSERT_EQ(stream.size(), 14u);
    EXPECT_EQ(Decompress(stream.data(), &out_[0]), kDecompressOk);
    EXPECT_EQ(Output(), Bytes("abcabcabc"));
    EXPECT_EQ(DecompressBounded(stream.data(), 14, out_.c_str()), kDecompressOk);
    EXPECT_EQ(Output(), Bytes("abcabcabc"));
}

TEST_F(DecompressFileTest, ElevenAVector) {
    std::vector<uint8_t> stream = MakeStream(11, {0x21, 0xC7, 0x08, 0x00});
    ASSERT_EQ(stream.size(), 12u);
    EXPECT_EQ(Decompress(stream.data(), &out_[0]), kDecompressOk);
    EXPECT_EQ(Output(), Bytes("aaaaaaaaaaa"));
    EXPECT_EQ(DecompressBounded(stream.data(), 12, out_.c_str()), kDecompressOk);
    EXPECT_EQ(Output(), Bytes("aaaaaaaaaaa"));
}

TEST_F(DecompressFileTest, EmptyStreamCreatesEmptyFile) {
    ASSERT_TRUE(codectest::WriteFile(out_, Bytes("old content")));
    std::vector<uint8_t> stream = MakeStream(0, {});
    EXPECT_EQ(Decompress(stream.data(), &out_[0]), kDecompressOk);
    EXPECT_TRUE(Output().empty());
    EXPECT_EQ(DecompressBounded(stream.data(), 8, out_.c_str()), kDecompressOk);
    EXPECT_TRUE(Output().empty());
}

TEST_F(DecompressFileTest, WrongMagicInEachPlaceGivesOneAndEmptyFile) {
    for (int place = 0; place < 4; ++place) {
        ASSERT_TRUE(codectest::WriteFile(out_, Bytes("old content")));
        std::vector<uint8_t> stream = MakeStream(9, {0x21, 0x22, 0x23, 0xC3, 0x18, 0x00});
        stream[place] ^= 0x20;
        EXPECT_EQ(Decompress(stream.data(), &out_[0]), kDecompressBadStream) << place;
        EXPECT_TRUE(Output().empty()) << place;
        EXPECT_EQ(DecompressBounded(stream.data(), 14, out_.c_str()), kDecompressBadStream);
        EXPECT_TRUE(Output().empty()) << place;
    }
}

TEST_F(DecompressFileTest, OutputThatCannotBeOpenedGivesTwo) {
    std::vector<uint8_t> stream = MakeStream(9, {0x21, 0x22, 0x23, 0xC3, 0x18, 0x00});
    std::string missing = dir_.Path("no/such/folder/out.bin");
    EXPECT_EQ(Decompress(stream.data(), &missing[0]), kDecompressCantOpen);
    EXPECT_EQ(DecompressBounded(stream.data(), 14, dir_.Path("").c_str()), kDecompressCantOpen);
    // Paths longer than 260 characters are refused; 260 itself is fine.
    std::string base = dir_.Path("");
    std::string exact = base + std::string(260 - base.size(), 'x');
    std::string tooLong = exact + "y";
    EXPECT_EQ(DecompressBounded(stream.data(), 14, tooLong.c_str()), kDecompressCantOpen);
    if (exact.size() - base.size() <= 255) { // the file system's own name limit
        EXPECT_EQ(DecompressBounded(stream.data(), 14, exact.c_str()), kDecompressOk);
    }
}

TEST_F(DecompressFileTest, WriteErrorsAreReported) {
    // /dev/full accepts the open and fails every write: small output fails at close, large output
    // fails in the middle.
    std::vector<uint8_t> small = MakeStream(9, {0x21, 0x22, 0x23, 0xC3, 0x18, 0x00});
    EXPECT_EQ(DecompressBounded(small.data(), 14, "/dev/full"), kDecompressWriteError);
    std::vector<uint8_t> big;
    std::vector<uint8_t> data = codectest::TextLike(600000, 5);
    ASSERT_TRUE(vkp::CompressBuffer(data.data(), data.size(), &big, 1, nullptr));
    EXPECT_EQ(DecompressBounded(big.data(), big.size(), "/dev/full"), kDecompressWriteError);
    char full[] = "/dev/full";
    EXPECT_EQ(Decompress(big.data(), full), kDecompressWriteError);
}

TEST(DecoderVectors, MzHeaderWord) {
    // The first word of "MZ" coded with the initial codes: 0x4D -> 00001101, 0x5A -> 00011010.
    std::vector<uint8_t> stream = MakeStream(2, {0x0D, 0x1A});
    std::vector<uint8_t> out;
    EXPECT_EQ(DecodeBoth(stream, &out), kDecompressOk);
    EXPECT_EQ(out, Bytes("MZ"));
    std::vector<uint8_t> coded;
    ASSERT_TRUE(vkp::CompressBuffer(out.data(), out.size(), &coded, vkp::kDefaultLevel, nullptr));
    EXPECT_EQ(coded, stream);
}

TEST(DecoderVectors, InitialCodesOfAAndZero) {
    // 'A' = 00000001, symbol 0 = 111000000, then seven padding bits.
    std::vector<uint8_t> stream = MakeStream(2, {0x01, 0xE0, 0x00, 0x00});
    std::vector<uint8_t> out;
    EXPECT_EQ(DecodeBoth(stream, &out), kDecompressOk);
    EXPECT_EQ(out, std::vector<uint8_t>({'A', 0}));
}

TEST(DecoderVectors, LongestMatchAtDistanceOne) {
    ModelStreamWriter w;
    w.Literal('q');
    w.Match(514, 1);
    w.Literal('r');
    std::vector<uint8_t> out;
    ASSERT_EQ(DecodeBoth(w.Finish(516), &out), kDecompressOk);
    std::vector<uint8_t> expected(515, 'q');
    expected.push_back('r');
    EXPECT_EQ(out, expected);
}

TEST(DecoderVectors, FarDistancesAcrossTheWindowWrap) {
    // 300 KB: a random block, then copies from 65,535 and other far distances, wrapping the
    // 128 KiB window twice.
    std::vector<uint8_t> expected = codectest::RandomBytes(70000, 3);
    ModelStreamWriter w;
    for (uint8_t b : expected)
        w.Literal(b);
    std::mt19937 rng(4);
    while (expected.size() < 300000) {
        const uint32_t distance = rng() % 3 == 0 ? 65535 : 60000 + rng() % 5536;
        const uint32_t length = 3 + rng() % 512;
        w.Match(length, distance);
        for (uint32_t i = 0; i < length; ++i)
            expected.push_back(expected[expected.size() - distance]);
        const uint8_t literal = static_cast<uint8_t>(rng());
        w.Literal(literal);
        expected.push_back(literal);
    }
    std::vector<uint8_t> out;
    ASSERT_EQ(DecodeBoth(w.Finish(static_cast<uint32_t>(expected.size())), &out), kDecompressOk);
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
}

// Random symbol sequences written with the model trees: covers every rebuild of both schedules,
// the halving, and (with skewed choices) the 16-bit limit.
TEST(DecoderModel, DecodesModelStreams) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::geometric_distribution<int> skewed(seed % 2 ? 0.3 : 0.05);
        ModelStreamWriter w;
        std::vector<uint8_t> expected;
        const int symbols = seed == 1 ? 71 : 9000;
        for (int i = 0; i < symbols; ++i) {
            if (expected.empty() || rng() % 3 != 0) {
                const uint8_t b = static_cast<uint8_t>(std::min(skewed(rng), 255));
                w.Literal(b);
                expected.push_back(b);
            } else {
                const uint32_t length = 3 + std::min<uint32_t>(skewed(rng), 511);
                const uint32_t distance =
                    1 + std::min<uint32_t>(skewed(rng) * 37, uint32_t(expected.size() - 1));
                w.Match(length, distance);
                for (uint32_t k = 0; k < length; ++k)
                    expected.push_back(expected[expected.size() - distance]);
            }
        }
        // One more literal after the stretch: decoded with codes that depend on which symbols
        // ticked the literal/length schedule (distance codes must not).
        w.Literal('Z');
        expected.push_back('Z');
        std::vector<uint8_t> out;
        ASSERT_EQ(DecodeBoth(w.Finish(static_cast<uint32_t>(expected.size())), &out), kDecompressOk)
            << seed;
        EXPECT_TRUE(out == expected) << seed;
    }
}

TEST(DecoderModel, DistanceSymbolsDoNotTickTheLiteralSchedule) {
    // 1 literal + 70 matches = 71 literal/length symbols and 70 distance symbols; the 72nd and
    // 73rd literal/length symbols straddle the first rebuild.
    ModelStreamWriter w;
    std::vector<uint8_t> expected = {'x'};
    w.Literal('x');
    for (int i = 0; i < 70; ++i) {
        w.Match(3, 1);
        expected.insert(expected.end(), 3, 'x');
    }
    for (uint8_t b : {'y', 'z', 'x'}) {
        w.Literal(b);
        expected.push_back(b);
    }
    std::vector<uint8_t> out;
    ASSERT_EQ(DecodeBoth(w.Finish(static_cast<uint32_t>(expected.size())), &out), kDecompressOk);
    EXPECT_EQ(out, expected);
}

// The format's copy, byte by byte over a window that starts zero-filled (what the decoder must
// reproduce for corrupt distances without clearing its window).
void ReferenceCopy(std::vector<uint8_t> *window, std::vector<uint8_t> *out, uint32_t length,
                   uint32_t distance) {
    for (uint32_t i = 0; i < length; ++i) {
        const uint64_t p = out->size();
        const uint8_t b = (*window)[(p - distance) & 0x1FFFF];
        (*window)[p & 0x1FFFF] = b;
        out->push_back(b);
    }
}

TEST(DecoderBounded, CorruptDistancesReadAZeroFilledWindow) {
    // Distances reaching before the first byte, and distance 0 before and after the window's
    // first wrap (where it repeats the byte from 128 KiB before).
    std::vector<uint8_t> window(131072, 0), expected;
    ModelStreamWriter w;
    auto literal = [&](uint8_t b) {
        w.Literal(b);
        window[expected.size() & 0x1FFFF] = b;
        expected.push_back(b);
    };
    auto match = [&](uint32_t length, uint32_t distance) {
        w.Match(length, distance);
        ReferenceCopy(&window, &expected, length, distance);
    };
    literal('a');
    match(20, 3);     // two bytes from before the start, then the pattern they start
    match(9, 0);      // the unwritten slot itself
    match(514, 6000); // far before the start
    literal('b');
    match(30, 2);
    std::mt19937 rng(12);
    while (expected.size() < 131072 + 40)
        literal(static_cast<uint8_t>(rng()));
    match(25, 0); // after the wrap
    literal('c');
    std::vector<uint8_t> out;
    ASSERT_EQ(DecodeBoth(w.Finish(static_cast<uint32_t>(expected.size())), &out), kDecompressOk);
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 600),
              std::vector<uint8_t>(expected.begin(), expected.begin() + 600));
    EXPECT_TRUE(out == expected);
}

TEST(DecoderBounded, TruncatedStreamsRunOut) {
    std::vector<uint8_t> data = codectest::TextLike(20000, 8);
    std::vector<uint8_t> stream;
    ASSERT_TRUE(vkp::CompressBuffer(data.data(), data.size(), &stream, 6, nullptr));
    std::vector<uint8_t> out;
    for (size_t cut : {size_t(0), size_t(3), size_t(7), size_t(8), size_t(9), size_t(10),
                       stream.size() / 2, stream.size() - 2, stream.size() - 1}) {
        // A copy of exactly `cut` bytes, so ASan catches any read past the end.
        std::vector<uint8_t> part(stream.begin(), stream.begin() + cut);
        EXPECT_EQ(DecodeBoth(part, &out), kDecompressBadStream) << cut;
    }
    EXPECT_EQ(DecodeBoth(stream, &out), kDecompressOk);
    EXPECT_EQ(out, data);
}

TEST(DecoderBounded, CorruptStreamsAgreeAndStayInBounds) {
    std::vector<uint8_t> data = codectest::BinaryLike(30000, 9);
    std::vector<uint8_t> stream;
    ASSERT_TRUE(vkp::CompressBuffer(data.data(), data.size(), &stream, 9, nullptr));
    std::mt19937 rng(10);
    std::vector<uint8_t> out;
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> bad = stream;
        for (int flips = 0; flips < 1 + round % 4; ++flips)
            bad[8 + rng() % (bad.size() - 8)] ^= static_cast<uint8_t>(1u << (rng() % 8));
        const int result = DecodeBoth(bad, &out);
        EXPECT_TRUE(result == kDecompressOk || result == kDecompressBadStream);
    }
    // Pure noise after a valid header, including distance 0 and distances before the start.
    for (uint32_t seed = 0; seed < 40; ++seed) {
        std::vector<uint8_t> noise =
            MakeStream(5000, codectest::RandomBytes(2 + 2 * (seed * 97 % 3000), seed));
        const int result = DecodeBoth(noise, &out);
        EXPECT_TRUE(result == kDecompressOk || result == kDecompressBadStream);
    }
}

} // namespace
