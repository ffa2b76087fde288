#include "tools/installer_image.h"

#include <cstring>

#include "archive/install_list.h"
#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "builder/pe_resource_writer.h"
#include "builder/resource_encoding.h"
#include "product/names.h"
#include "resources/resource_ids.h"

namespace vnxpack {

namespace {

constexpr uint16_t kEnglish = 0x409; // LANGUAGE 0x09, 0x01 of the resource scripts
constexpr const char *kProgramKindType = "VNXPROGRAM";
constexpr uint16_t kVersionInfoId = 1; // VS_VERSION_INFO
constexpr uint16_t kIdentityIds[] = {IDS_PRODUCT_VERSION, IDS_PRODUCT_BUILD, IDS_BUILD_DATE};

bool Fail(std::string *error, const std::string &why) {
    *error = why;
    return false;
}

bool IsPrintableAscii(const std::string &text) {
    for (char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

const payload::PeResourceEntry *FindEntry(const Stub &stub, uint16_t type, uint16_t id) {
    for (const payload::PeResourceEntry &entry : stub.resources)
        if (entry.type.text.empty() && entry.type.id == type && entry.name.text.empty() &&
            entry.name.id == id)
            return &entry;
    return nullptr;
}

bool HasNamed(const Stub &stub, const char *type, uint16_t id) {
    const std::u16string name = payload::WidenAscii(type);
    for (const payload::PeResourceEntry &entry : stub.resources)
        if (entry.type.text == name && entry.name.text.empty() && entry.name.id == id)
            return true;
    return false;
}

// The block of the string table that holds the identity; all three strings share it.
uint16_t IdentityBlockId() {
    static_assert(IDS_PRODUCT_VERSION / 16 == IDS_BUILD_DATE / 16,
                  "the product identity's strings lie in one block of the string table");
    return payload::StringBlockId(IDS_PRODUCT_VERSION);
}

// What the stub carries that only a finished program may carry; empty when nothing.
std::string FinishedPart(const Stub &stub) {
    if (HasNamed(stub, payload::kResourceType, payload::kResourceId) ||
        HasNamed(stub, payload::kResourceType, payload::kChecksumResourceId))
        return "a payload";
    if (HasNamed(stub, payload::kInstallListResourceType, payload::kInstallListResourceId) ||
        HasNamed(stub, payload::kInstallListResourceType, payload::kListChecksumResourceId))
        return "an installation list";
    for (const payload::PeResourceEntry &entry : stub.resources)
        if (entry.type.text.empty() && entry.type.id == payload::kVersionType)
            return "a version resource";
    return {};
}

bool ReadIdentityBlock(const Stub &stub, payload::StringBlock *block, std::string *error) {
    const payload::PeResourceEntry *entry =
        FindEntry(stub, payload::kStringTableType, IdentityBlockId());
    if (entry == nullptr)
        return Fail(error, "it has no string-table block for the product identity");
    return payload::DecodeStringBlock(stub.bytes.data() + entry->offset, entry->length, block,
                                      error);
}

bool CheckProgramKind(Program program, const Stub &stub, std::string *error) {
    size_t offset = 0;
    uint32_t length = 0;
    std::string why;
    if (!payload::FindPeResource(stub.bytes.data(), stub.bytes.size(), kProgramKindType,
                                 IDR_PROGRAM_KIND, &offset, &length, &why))
        return Fail(error, "it is not one of this project's programs (" + why + ")");
    const std::string kind(reinterpret_cast<const char *>(stub.bytes.data() + offset), length);
    if (kind != ProgramName(program))
        return Fail(error, "it is the project's " + kind + ".exe, not its " + ProgramName(program) +
                               ".exe");
    return true;
}

payload::VersionInfo UninstallerVersion(const ProductIdentity &identity) {
    payload::VersionInfo info;
    payload::ParseVersionNumbers(identity.build, &info.fileVersion);
    info.strings = {{"CompanyName", "Varnok"},
                    {"FileDescription", "Varnex Spreadsheet Add-In uninstaller"},
                    {"FileVersion", identity.build},
                    {"InternalName", "Uninstall"},
                    {"OriginalFilename", product::kUninstallerName},
                    {"ProductName", "Varnex Spreadsheet Add-In"},
                    {"ProductVersion", identity.version}};
    return info;
}

payload::ResourceItem Item(payload::ResourceName type, uint16_t id, uint16_t language,
                           const std::vector<uint8_t> &data) {
    payload::ResourceItem item;
    item.type = std::move(type);
    item.name.id = id;
    item.language = language;
    item.data = data.data();
    item.size = data.size();
    return item;
}

} // namespace

const char *ProgramName(Program program) {
    return program == Program::Setup ? "Setup" : "Uninstall";
}

bool CheckIdentity(const ProductIdentity &identity, std::string *error) {
    std::array<uint16_t, 4> numbers;
    if (!payload::ParseVersionNumbers(identity.version, &numbers) ||
        identity.version.size() > payload::kPreambleSize - 1)
        return Fail(error, "the product version \"" + identity.version +
                               "\" is not one to four dotted numbers of at most 29 characters");
    if (!payload::ParseVersionNumbers(identity.build, &numbers))
        return Fail(error, "the product build \"" + identity.build +
                               "\" is not one to four dotted numbers of at most 65535 each");
    if (identity.date.empty() || identity.date.size() > 40 || !IsPrintableAscii(identity.date))
        return Fail(error, "the build date \"" + identity.date +
                               "\" is not 1 to 40 printable ASCII characters");
    return true;
}

bool OpenStub(Program program, std::vector<uint8_t> bytes, Stub *stub, std::string *error) {
    stub->program = program;
    stub->bytes = std::move(bytes);
    payload::PeLayout layout;
    std::string why;
    if (!payload::ReadPeLayout(stub->bytes.data(), stub->bytes.size(), &layout, &why))
        return Fail(error, "it is not a whole executable: " + why);
    if (layout.isSigned)
        return Fail(error, "it is signed: a stub is finished first and signed then");
    if (layout.symbolCount > 0)
        return Fail(error, "it carries symbols: stubs ship stripped");
    stub->machine = layout.machine;
    if (!payload::ReadPeResources(stub->bytes.data(), stub->bytes.size(), &stub->resources, &why))
        return Fail(error, "its resources are damaged: " + why);
    if (!CheckProgramKind(program, *stub, error))
        return false;
    const std::string finished = FinishedPart(*stub);
    if (!finished.empty())
        return Fail(error, "it carries " + finished + " already: it is a finished program");
    payload::StringBlock block;
    if (!ReadIdentityBlock(*stub, &block, error))
        return false;
    for (uint16_t id : kIdentityIds)
        if (!block[id % 16].empty())
            return Fail(error, "its string table carries a product identity already");
    return true;
}

bool FinishProgram(const Stub &stub, const ProductIdentity &identity,
                   const std::vector<AddedResource> &added, std::vector<uint8_t> *image,
                   std::string *error) {
    payload::StringBlock block;
    if (!ReadIdentityBlock(stub, &block, error))
        return false;
    block[IDS_PRODUCT_VERSION % 16] = payload::WidenAscii(identity.version);
    block[IDS_PRODUCT_BUILD % 16] = payload::WidenAscii(identity.build);
    block[IDS_BUILD_DATE % 16] = payload::WidenAscii(identity.date);
    const std::vector<uint8_t> strings = payload::EncodeStringBlock(block);

    std::vector<payload::ResourceItem> items;
    for (const payload::PeResourceEntry &entry : stub.resources) {
        payload::ResourceItem item{entry.type,
                                   entry.name,
                                   entry.language,
                                   entry.codePage,
                                   stub.bytes.data() + entry.offset,
                                   entry.length};
        if (entry.type.text.empty() && entry.type.id == payload::kStringTableType &&
            entry.name.text.empty() && entry.name.id == IdentityBlockId()) {
            item.data = strings.data();
            item.size = strings.size();
        }
        items.push_back(item);
    }
    std::vector<uint8_t> version;
    if (stub.program == Program::Uninstall) {
        version = payload::EncodeVersionResource(UninstallerVersion(identity));
        items.push_back(Item(payload::ResourceName{payload::kVersionType, {}}, kVersionInfoId,
                             kEnglish, version));
    }
    for (const AddedResource &resource : added)
        items.push_back(Item(payload::ResourceName{0, payload::WidenAscii(resource.type)},
                             resource.id, kEnglish, resource.data));
    return payload::AppendResourceSection(stub.bytes, items, image, error);
}

} // namespace vnxpack
