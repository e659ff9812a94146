#include "tests/abi/host_texts.h"

namespace abitexts
{

std::wstring Pattern(size_t nChars, unsigned uiSeed)
{
    std::wstring s(nChars, L'\0');
    for (size_t i = 0; i < nChars; ++i)
        s[i] = (i % 97 == 96) ? static_cast<wchar_t>(0x3A9) : static_cast<wchar_t>(L'a' + (i * 7 + uiSeed) % 26);
    return s;
}

std::string LengthName(size_t nChars)
{
    return "text of " + std::to_string(nChars) + " chars";
}

} // namespace abitexts
