// Text rules of the registration library that need no Windows API: case-insensitive search,
// prefix test, the system PATH entry match and the composition of a new PATH value.
#pragma once
#include <cstddef>
#include <string>

// Zero-based byte offset of the first occurrence of `pattern` in `text`, ignoring letter case,
// or -1. Either string null or empty, `text` shorter than `pattern`, or no memory for the
// upper-cased copies that are compared, gives -1. Letter case is that of UpperCaseInPlace.
int FindNoCase(const char *text, const char *pattern);

// Upper-cases `length` bytes of ANSI text in place. The Windows build asks the system
// (CharUpperBuffA: the letters of the ANSI code page in use, double-byte characters kept whole);
// the portable build, for the native tools and tests, folds as code page 1252 does
// (cp1252::Cp1252Upper, product/cp1252.h).
void UpperCaseInPlace(char *text, std::size_t length);

// True when `a` and `b` are the same text with letter case ignored, case as UpperCaseInPlace
// folds it. Folder names and command-line switches are compared so.
bool EqualsNoCase(const std::string &a, const std::string &b);

// 1 if `text` begins with `prefix` (case-sensitive, byte by byte), else 0. A null prefix gives 1;
// a prefix longer than the text, or a null text with a non-null prefix, gives 0.
int StartsWith(const char *text, const char *prefix);

// 1 if the PATH value `pathValue` lists `folder` as one of its ";"-separated entries, letter case
// ignored, else 0. An entry may be enclosed in double quotes and may end in one backslash or "/"
// after the folder text. The folder text is searched unchanged (a trailing backslash in `folder`
// is part of what is looked for). Null or empty arguments give 0.
int PathListContains(const char *pathValue, const char *folder);

// Largest system PATH value the library reads or writes, its terminating NUL included.
constexpr std::size_t kSystemPathCapacity = 10000;

// Composes the PATH value that lists `folder` after the entries of `oldValue`: a ";" is added
// unless the old value is empty or already ends in one, then the folder (in double quotes if it
// holds a blank) and a closing ";". Returns 1 and fills `out` when the result, with its NUL, fits
// in `capacity` bytes; else returns 0 and leaves `out` empty (when capacity allows).
int ComposePathWithDir(const char *oldValue, const char *folder, char *out, std::size_t capacity);
