// Code page 1252 conversion, file time conversion, record headers and the payload's checksum.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "product/cp1252.h"
#include "tests/support/text_files.h"

namespace {

TEST(CodePage1252, EveryDefinedByteRoundTripsThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string ansi(1, char(b));
        std::string utf8, back;
        const bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        ASSERT_EQ(cp1252::Cp1252ToUtf8(ansi, &utf8), !undefined) << b;
        if (undefined)
            continue;
        ASSERT_TRUE(cp1252::Utf8ToCp1252(utf8, &back)) << b;
        EXPECT_EQ(back, ansi) << b;
    }
    std::string ansi;
    ASSERT_TRUE(cp1252::Utf8ToCp1252(u8"Donn\u00e9es \u20ac \u0178 \u2122", &ansi));
    EXPECT_EQ(ansi, "Donn\xE9"
                    "es \x80 \x9F \x99");
}

TEST(CodePage1252, RefusesWhatItCannotHoldAndBrokenUtf8) {
    std::string out;
    for (const char *bad : {u8"\u03b1", u8"\u4e2d", u8"\U0001F600", "\xC3", "\xC0\xAF",
                            "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "a\xFF"})
        EXPECT_FALSE(cp1252::Utf8ToCp1252(bad, &out)) << bad;
}

TEST(CodePage1252, CaseIsIgnoredAsWindowsDoesForFileNames) {
    EXPECT_EQ(cp1252::CompareNoCase1252("readme.TXT", "README.txt"), 0);
    EXPECT_EQ(cp1252::CompareNoCase1252("caf\xE9", "CAF\xC9"), 0);
    EXPECT_EQ(cp1252::CompareNoCase1252("\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F"), 0);
    EXPECT_GT(cp1252::CompareNoCase1252("b", "A"), 0);
    EXPECT_LT(cp1252::CompareNoCase1252("Doc", "doc2"), 0);
    EXPECT_NE(cp1252::CompareNoCase1252("\xF7", "\xD7"), 0); // division and multiplication signs
}

TEST(FileTimes, UnixAndFileTimeConvertBothWays) {
    const payload::FileTime t = payload::UnixToFileTime(0, 0);
    EXPECT_EQ(payload::FileTimeToU64(t), 116444736000000000ULL);
    const payload::FileTime u = payload::UnixToFileTime(1704164645, 123456789);
    int64_t s;
    uint32_t ns;
    payload::FileTimeToUnix(u, &s, &ns);
    EXPECT_EQ(s, 1704164645);
    EXPECT_EQ(ns, 123456700u);
    payload::CalendarTime c{};
    ASSERT_TRUE(payload::FileTimeToCalendar(u, &c));
    EXPECT_EQ(c.year, 2024);
    EXPECT_EQ(c.month, 1);
    EXPECT_EQ(c.day, 2);
    EXPECT_EQ(c.hour, 3);
    EXPECT_EQ(c.minute, 4);
    EXPECT_EQ(c.second, 5);
    ASSERT_TRUE(payload::FileTimeToCalendar(payload::U64ToFileTime(0), &c));
    EXPECT_EQ(c.year * 10000 + c.month * 100 + c.day, 16010101);
    ASSERT_TRUE(payload::FileTimeToCalendar(payload::UnixToFileTime(951782400, 0), &c));
    EXPECT_EQ(c.month * 100 + c.day, 229); // 2000-02-29
    EXPECT_FALSE(payload::FileTimeToCalendar(payload::U64ToFileTime(1ULL << 63), &c));
}

TEST(RecordHeader, EncodesLittleEndianWithFiller) {
    payload::RecordHeader h{0x01020304, 5, -1, 7, 'F', {0xAABBCCDD, 0x11223344}};
    uint8_t bytes[28];
    payload::EncodeRecordHeader(h, bytes);
    const uint8_t expected[28] = {4,    3,    2,    1,    5,    0,    0,    0,    0xFF, 0xFF,
                                  0xFF, 0xFF, 7,    0,    0,    0,    'F',  0xFF, 0xFF, 0xFF,
                                  0xDD, 0xCC, 0xBB, 0xAA, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 28),
              std::vector<uint8_t>(expected, expected + 28));
    const payload::RecordHeader d = payload::DecodeRecordHeader(bytes);
    EXPECT_EQ(d.disp2next, h.disp2next);
    EXPECT_EQ(d.uncompressed, -1);
    EXPECT_EQ(d.rectype, 'F');
    EXPECT_EQ(d.fileTime.dwHighDateTime, 0x11223344u);
}

// The platform's SHA-256 (the digests of FIPS 180-2's examples) and the check against a stored
// one: any changed byte, of the data or of the checksum, is a mismatch.
TEST(PayloadChecksum, Sha256AndTheCheck) {
    const std::string abc = "abc";
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    uint8_t digest[payload::kChecksumSize];
    const auto bytes = [](const std::string &s) {
        return reinterpret_cast<const uint8_t *>(s.data());
    };
    ASSERT_TRUE(payload::Sha256(bytes(abc), abc.size(), digest));
    EXPECT_EQ(payload::ChecksumText(digest),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(payload::Sha256(bytes(two), two.size(), digest));
    EXPECT_EQ(payload::ChecksumText(digest),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    ASSERT_TRUE(payload::Sha256(nullptr, 0, digest));
    EXPECT_EQ(payload::ChecksumText(digest),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    std::string data(100000, 'x');
    data[5000] = 'y';
    ASSERT_TRUE(payload::Sha256(bytes(data), data.size(), digest));
    using payload::ChecksumResult;
    EXPECT_EQ(payload::CheckChecksum(bytes(data), data.size(), digest, sizeof digest),
              ChecksumResult::Matches);
    EXPECT_EQ(payload::CheckChecksum(bytes(data), data.size(), nullptr, 0),
              ChecksumResult::NotStored);
    EXPECT_EQ(payload::CheckChecksum(bytes(data), data.size(), digest, sizeof digest - 1),
              ChecksumResult::Mismatch);
    for (size_t at : {size_t(0), size_t(5000), data.size() - 1}) {
        std::string changed = data;
        changed[at] ^= 0x01;
        EXPECT_EQ(payload::CheckChecksum(bytes(changed), changed.size(), digest, sizeof digest),
                  ChecksumResult::Mismatch)
            << at;
    }
    digest[31] ^= 0x80;
    EXPECT_EQ(payload::CheckChecksum(bytes(data), data.size(), digest, sizeof digest),
              ChecksumResult::Mismatch);
}

} // namespace
