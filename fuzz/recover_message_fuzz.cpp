// The text a tool gives after ":recover:": found exactly after the first marker, and nothing
// reported for a line without one.
#include "fuzz_support.h"
#include "plugin/cvex_impl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::wstring sLine = fuzzsupport::ToolText(std::string(reinterpret_cast<const char*>(pData), nSize));
    const std::wstring sMarker = L":recover:";
    std::wstring sText = L"untouched";
    const bool bFound = CVEXImpl::ParseRecoverMsg(sLine, sText);
    const size_t at = sLine.find(sMarker);
    FUZZ_CHECK(bFound == (at != std::wstring::npos));
    if (bFound) {
        FUZZ_CHECK(sLine.substr(0, at) + sMarker + sText == sLine);
        FUZZ_CHECK(sLine.substr(0, at).find(sMarker) == std::wstring::npos);
    } else {
        FUZZ_CHECK(sText == (sLine.empty() ? L"untouched" : sLine));
    }
    return 0;
}
