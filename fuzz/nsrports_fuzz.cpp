// The port ranges of nsrports: a line that begins with a prefix (any case) gives the text after
// it without its leading blanks, and a line that does not gives nothing.
#include "client/client_rules.h"
#include "fuzz_support.h"

#include <cwctype>

namespace
{

bool StartsWithIgnoringCase(const std::wstring& sLine, const std::wstring& sPrefix)
{
    if (sLine.size() < sPrefix.size())
        return false;
    for (size_t i = 0; i < sPrefix.size(); ++i)
        if (std::towlower(static_cast<wint_t>(sLine[i])) != std::towlower(static_cast<wint_t>(sPrefix[i])))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    for (const std::wstring& sLine : fuzzsupport::ToolLines(pData, nSize)) {
        for (const wchar_t* pPrefix : {L"Service ports:", L"Connection ports:"}) {
            const std::wstring sPrefix = pPrefix;
            std::wstring sRange = L"untouched";
            const bool bTaken = nwclient::PortRange(sLine, sPrefix, sRange);
            FUZZ_CHECK(bTaken == StartsWithIgnoringCase(sLine, sPrefix));
            if (!bTaken) {
                FUZZ_CHECK(sRange == L"untouched");
                continue;
            }
            FUZZ_CHECK(sRange.empty() || (sRange.front() != L' ' && sRange.front() != L'\t'));
            FUZZ_CHECK(sRange.size() <= sLine.size() - sPrefix.size());
            FUZZ_CHECK(sLine.compare(sLine.size() - sRange.size(), sRange.size(), sRange) == 0);
            const std::wstring sGap = sLine.substr(sPrefix.size(), sLine.size() - sPrefix.size() - sRange.size());
            FUZZ_CHECK(sGap.find_first_not_of(L" \t") == std::wstring::npos);
        }
    }
    return 0;
}
