#include "builder/resource_encoding.h"

namespace payload {

namespace {

constexpr uint16_t kTextNode = 1;   // a node whose value is text
constexpr uint16_t kBinaryNode = 0; // a node whose value is bytes

void Put16(std::vector<uint8_t> *out, uint32_t value) {
    out->push_back(uint8_t(value));
    out->push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t> *out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutText(std::vector<uint8_t> *out, const std::string &text) {
    for (char c : text)
        Put16(out, uint8_t(c));
    Put16(out, 0);
}

void PadTo4(std::vector<uint8_t> *out) {
    while (out->size() % 4 != 0)
        out->push_back(0);
}

// Every node of a version resource: its length (itself and its children), the length of its
// value, its kind and its key, padded to 4 bytes; then its value and its children, each padded.
class Node {
public:
    Node(std::vector<uint8_t> *out, const std::string &key, uint16_t valueLength, uint16_t kind)
        : out_(out), start_(out->size()) {
        Put16(out, 0); // the length, set when the node is done
        Put16(out, valueLength);
        Put16(out, kind);
        PutText(out, key);
        PadTo4(out);
    }
    ~Node() {
        const size_t length = out_->size() - start_;
        (*out_)[start_] = uint8_t(length);
        (*out_)[start_ + 1] = uint8_t(length >> 8);
        PadTo4(out_);
    }

private:
    std::vector<uint8_t> *out_;
    size_t start_;
};

void FixedFileInfo(std::vector<uint8_t> *out, const VersionInfo &info) {
    const auto &v = info.fileVersion;
    const uint32_t high = uint32_t(v[0]) << 16 | v[1], low = uint32_t(v[2]) << 16 | v[3];
    Put32(out, 0xFEEF04BDu);                  // the signature
    Put32(out, 0x00010000u);                  // the structure's version, 1.0
    for (int twice = 0; twice < 2; ++twice) { // file version, then product version
        Put32(out, high);
        Put32(out, low);
    }
    Put32(out, 0x3F); // flags mask
    Put32(out, 0);    // flags
    Put32(out, info.fileOs);
    Put32(out, info.fileType);
    Put32(out, 0); // subtype
    Put32(out, 0); // date, high
    Put32(out, 0); // date, low
}

} // namespace

bool DecodeStringBlock(const uint8_t *data, size_t size, StringBlock *block, std::string *error) {
    size_t at = 0;
    for (std::u16string &text : *block) {
        if (size - at < 2) {
            *error = "a string-table block is cut short";
            return false;
        }
        const size_t length = size_t(data[at] | data[at + 1] << 8);
        at += 2;
        if ((size - at) / 2 < length) {
            *error = "a string in a string-table block runs past its end";
            return false;
        }
        text.clear();
        for (size_t i = 0; i < length; ++i, at += 2)
            text.push_back(char16_t(data[at] | data[at + 1] << 8));
    }
    return true;
}

std::vector<uint8_t> EncodeStringBlock(const StringBlock &block) {
    std::vector<uint8_t> out;
    for (const std::u16string &text : block) {
        Put16(&out, uint32_t(text.size()));
        for (char16_t c : text)
            Put16(&out, c);
    }
    return out;
}

std::vector<uint8_t> EncodeVersionResource(const VersionInfo &info) {
    std::vector<uint8_t> out;
    {
        Node root(&out, "VS_VERSION_INFO", 52, kBinaryNode);
        FixedFileInfo(&out, info);
        {
            Node fileInfo(&out, "StringFileInfo", 0, kTextNode);
            Node table(&out, "040904b0", 0, kTextNode);
            for (const auto &item : info.strings) {
                // A text value's length counts its UTF-16 units, the terminating zero included.
                Node value(&out, item.first, uint16_t(item.second.size() + 1), kTextNode);
                PutText(&out, item.second);
            }
        }
        Node varInfo(&out, "VarFileInfo", 0, kTextNode);
        Node translation(&out, "Translation", 4, kBinaryNode);
        Put16(&out, 0x409);
        Put16(&out, 1200);
    }
    return out;
}

bool ParseVersionNumbers(const std::string &text, std::array<uint16_t, 4> *numbers) {
    *numbers = {};
    size_t part = 0, digits = 0;
    uint32_t value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part == 4)
                return false;
            (*numbers)[part++] = uint16_t(value);
            value = 0;
            digits = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 5) {
            value = value * 10 + uint32_t(text[i] - '0');
            ++digits;
            if (value > 0xFFFF)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

std::u16string WidenAscii(const std::string &text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace payload
