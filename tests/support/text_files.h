// Whole files and the lines of CRLF texts, for the tests of every platform.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The whole file, or nothing when it cannot be opened. The path goes to the C library as it is
// (on Windows in the ANSI code page, like the installer's own paths); other programs may keep
// the file open for reading and writing meanwhile.
inline std::optional<std::string> ReadFileIfAny(const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    std::string text;
    char buffer[16384];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

// The whole file; empty when it cannot be opened.
inline std::string ReadFileText(const std::string &path) {
    return ReadFileIfAny(path).value_or(std::string());
}

inline std::vector<uint8_t> ReadFileBytes(const std::string &path) {
    const std::string text = ReadFileText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The lines of a text whose lines end in CRLF; a last line without its CRLF counts too.
inline std::vector<std::string> SplitCrLf(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
