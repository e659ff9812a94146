// nwsim-lock.exe: a test helper that makes a destination unusable for a while.
//   nwsim-lock PATH SECONDS [read|none|all]   holds PATH open (created when missing) for SECONDS,
//                                             shared for reading, not at all (default) or fully
//   nwsim-lock --read-only PATH               marks PATH read-only (FILE_ATTRIBUTE_READONLY)
#include "simulator/common/text.h"
#include "support/handle.h"
#include "support/win.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

DWORD ShareMode(const std::wstring& sShare)
{
    if (sShare == L"read")
        return FILE_SHARE_READ;
    if (sShare == L"all")
        return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return 0;
}

int Hold(const std::wstring& sPath, unsigned uSeconds, DWORD dwShare)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ | GENERIC_WRITE, dwShare, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD dwError = GetLastError();
        std::printf("nwsim-lock: cannot open %s: error %lu\n", nwsim::Utf8(sPath).c_str(),
                    static_cast<unsigned long>(dwError));
        return 1;
    }
    std::printf("locked %s\n", nwsim::Utf8(sPath).c_str());
    std::fflush(stdout);
    Sleep(uSeconds * 1000);
    return 0;
}

int MarkReadOnly(const std::wstring& sPath)
{
    DWORD dwAttr = GetFileAttributesW(sPath.c_str());
    if (dwAttr == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(sPath.c_str(), dwAttr | FILE_ATTRIBUTE_READONLY)) {
        DWORD dwError = GetLastError();
        std::printf("nwsim-lock: cannot mark %s read-only: error %lu\n", nwsim::Utf8(sPath).c_str(),
                    static_cast<unsigned long>(dwError));
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"--read-only")
        return MarkReadOnly(argv[2]);
    if (argc < 3 || argc > 4) {
        std::printf("usage: nwsim-lock PATH SECONDS [read|none|all] | nwsim-lock --read-only PATH\n");
        return 2;
    }
    return Hold(argv[1], static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)),
                ShareMode(argc == 4 ? argv[3] : L""));
}
