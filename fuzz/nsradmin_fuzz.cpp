// The server version in nsradmin's output: only lines naming "NetWorker" and "Build" give one,
// and it is the line past the product name, cut at its last "/".
#include "client/server_version.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    for (const std::wstring& sLine : fuzzsupport::ToolLines(pData, nSize)) {
        std::wstring sVersion = L"untouched";
        const bool bFound = serverversion::VersionFromLine(sLine, sVersion);
        const bool bNamed =
            sLine.find(L"NetWorker") != std::wstring::npos && sLine.find(L"Build") != std::wstring::npos;
        FUZZ_CHECK(bFound == bNamed);
        if (!bFound) {
            FUZZ_CHECK(sVersion == L"untouched");
            continue;
        }
        const std::wstring sRest = sLine.size() > 10 ? sLine.substr(10) : std::wstring();
        FUZZ_CHECK(sRest.compare(0, sVersion.size(), sVersion) == 0);
        // What was cut starts at the last slash of the rest, or nothing was cut.
        const std::wstring sCut = sRest.substr(sVersion.size());
        FUZZ_CHECK(sCut.empty() ? sRest.find(L'/') == std::wstring::npos
                                : sCut.front() == L'/' && sCut.find(L'/', 1) == std::wstring::npos);
    }
    return 0;
}
