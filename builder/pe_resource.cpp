#include "builder/pe_resource.h"

#include <cstdio>
#include <cstring>

namespace payload {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 18;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kMaxDirectories = 16;
constexpr uint16_t kMaxSections = 96; // the loader's limit

struct Reader {
    const uint8_t *data;
    size_t size;

    bool Has(uint64_t at, uint64_t n) const { return at <= size && n <= size - at; }
    uint16_t U16(size_t at) const { return uint16_t(data[at] | data[at + 1] << 8); }
    uint32_t U32(size_t at) const {
        return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
               uint32_t(data[at + 3]) << 24;
    }
};

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawPointer;
};

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool IsPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The PE layout: headers, section table and resource directory, each checked to lie inside the
// bytes before it is read.
struct Image {
    Reader r{nullptr, 0};
    size_t pe = 0;       // the "PE\0\0" signature
    size_t optional = 0; // the optional header
    uint16_t optionalSize = 0;
    uint16_t magic = 0;
    size_t directories = 0; // the data directory table
    uint32_t directoryCount = 0;
    size_t sectionTable = 0;
    uint16_t sectionCount = 0;
    size_t resourceBase = 0; // file offset of the resource directory
    std::string error;

    bool Fail(const char *why) {
        error = why;
        return false;
    }

    Section SectionAt(uint16_t i) const {
        const size_t s = sectionTable + size_t(i) * kSectionHeaderSize;
        return Section{r.U32(s + 12), r.U32(s + 8), r.U32(s + 16), r.U32(s + 20)};
    }

    std::string SectionName(uint16_t i) const {
        const char *name =
            reinterpret_cast<const char *>(r.data + sectionTable + size_t(i) * kSectionHeaderSize);
        return std::string(name, strnlen(name, 8));
    }

    // The data directory `index`: its address and size; zeros when the table has no such entry.
    void Directory(uint32_t index, uint32_t *rva, uint32_t *size) const {
        *rva = *size = 0;
        if (index < directoryCount) {
            *rva = r.U32(directories + index * 8);
            *size = r.U32(directories + index * 8 + 4);
        }
    }

    // File offset of `length` bytes at `rva`, all inside one section's raw data.
    bool RvaToOffset(uint32_t rva, uint32_t length, size_t *offset) const {
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const Section sec = SectionAt(i);
            if (rva < sec.virtualAddress)
                continue;
            const uint64_t inside = uint64_t(rva) - sec.virtualAddress;
            if (inside + length > sec.rawSize)
                continue;
            const uint64_t at = uint64_t(sec.rawPointer) + inside;
            if (!r.Has(at, length))
                return false;
            *offset = size_t(at);
            return true;
        }
        return false;
    }

    // The resource data entry at `target` (from the resource section's start): where its bytes
    // lie in the file, how many there are, and their code page.
    bool DataEntry(uint32_t target, size_t *offset, uint32_t *length, uint32_t *codePage) {
        const uint64_t entry = uint64_t(resourceBase) + target;
        if (!r.Has(entry, 16))
            return Fail("a resource data entry lies outside the file");
        *length = r.U32(size_t(entry) + 4);
        *codePage = r.U32(size_t(entry) + 8);
        if (!RvaToOffset(r.U32(size_t(entry)), *length, offset))
            return Fail("resource bytes lie outside the file");
        return true;
    }

    // The DOS, file and optional headers and the section table.
    bool ReadHeaders() {
        if (!r.Has(0, 64) || r.data[0] != 'M' || r.data[1] != 'Z')
            return Fail("not an executable: no \"MZ\" header");
        pe = r.U32(0x3C);
        if (!r.Has(pe, 24) || std::memcmp(r.data + pe, "PE\0\0", 4) != 0)
            return Fail("no PE header");
        sectionCount = r.U16(pe + 6);
        optionalSize = r.U16(pe + 20);
        optional = pe + 24;
        if (!r.Has(optional, optionalSize) || optionalSize < 2)
            return Fail("PE optional header cut short");
        magic = r.U16(optional);
        size_t countAt;
        if (magic == 0x10B) {
            countAt = 92;
            directories = optional + 96;
        } else if (magic == 0x20B) {
            countAt = 108;
            directories = optional + 112;
        } else {
            return Fail("unknown PE optional header kind");
        }
        if (optionalSize < countAt + 4)
            return Fail("PE optional header cut short");
        directoryCount = r.U32(optional + countAt);
        // The table may hold fewer entries than it claims, never more than the header holds.
        const uint64_t room = (optional + optionalSize - directories) / 8;
        if (directoryCount > room)
            directoryCount = uint32_t(room);
        sectionTable = optional + optionalSize;
        if (!r.Has(sectionTable, uint64_t(sectionCount) * kSectionHeaderSize))
            return Fail("PE section table cut short");
        return true;
    }

    bool Open() {
        if (!ReadHeaders())
            return false;
        uint32_t rva, size;
        Directory(2, &rva, &size);
        if (directoryCount < 3)
            return Fail("the executable has no resource directory");
        if (rva == 0 || !RvaToOffset(rva, 16, &resourceBase))
            return Fail("the executable has no resources");
        return true;
    }

    bool NameMatches(uint32_t nameOffset, const char *name) const {
        const uint64_t at = uint64_t(resourceBase) + nameOffset;
        if (!r.Has(at, 2))
            return false;
        const size_t length = r.U16(size_t(at));
        if (length != std::strlen(name) || !r.Has(at + 2, uint64_t(length) * 2))
            return false;
        for (size_t i = 0; i < length; ++i) {
            uint16_t c = r.U16(size_t(at) + 2 + i * 2);
            if (c >= 'a' && c <= 'z')
                c = uint16_t(c - 32);
            char n = name[i];
            if (n >= 'a' && n <= 'z')
                n = char(n - 32);
            if (c != uint16_t(static_cast<unsigned char>(n)))
                return false;
        }
        return true;
    }

    // The name of a named entry (its field without the high bit); false when outside the file.
    bool NameAt(uint32_t nameOffset, std::u16string *text) const {
        const uint64_t at = uint64_t(resourceBase) + nameOffset;
        if (!r.Has(at, 2))
            return false;
        const size_t length = r.U16(size_t(at));
        if (length == 0 || !r.Has(at + 2, uint64_t(length) * 2))
            return false;
        text->clear();
        for (size_t i = 0; i < length; ++i)
            text->push_back(char16_t(r.U16(size_t(at) + 2 + i * 2)));
        return true;
    }

    // Finds in the directory at `dirOffset` (from the resource base) the entry that matches the
    // name, the id, or (neither given) the first entry. Returns its OffsetToData value.
    bool FindEntry(uint32_t dirOffset, const char *name, int id, uint32_t *target) {
        const uint64_t dir = uint64_t(resourceBase) + dirOffset;
        if (!r.Has(dir, 16))
            return Fail("resource directory lies outside the file");
        const uint32_t named = r.U16(size_t(dir) + 12);
        const uint32_t ids = r.U16(size_t(dir) + 14);
        if (!r.Has(dir + 16, uint64_t(named + ids) * 8))
            return Fail("resource directory entries lie outside the file");
        for (uint32_t i = 0; i < named + ids; ++i) {
            const size_t e = size_t(dir) + 16 + size_t(i) * 8;
            const uint32_t nameField = r.U32(e);
            const bool isNamed = (nameField & kHighBit) != 0;
            bool match = name == nullptr && id < 0;
            if (name != nullptr && isNamed)
                match = NameMatches(nameField & ~kHighBit, name);
            if (id >= 0 && !isNamed)
                match = nameField == uint32_t(id);
            if (match) {
                *target = r.U32(e + 4);
                return true;
            }
        }
        return Fail("not found");
    }
};

// The checks of CheckPeImage, in the order the loader meets the parts.
class ImageCheck {
public:
    ImageCheck(const Image &image, PeImageReport *report)
        : image_(image), r_(image.r), report_(report) {}

    void Run() {
        const uint16_t machine = r_.U16(image_.pe + 4);
        if (machine != 0x14C && machine != 0x8664)
            Problem("the file header names the machine " + Hex(machine) + ", neither x86 nor x64");
        if ((machine == 0x14C) != (image_.magic == 0x10B))
            Problem("the optional header's kind does not fit the machine");
        report_->sections = image_.sectionCount;
        if (image_.sectionCount == 0 || image_.sectionCount > kMaxSections)
            Problem("the file header counts " + std::to_string(image_.sectionCount) +
                    " sections (1 to 96 can be loaded)");
        if (!OptionalHeader())
            return; // without its alignments nothing further can be judged
        Sections();
        DataDirectories();
        Tail();
        Checksum();
    }

private:
    void Problem(const std::string &line) { report_->problems.push_back(line); }

    bool OptionalHeader() {
        // ReadHeaders saw the optional header reach past its directory count: the fields before
        // it are there.
        const size_t o = image_.optional;
        sectionAlignment_ = r_.U32(o + 32);
        fileAlignment_ = r_.U32(o + 36);
        sizeOfImage_ = r_.U32(o + 56);
        sizeOfHeaders_ = r_.U32(o + 60);
        bool usable = true;
        if (!IsPowerOfTwo(fileAlignment_) || fileAlignment_ < 512 || fileAlignment_ > 65536) {
            Problem("the file alignment " + Hex(fileAlignment_) +
                    " is not a power of two from 512 to 64 KiB");
            usable = false;
        }
        if (!IsPowerOfTwo(sectionAlignment_) || sectionAlignment_ < fileAlignment_) {
            Problem("the section alignment " + Hex(sectionAlignment_) +
                    " is not a power of two at least the file alignment");
            usable = false;
        }
        if (r_.U32(o + 92 + (image_.magic == 0x20B ? 16 : 0)) > kMaxDirectories)
            Problem("the optional header counts more than 16 data directories");
        const uint64_t tableEnd =
            image_.sectionTable + uint64_t(image_.sectionCount) * kSectionHeaderSize;
        if (sizeOfHeaders_ < tableEnd || sizeOfHeaders_ > r_.size ||
            (usable && sizeOfHeaders_ % fileAlignment_ != 0)) {
            Problem("the headers' size " + Hex(sizeOfHeaders_) +
                    " does not hold the section table (ends at " + Hex(tableEnd) +
                    ") aligned, inside the file");
            usable = false;
        }
        return usable;
    }

    void Sections() {
        uint64_t rawEnd = sizeOfHeaders_, virtualEnd = sizeOfHeaders_;
        sectionsEnd_ = sizeOfHeaders_;
        for (uint16_t i = 0; i < image_.sectionCount; ++i) {
            const Section s = image_.SectionAt(i);
            const std::string name =
                "section " + std::to_string(i + 1) + " (" + image_.SectionName(i) + ")";
            if (s.rawSize > 0) {
                const uint64_t end = uint64_t(s.rawPointer) + s.rawSize;
                if (s.rawPointer % fileAlignment_ != 0 || s.rawSize % fileAlignment_ != 0)
                    Problem(name + ": its data at " + Hex(s.rawPointer) + " (" + Hex(s.rawSize) +
                            " bytes) is not aligned to the file alignment");
                if (end > r_.size)
                    Problem(name + ": its data, bytes " + Hex(s.rawPointer) + " to " + Hex(end) +
                            ", lies past the end of the file at " + Hex(r_.size));
                else if (s.rawPointer < rawEnd)
                    Problem(name + ": its data at " + Hex(s.rawPointer) +
                            " overlaps the headers or the section before it");
                if (end > rawEnd)
                    rawEnd = end;
            }
            const uint64_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
            if (s.virtualAddress % sectionAlignment_ != 0 || s.virtualAddress < virtualEnd)
                Problem(name + ": its address " + Hex(s.virtualAddress) +
                        " is not aligned or overlaps the section before it");
            virtualEnd = AlignUp(uint64_t(s.virtualAddress) + extent, sectionAlignment_);
        }
        sectionsEnd_ = rawEnd;
        if (sizeOfImage_ != virtualEnd)
            Problem("the image size " + Hex(sizeOfImage_) +
                    " is not where its last section ends (" + Hex(virtualEnd) + ")");
    }

    void DataDirectories() {
        for (uint32_t i = 0; i < image_.directoryCount; ++i) {
            uint32_t rva, size;
            image_.Directory(i, &rva, &size);
            if (i == kSecurityDirectory || (rva == 0 && size == 0))
                continue; // the certificate table is placed by file offset, after the image
            if (uint64_t(rva) + size > sizeOfImage_)
                Problem("data directory " + std::to_string(i) + " (" + Hex(rva) + ", " + Hex(size) +
                        " bytes) lies outside the image");
        }
    }

    // After the sections: the COFF symbols with their string table, when the linker kept them,
    // then at most the signature's padding and the certificate table.
    void Tail() {
        uint64_t end = sectionsEnd_;
        const uint32_t symbols = r_.U32(image_.pe + 12);
        const uint32_t symbolCount = r_.U32(image_.pe + 16);
        if (symbols != 0) {
            report_->hasSymbols = true;
            const uint64_t strings = uint64_t(symbols) + uint64_t(symbolCount) * kSymbolSize;
            if (symbols != sectionsEnd_) {
                Problem("the symbol table at " + Hex(symbols) +
                        " does not follow the sections, which end at " + Hex(sectionsEnd_));
            } else if (!r_.Has(strings, 4) || r_.U32(size_t(strings)) < 4 ||
                       !r_.Has(strings, r_.U32(size_t(strings)))) {
                Problem("the symbol table at " + Hex(symbols) +
                        " runs past the end of the file at " + Hex(r_.size));
            } else {
                end = strings + r_.U32(size_t(strings));
            }
        }
        report_->sectionsEnd = sectionsEnd_;
        report_->imageEnd = end;
        uint32_t offset = 0, size = 0;
        image_.Directory(kSecurityDirectory, &offset, &size);
        if (offset == 0 && size == 0) {
            if (r_.size > end)
                Problem(std::to_string(r_.size - end) +
                        (r_.size - end == 1 ? " byte follows" : " bytes follow") +
                        " the end of the image at " + Hex(end) +
                        ": the file is not what the linker wrote");
            return;
        }
        report_->isSigned = true;
        report_->signatureOffset = offset;
        report_->signatureSize = size;
        if (offset < end || offset - end >= 8 || offset % 8 != 0) {
            Problem("the certificate table at " + Hex(offset) +
                    " does not follow the image, which ends at " + Hex(end));
            return;
        }
        if (uint64_t(offset) + size != r_.size) {
            Problem("the certificate table, bytes " + Hex(offset) + " to " +
                    Hex(uint64_t(offset) + size) + ", does not end the file at " + Hex(r_.size));
            return;
        }
        for (uint64_t at = offset; at < r_.size;) {
            const uint32_t length = r_.Has(at, 8) ? r_.U32(size_t(at)) : 0;
            if (length < 8 || !r_.Has(at, length) || r_.U16(size_t(at) + 4) != 0x0200 ||
                r_.U16(size_t(at) + 6) != 0x0002) {
                Problem("the certificate table at " + Hex(offset) +
                        " holds an entry that is not an Authenticode signature");
                return;
            }
            at += AlignUp(length, 8);
        }
    }

    void Checksum() {
        const size_t at = image_.optional + 64;
        const uint32_t stored = r_.U32(at);
        report_->checksumSet = stored != 0;
        if (stored == 0)
            return;
        const uint32_t computed = PeChecksum(r_.data, r_.size, at);
        if (computed != stored)
            Problem("the header checksum " + Hex(stored) + " does not match the file's " +
                    Hex(computed) + ": bytes were changed");
    }

    const Image &image_;
    const Reader &r_;
    PeImageReport *report_;
    uint32_t sectionAlignment_ = 0, fileAlignment_ = 0, sizeOfImage_ = 0, sizeOfHeaders_ = 0;
    uint64_t sectionsEnd_ = 0;
};

} // namespace

bool LooksLikeExecutable(const uint8_t *data, size_t size) {
    return size >= 2 && data[0] == 'M' && data[1] == 'Z';
}

bool FindPeResource(const uint8_t *data, size_t size, const char *typeName, uint16_t id,
                    size_t *offset, uint32_t *length, std::string *error) {
    Image image;
    image.r = Reader{data, size};
    uint32_t typeDir, idDir, language;
    const std::string wanted =
        std::string("no resource of type \"") + typeName + "\" with id " + std::to_string(id);
    if (!image.Open()) {
        *error = wanted + ": " + image.error;
        return false;
    }
    if (!image.FindEntry(0, typeName, -1, &typeDir) || !(typeDir & kHighBit) ||
        !image.FindEntry(typeDir & ~kHighBit, nullptr, id, &idDir) || !(idDir & kHighBit) ||
        !image.FindEntry(idDir & ~kHighBit, nullptr, -1, &language) || (language & kHighBit)) {
        if (image.error.empty())
            image.error = "resource directory is malformed";
        *error = wanted + ": " + image.error;
        return false;
    }
    uint32_t codePage = 0;
    if (!image.DataEntry(language, offset, length, &codePage)) {
        *error = image.error;
        return false;
    }
    return true;
}

namespace {

// Walks the three levels of the resource tree into `entries`. Each level's directory must lie
// inside the file; a subdirectory where data belongs, or data where a subdirectory belongs, is
// refused, and so the walk ends after three levels whatever the offsets say.
class ResourceWalk {
public:
    ResourceWalk(Image &image, std::vector<PeResourceEntry> *entries)
        : image_(image), entries_(entries) {}

    bool Level(uint32_t dirOffset, int depth, PeResourceEntry *path) {
        const Reader &r = image_.r;
        const uint64_t dir = uint64_t(image_.resourceBase) + dirOffset;
        if (!r.Has(dir, 16))
            return image_.Fail("a resource directory lies outside the file");
        const uint32_t count = uint32_t(r.U16(size_t(dir) + 12)) + r.U16(size_t(dir) + 14);
        if (!r.Has(dir + 16, uint64_t(count) * 8))
            return image_.Fail("resource directory entries lie outside the file");
        for (uint32_t i = 0; i < count; ++i) {
            const size_t e = size_t(dir) + 16 + size_t(i) * 8;
            if (!Entry(r.U32(e), r.U32(e + 4), depth, path))
                return false;
        }
        return true;
    }

private:
    bool Entry(uint32_t nameField, uint32_t target, int depth, PeResourceEntry *path) {
        ResourceName name;
        if (nameField & kHighBit) {
            if (depth == 2 || !image_.NameAt(nameField & ~kHighBit, &name.text))
                return image_.Fail("a resource name lies outside the file or is malformed");
        } else if (nameField > 0xFFFF) {
            return image_.Fail("a resource id is larger than 16 bits");
        } else {
            name.id = uint16_t(nameField);
        }
        const bool isDirectory = (target & kHighBit) != 0;
        if (isDirectory != (depth < 2))
            return image_.Fail("the resource tree does not have three levels");
        if (depth == 0)
            path->type = name;
        else if (depth == 1)
            path->name = name;
        else
            path->language = name.id;
        if (isDirectory)
            return Level(target & ~kHighBit, depth + 1, path);
        return Data(target, path);
    }

    bool Data(uint32_t target, PeResourceEntry *path) {
        if (!image_.DataEntry(target, &path->offset, &path->length, &path->codePage))
            return false;
        // Every entry costs the file 8 bytes at least: a tree cannot list more than that.
        if (entries_->size() >= image_.r.size / 8)
            return image_.Fail("the resource tree lists more entries than the file holds");
        entries_->push_back(*path);
        return true;
    }

    Image &image_;
    std::vector<PeResourceEntry> *entries_;
};

} // namespace

bool ReadPeResources(const uint8_t *data, size_t size, std::vector<PeResourceEntry> *entries,
                     std::string *error) {
    entries->clear();
    Image image;
    image.r = Reader{data, size};
    if (!image.ReadHeaders()) {
        *error = image.error;
        return false;
    }
    uint32_t rva, length;
    image.Directory(2, &rva, &length);
    if (rva == 0 && length == 0)
        return true;
    if (!image.RvaToOffset(rva, 16, &image.resourceBase)) {
        *error = "the resource directory lies outside the file";
        return false;
    }
    PeResourceEntry path;
    if (!ResourceWalk(image, entries).Level(0, 0, &path)) {
        *error = image.error;
        entries->clear();
        return false;
    }
    return true;
}

bool ReadPeLayout(const uint8_t *data, size_t size, PeLayout *layout, std::string *error) {
    PeImageReport report;
    CheckPeImage(data, size, &report);
    if (!report.problems.empty()) {
        *error = report.problems.front();
        return false;
    }
    Image image;
    image.r = Reader{data, size};
    image.ReadHeaders(); // CheckPeImage read them
    const size_t o = image.optional;
    *layout = PeLayout();
    layout->machine = image.r.U16(image.pe + 4);
    layout->sectionCount = image.sectionCount;
    layout->sectionCountField = image.pe + 6;
    layout->sizeOfInitializedDataField = o + 8;
    layout->sizeOfImageField = o + 56;
    layout->checksumField = o + 64;
    layout->resourceDirectoryField = image.directoryCount > 2 ? image.directories + 16 : 0;
    layout->sectionTable = image.sectionTable;
    layout->sectionAlignment = image.r.U32(o + 32);
    layout->fileAlignment = image.r.U32(o + 36);
    layout->sizeOfImage = image.r.U32(o + 56);
    layout->sizeOfHeaders = image.r.U32(o + 60);
    layout->symbolTableField = image.pe + 12;
    layout->symbolCount = image.r.U32(image.pe + 16);
    layout->sectionsEnd = report.sectionsEnd;
    layout->imageEnd = report.imageEnd;
    layout->hasSymbols = report.hasSymbols;
    layout->isSigned = report.isSigned;
    return true;
}

void CheckPeImage(const uint8_t *data, size_t size, PeImageReport *report) {
    *report = PeImageReport();
    Image image;
    image.r = Reader{data, size};
    if (!image.ReadHeaders()) {
        report->problems.push_back(image.error);
        return;
    }
    ImageCheck(image, report).Run();
}

uint32_t PeChecksum(const uint8_t *data, size_t size, size_t checksumOffset) {
    uint64_t sum = 0;
    for (size_t at = 0; at < size; at += 2) {
        if (at >= checksumOffset && at < checksumOffset + 4)
            continue;
        const uint32_t word = data[at] | (at + 1 < size ? data[at + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + size);
}

bool PeChecksumOffset(const uint8_t *data, size_t size, size_t *offset) {
    Image image;
    image.r = Reader{data, size};
    if (!image.ReadHeaders())
        return false;
    *offset = image.optional + 64;
    return true;
}

} // namespace payload
