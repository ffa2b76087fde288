// The PE reader's resource lookup, on a small Windows program that carries the sample payload
// as TESTDATA 105 and on one without resources, whole, cut short and with flipped bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "builder/pe_resource.h"
#include "tests/support/text_files.h"

namespace {

#ifdef VNX_TEST_EXE
TEST(PeResource, FindsTheNamedTypeAndIdAndNothingInAPlainExe) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    const std::vector<uint8_t> payloadBytes = ReadFileBytes(VNX_TEST_PAYLOAD);
    ASSERT_FALSE(exe.empty());
    size_t offset = 0;
    uint32_t length = 0;
    std::string error;
    ASSERT_TRUE(
        payload::FindPeResource(exe.data(), exe.size(), "TESTDATA", 105, &offset, &length, &error))
        << error;
    ASSERT_EQ(length, payloadBytes.size());
    EXPECT_TRUE(std::equal(payloadBytes.begin(), payloadBytes.end(), exe.begin() + long(offset)));
    EXPECT_TRUE(
        payload::FindPeResource(exe.data(), exe.size(), "testdata", 105, &offset, &length, &error));
    EXPECT_FALSE(
        payload::FindPeResource(exe.data(), exe.size(), "TESTDATA", 107, &offset, &length, &error));
    EXPECT_FALSE(
        payload::FindPeResource(exe.data(), exe.size(), "TESTDAT", 105, &offset, &length, &error));
    const std::vector<uint8_t> plain = ReadFileBytes(VNX_PLAIN_EXE);
    EXPECT_FALSE(payload::FindPeResource(plain.data(), plain.size(), "TESTDATA", 105, &offset,
                                         &length, &error));
}

TEST(PeResource, CutAndFlippedExecutablesNeverReadOutside) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    size_t offset;
    uint32_t length;
    std::string error;
    for (size_t cut = 0; cut < exe.size(); cut += 1 + cut / 64) {
        std::vector<uint8_t> part(exe.begin(), exe.begin() + long(cut));
        if (payload::FindPeResource(part.data(), part.size(), "TESTDATA", 105, &offset, &length,
                                    &error)) {
            ASSERT_LE(offset + length, part.size());
        }
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = exe;
        // Flips aimed at the headers and the resource directory, where the reader looks.
        for (int f = 0; f < 3; ++f) {
            size_t at = rng() % 2 ? rng() % 1024 : rng() % bytes.size();
            bytes[at] ^= uint8_t(1 + rng() % 255);
        }
        if (payload::FindPeResource(bytes.data(), bytes.size(), "TESTDATA", 105, &offset, &length,
                                    &error)) {
            ASSERT_LE(offset + length, bytes.size());
        }
    }
}
#endif

} // namespace
