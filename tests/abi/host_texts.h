// Texts the host hands to the module and expects back: lengths on both sides of the standard
// library's inline buffer (7 characters) and of its 4096-byte aligned-block rule (2047/2048).
#pragma once
#include <cstddef>
#include <string>

namespace abitexts
{

inline constexpr size_t kLengths[] = {0, 7, 8, 2047, 2048, 5000};

// A text of n characters that differs at every position for another seed; every 97th character
// is outside ASCII, so that a narrowing copy shows.
std::wstring Pattern(size_t nChars, unsigned uiSeed);
std::string LengthName(size_t nChars);

} // namespace abitexts
