#include "builder/pe_resource_writer.h"

#include <cstring>
#include <map>

namespace payload {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kMaxSections = 96; // the loader's limit
// Initialized data, readable: what the linker gives .rsrc.
constexpr uint32_t kResourceSectionFlags = 0x40000040u;
// Far below the 4 GiB a section's size and address must fit in.
constexpr uint64_t kMaxTree = 0x7FFFFFFFu;

// Names before numbers, names in code-unit order, numbers ascending: the order in which the
// loader's binary search finds them.
struct NameOrder {
    bool operator()(const ResourceName &a, const ResourceName &b) const {
        if (a.text.empty() != b.text.empty())
            return !a.text.empty();
        return a.text.empty() ? a.id < b.id : a.text < b.text;
    }
};

using LanguageMap = std::map<uint16_t, const ResourceItem *>;
using NameMap = std::map<ResourceName, LanguageMap, NameOrder>;
using TypeMap = std::map<ResourceName, NameMap, NameOrder>;

uint64_t Align(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

uint64_t DirectorySize(size_t entries) {
    return 16 + 8 * uint64_t(entries);
}

void Put16(std::vector<uint8_t> *out, size_t at, uint32_t value) {
    (*out)[at] = uint8_t(value);
    (*out)[at + 1] = uint8_t(value >> 8);
}

void Put32(std::vector<uint8_t> *out, size_t at, uint32_t value) {
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

// Where each part of the tree goes, worked out before anything is written.
class TreeLayout {
public:
    explicit TreeLayout(const TypeMap &types) : types_(types) {}

    bool Plan(std::string *error) {
        uint64_t at = DirectorySize(types_.size());
        for (const auto &type : types_) {
            typeDirs_.push_back(at);
            at += DirectorySize(type.second.size());
        }
        for (const auto &type : types_)
            for (const auto &name : type.second) {
                nameDirs_.push_back(at);
                at += DirectorySize(name.second.size());
                NoteName(type.first);
                NoteName(name.first);
                items_ += name.second.size();
            }
        dataEntries_ = at;
        at += 16 * items_;
        for (auto &name : names_) {
            name.second = at;
            at += 2 + 2 * uint64_t(name.first.size());
        }
        at = Align(at, 8);
        for (const auto &type : types_)
            for (const auto &name : type.second)
                for (const auto &language : name.second) {
                    data_.push_back(at);
                    at = Align(at + language.second->size, 8);
                }
        size_ = at;
        if (size_ > kMaxTree) {
            *error = "the resources come to more than 2 GiB";
            return false;
        }
        return true;
    }

    void Write(uint32_t sectionRva, std::vector<uint8_t> *tree) const {
        tree->assign(size_t(size_), 0);
        size_t typeIndex = 0, nameIndex = 0, itemIndex = 0;
        Directory(tree, 0, types_);
        size_t entry = 16;
        for (const auto &type : types_) {
            Entry(tree, entry, type.first, kHighBit | uint32_t(typeDirs_[typeIndex]));
            Directory(tree, typeDirs_[typeIndex++], type.second);
            entry += 8;
        }
        for (const auto &type : types_)
            for (const auto &name : type.second) {
                const uint64_t dir = nameDirs_[nameIndex++];
                Directory(tree, dir, name.second);
                size_t languageEntry = size_t(dir) + 16;
                for (const auto &language : name.second) {
                    const size_t dataEntry = size_t(dataEntries_ + 16 * itemIndex);
                    Put32(tree, languageEntry, language.first);
                    Put32(tree, languageEntry + 4, uint32_t(dataEntry));
                    Datum(tree, dataEntry, data_[itemIndex++], sectionRva, *language.second);
                    languageEntry += 8;
                }
            }
        for (const auto &name : names_) {
            Put16(tree, size_t(name.second), uint32_t(name.first.size()));
            for (size_t i = 0; i < name.first.size(); ++i)
                Put16(tree, size_t(name.second) + 2 + 2 * i, name.first[i]);
        }
        // The type directories' entries point at the name directories, in the same order.
        nameIndex = 0;
        typeIndex = 0;
        for (const auto &type : types_) {
            size_t nameEntry = size_t(typeDirs_[typeIndex++]) + 16;
            for (const auto &name : type.second) {
                Entry(tree, nameEntry, name.first, kHighBit | uint32_t(nameDirs_[nameIndex++]));
                nameEntry += 8;
            }
        }
    }

private:
    void NoteName(const ResourceName &name) {
        if (!name.text.empty())
            names_.emplace(name.text, 0);
    }

    // A directory header: no flags, no time stamp (the build's bytes depend on nothing else).
    template <typename Map>
    static void Directory(std::vector<uint8_t> *tree, uint64_t at, const Map &entries) {
        uint32_t named = 0;
        for (const auto &entry : entries)
            named += EntryIsNamed(entry.first) ? 1 : 0;
        Put16(tree, size_t(at) + 12, named);
        Put16(tree, size_t(at) + 14, uint32_t(entries.size()) - named);
    }

    static bool EntryIsNamed(const ResourceName &name) { return !name.text.empty(); }
    static bool EntryIsNamed(uint16_t) { return false; }

    void Entry(std::vector<uint8_t> *tree, size_t at, const ResourceName &name,
               uint32_t target) const {
        Put32(tree, at, name.text.empty() ? name.id : kHighBit | uint32_t(names_.at(name.text)));
        Put32(tree, at + 4, target);
    }

    static void Datum(std::vector<uint8_t> *tree, size_t entry, uint64_t at, uint32_t sectionRva,
                      const ResourceItem &item) {
        Put32(tree, entry, sectionRva + uint32_t(at));
        Put32(tree, entry + 4, uint32_t(item.size));
        Put32(tree, entry + 8, item.codePage);
        if (item.size > 0)
            std::memcpy(tree->data() + at, item.data, item.size);
    }

    const TypeMap &types_;
    std::vector<uint64_t> typeDirs_, nameDirs_, data_;
    std::map<std::u16string, uint64_t> names_;
    uint64_t dataEntries_ = 0, items_ = 0, size_ = 0;
};

// The header room after the section table must be free for one more entry.
bool HasRoomForSection(const std::vector<uint8_t> &image, const PeLayout &layout) {
    const size_t end = layout.sectionTable + size_t(layout.sectionCount) * kSectionHeaderSize;
    if (layout.sectionCount >= kMaxSections || end + kSectionHeaderSize > layout.sizeOfHeaders)
        return false;
    for (size_t i = end; i < end + kSectionHeaderSize; ++i)
        if (image[i] != 0)
            return false;
    return true;
}

bool Refuse(std::string *error, const std::string &why) {
    *error = why;
    return false;
}

} // namespace

bool EncodeResourceTree(const std::vector<ResourceItem> &items, uint32_t sectionRva,
                        std::vector<uint8_t> *tree, std::string *error) {
    TypeMap types;
    for (const ResourceItem &item : items) {
        if (item.size > kMaxTree)
            return Refuse(error, "a resource of more than 2 GiB");
        const ResourceItem *&slot = types[item.type][item.name][item.language];
        if (slot != nullptr)
            return Refuse(error, "two resources of the same type, name and language");
        slot = &item;
    }
    TreeLayout layout(types);
    if (!layout.Plan(error))
        return false;
    if (uint64_t(sectionRva) + kMaxTree > 0xFFFFFFFFu)
        return Refuse(error, "the image is too large for another section");
    layout.Write(sectionRva, tree);
    return true;
}

bool AppendResourceSection(const std::vector<uint8_t> &image,
                           const std::vector<ResourceItem> &items, std::vector<uint8_t> *out,
                           std::string *error) {
    PeLayout layout;
    if (!ReadPeLayout(image.data(), image.size(), &layout, error))
        return false;
    if (layout.isSigned)
        return Refuse(error, "the image is signed: a signature covers the image as it is");
    if (layout.resourceDirectoryField == 0)
        return Refuse(error, "the image's data directory has no resource entry");
    if (!HasRoomForSection(image, layout))
        return Refuse(error, "the image's headers have no room for one more section");
    const uint32_t rva = layout.sizeOfImage; // where the last section ends, aligned
    std::vector<uint8_t> tree;
    if (!EncodeResourceTree(items, rva, &tree, error))
        return false;
    // The new section's data goes where the sections end; what follows them (the symbol table
    // and its string table, which holds the names of more than 8 characters, ".gnu_debuglink"
    // among them) moves behind it, unchanged.
    const uint64_t raw = Align(layout.sectionsEnd, layout.fileAlignment);
    const uint64_t rawSize = Align(tree.size(), layout.fileAlignment);
    const uint64_t imageSize = rva + Align(tree.size(), layout.sectionAlignment);
    if (raw + rawSize > kMaxTree || imageSize > 0xFFFFFFFFu)
        return Refuse(error, "the image would grow past 2 GiB");

    const size_t tailBegin = size_t(layout.sectionsEnd), tailEnd = size_t(layout.imageEnd);
    out->assign(image.begin(), image.begin() + tailBegin);
    out->resize(size_t(raw + rawSize), 0);
    std::memcpy(out->data() + raw, tree.data(), tree.size());
    out->insert(out->end(), image.begin() + tailBegin, image.begin() + tailEnd);
    if (layout.hasSymbols)
        Put32(out, layout.symbolTableField, uint32_t(raw + rawSize));
    const size_t header = layout.sectionTable + size_t(layout.sectionCount) * kSectionHeaderSize;
    std::memcpy(out->data() + header, ".rsrc", 5);
    Put32(out, header + 8, uint32_t(tree.size()));
    Put32(out, header + 12, rva);
    Put32(out, header + 16, uint32_t(rawSize));
    Put32(out, header + 20, uint32_t(raw));
    Put32(out, header + 36, kResourceSectionFlags);
    Put16(out, layout.sectionCountField, layout.sectionCount + 1u);
    const size_t initialized = layout.sizeOfInitializedDataField;
    const uint32_t initializedSize =
        uint32_t((*out)[initialized]) | uint32_t((*out)[initialized + 1]) << 8 |
        uint32_t((*out)[initialized + 2]) << 16 | uint32_t((*out)[initialized + 3]) << 24;
    Put32(out, initialized, initializedSize + uint32_t(rawSize));
    Put32(out, layout.sizeOfImageField, uint32_t(imageSize));
    Put32(out, layout.resourceDirectoryField, rva);
    Put32(out, layout.resourceDirectoryField + 4, uint32_t(tree.size()));
    Put32(out, layout.checksumField, PeChecksum(out->data(), out->size(), layout.checksumField));
    // What was written is read back as the loader and a signing tool would read it.
    PeImageReport report;
    CheckPeImage(out->data(), out->size(), &report);
    if (!report.problems.empty())
        return Refuse(error,
                      "the image with its new section is not whole: " + report.problems.front());
    return true;
}

} // namespace payload
