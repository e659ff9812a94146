// What the fuzz targets share: a check that stops the run with a message, and the fuzz input as
// the tool text the parsers see.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A broken invariant is a finding: say which and stop, so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace fuzzsupport
{

// The bytes as wide text the way tool output reaches the parsers: UTF-8 when it is valid UTF-8,
// otherwise one character per byte.
std::wstring ToolText(const std::string& sBytes);
// The input split at LF (one CR before it dropped), each line as ToolText.
std::vector<std::wstring> ToolLines(const uint8_t* pData, size_t nSize);
// Narrow text of an ASCII-only wide string (what the checks print).
std::string Ascii(const std::wstring& s);

} // namespace fuzzsupport

namespace fuzzsupport
{

// Makes the profile API read the bytes as the file sPath (the fuzz build's model of the API).
void SetProfileText(const std::wstring& sPath, const uint8_t* pData, size_t nSize);

} // namespace fuzzsupport
