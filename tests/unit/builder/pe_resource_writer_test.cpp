// The resource writer on small Windows programs made by the mingw-w64 tools: resources added in
// a new last section beside the image's own, every existing section unchanged; the refusals;
// and the string-table and version-resource encodings against the resource compiler's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "builder/pe_resource.h"
#include "builder/pe_resource_writer.h"
#include "builder/resource_encoding.h"
#include "tests/support/text_files.h"

namespace {

uint32_t U32(const std::vector<uint8_t> &b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// After a change, the header checksum the change would break is set anew: what a tool that
// knows the format leaves.
void SetChecksum(std::vector<uint8_t> *image, size_t field) {
    const uint32_t sum = payload::PeChecksum(image->data(), image->size(), field);
    for (int i = 0; i < 4; ++i)
        (*image)[field + i] = uint8_t(sum >> (8 * i));
}

std::vector<payload::ResourceItem> ItemsOf(const std::vector<uint8_t> &image) {
    std::vector<payload::PeResourceEntry> entries;
    std::string error;
    EXPECT_TRUE(payload::ReadPeResources(image.data(), image.size(), &entries, &error)) << error;
    std::vector<payload::ResourceItem> items;
    for (const payload::PeResourceEntry &e : entries)
        items.push_back(
            {e.type, e.name, e.language, e.codePage, image.data() + e.offset, e.length});
    return items;
}

payload::ResourceItem Named(const char *type, uint16_t id, const std::vector<uint8_t> &data) {
    payload::ResourceItem item;
    item.type.text = payload::WidenAscii(type);
    item.name.id = id;
    item.language = 0x409;
    item.data = data.data();
    item.size = data.size();
    return item;
}

std::vector<uint8_t> Found(const std::vector<uint8_t> &image, const char *type, uint16_t id) {
    size_t offset = 0;
    uint32_t length = 0;
    std::string error;
    if (!payload::FindPeResource(image.data(), image.size(), type, id, &offset, &length, &error))
        return {};
    return std::vector<uint8_t>(image.begin() + long(offset),
                                image.begin() + long(offset + length));
}

#ifdef VNX_TEST_EXE
TEST(PeResourceWriter, AddsResourcesInANewSectionAndKeepsEveryOtherByte) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    payload::PeLayout before;
    std::string error;
    ASSERT_TRUE(payload::ReadPeLayout(exe.data(), exe.size(), &before, &error)) << error;
    std::vector<payload::ResourceItem> items = ItemsOf(exe);
    ASSERT_EQ(items.size(), 2u);
    const std::vector<uint8_t> list = {'l', 'i', 's', 't'}, empty;
    items.push_back(Named("INSTALLLIST", 1, list));
    items.push_back(Named("INSTALLLIST", 2, empty));
    std::vector<uint8_t> out;
    ASSERT_TRUE(payload::AppendResourceSection(exe, items, &out, &error)) << error;

    payload::PeImageReport report;
    payload::CheckPeImage(out.data(), out.size(), &report);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_TRUE(report.checksumSet);
    EXPECT_EQ(report.sections, before.sectionCount + 1);
    EXPECT_EQ(Found(out, "TESTDATA", 105), Found(exe, "TESTDATA", 105));
    EXPECT_EQ(Found(out, "TESTDATA", 106), Found(exe, "TESTDATA", 106));
    EXPECT_EQ(Found(out, "installlist", 1), list);
    // The old headers' section entries and every section's data stay where they were.
    const size_t table = before.sectionTable;
    for (uint16_t i = 0; i < before.sectionCount; ++i) {
        const size_t header = table + 40 * size_t(i);
        EXPECT_TRUE(std::equal(exe.begin() + long(header), exe.begin() + long(header + 40),
                               out.begin() + long(header)));
        const uint32_t raw = U32(exe, header + 20), rawSize = U32(exe, header + 16);
        EXPECT_TRUE(std::equal(exe.begin() + raw, exe.begin() + raw + rawSize, out.begin() + raw))
            << "section " << i;
    }
    // The new tree points at the new section: reading it finds every item once more.
    EXPECT_EQ(ItemsOf(out).size(), 4u);
    const size_t added = table + 40 * size_t(before.sectionCount);
    EXPECT_EQ(U32(out, before.resourceDirectoryField), U32(out, added + 12));
}

TEST(PeResourceWriter, RefusesAFullHeaderASignedImageAndTwiceTheSameResource) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    payload::PeLayout layout;
    std::string error;
    ASSERT_TRUE(payload::ReadPeLayout(exe.data(), exe.size(), &layout, &error)) << error;
    const std::vector<payload::ResourceItem> items = ItemsOf(exe);
    std::vector<uint8_t> out;

    std::vector<uint8_t> full = exe;
    full[layout.sectionTable + 40 * size_t(layout.sectionCount) + 3] = 1;
    SetChecksum(&full, layout.checksumField);
    EXPECT_FALSE(payload::AppendResourceSection(full, items, &out, &error));
    EXPECT_NE(error.find("no room"), std::string::npos) << error;

    std::vector<payload::ResourceItem> twice = items;
    twice.push_back(items.front());
    EXPECT_FALSE(payload::AppendResourceSection(exe, twice, &out, &error));
    EXPECT_NE(error.find("same type"), std::string::npos) << error;

    // A certificate table after the image: what a signing tool leaves.
    std::vector<uint8_t> signedImage = exe;
    while (signedImage.size() % 8 != 0)
        signedImage.push_back(0);
    const uint32_t at = uint32_t(signedImage.size());
    const std::vector<uint8_t> certificate = {16, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    signedImage.insert(signedImage.end(), certificate.begin(), certificate.end());
    const size_t security = layout.resourceDirectoryField + 16; // entry 4, after entry 2
    for (int i = 0; i < 4; ++i) {
        signedImage[security + i] = uint8_t(at >> (8 * i));
        signedImage[security + 4 + i] = uint8_t(16 >> (8 * i));
    }
    SetChecksum(&signedImage, layout.checksumField);
    EXPECT_FALSE(payload::AppendResourceSection(signedImage, items, &out, &error));
    EXPECT_NE(error.find("signed"), std::string::npos) << error;

    std::vector<uint8_t> changed = exe;
    changed[layout.sectionTable + 20] ^= 0x10; // a section's data moved off its alignment
    SetChecksum(&changed, layout.checksumField);
    EXPECT_FALSE(payload::AppendResourceSection(changed, items, &out, &error));
}

TEST(PeResourceWriter, DamagedTreesAreReadWithinTheFileOrRefused) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    std::mt19937 rng(11);
    std::vector<payload::PeResourceEntry> entries;
    std::string error;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = exe;
        for (int f = 0; f < 3; ++f) {
            const size_t at = rng() % 2 ? rng() % 1024 : rng() % bytes.size();
            bytes[at] ^= uint8_t(1 + rng() % 255);
        }
        if (!payload::ReadPeResources(bytes.data(), bytes.size(), &entries, &error))
            continue;
        for (const payload::PeResourceEntry &e : entries) {
            ASSERT_LE(e.offset + e.length, bytes.size());
        }
    }
}
#endif

#ifdef VNX_VERSION_EXE
TEST(ResourceEncoding, TheVersionResourceIsTheResourceCompilersBytes) {
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_VERSION_EXE);
    std::vector<payload::PeResourceEntry> entries;
    std::string error;
    ASSERT_TRUE(payload::ReadPeResources(exe.data(), exe.size(), &entries, &error)) << error;
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_EQ(entries[0].type.id, payload::kVersionType);
    const std::vector<uint8_t> compiled(exe.begin() + long(entries[0].offset),
                                        exe.begin() + long(entries[0].offset + entries[0].length));
    payload::VersionInfo info;
    ASSERT_TRUE(payload::ParseVersionNumbers("2.4.1.318", &info.fileVersion));
    info.strings = {{"CompanyName", "Varnok"},
                    {"FileDescription", "Varnex Spreadsheet Add-In uninstaller"},
                    {"FileVersion", "2.4.1.318"},
                    {"InternalName", "Uninstall"},
                    {"OriginalFilename", "Uninstall.exe"},
                    {"ProductName", "Varnex Spreadsheet Add-In"},
                    {"ProductVersion", "2.4.1"}};
    EXPECT_EQ(payload::EncodeVersionResource(info), compiled);
}
#endif

TEST(ResourceEncoding, StringBlocksRoundTripAndCutBlocksAreRefused) {
    payload::StringBlock block;
    block[0] = u"first";
    block[11] = u"2.4.1";
    block[15] = u"last";
    const std::vector<uint8_t> bytes = payload::EncodeStringBlock(block);
    EXPECT_EQ(bytes.size(), 16 * 2 + 2 * (5 + 5 + 4));
    payload::StringBlock read;
    std::string error;
    ASSERT_TRUE(payload::DecodeStringBlock(bytes.data(), bytes.size(), &read, &error)) << error;
    EXPECT_EQ(read, block);
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(payload::DecodeStringBlock(bytes.data(), cut, &read, &error)) << cut;
    EXPECT_EQ(payload::StringBlockId(43), 3);
    EXPECT_EQ(payload::StringBlockId(47), 3);
    EXPECT_EQ(payload::StringBlockId(48), 4);
}

TEST(ResourceEncoding, VersionNumbersAreOneToFourDottedNumbersOf16Bits) {
    std::array<uint16_t, 4> n{};
    ASSERT_TRUE(payload::ParseVersionNumbers("2.4.1.318", &n));
    EXPECT_EQ(n, (std::array<uint16_t, 4>{2, 4, 1, 318}));
    ASSERT_TRUE(payload::ParseVersionNumbers("7", &n));
    EXPECT_EQ(n, (std::array<uint16_t, 4>{7, 0, 0, 0}));
    ASSERT_TRUE(payload::ParseVersionNumbers("65535.0", &n));
    for (const char *bad : {"", ".", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.a", "1,2", " 1",
                            "-1", "1.2.3.000000001"})
        EXPECT_FALSE(payload::ParseVersionNumbers(bad, &n)) << bad;
}

} // namespace
