#include "restore/win32_path.h"

#include "restore/path_text.h"
#include "support/win.h"

#include <vector>

namespace pathtext
{

std::wstring Win32Path(const std::wstring& sPath)
{
    if (sPath.empty() || sPath.compare(0, 4, L"\\\\?\\") == 0)
        return sPath;
    std::vector<wchar_t> buf(sPath.size() + MAX_PATH);
    for (;;) {
        DWORD n = GetFullPathNameW(sPath.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0)
            return ToLongPath(sPath);
        if (n < buf.size())
            return ToLongPath(std::wstring(buf.data(), n));
        buf.resize(n + 1);
    }
}

} // namespace pathtext
