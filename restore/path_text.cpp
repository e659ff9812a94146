#include "restore/path_text.h"

#include "support/win.h"

namespace pathtext
{
namespace
{

const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& s, const wchar_t* pPrefix)
{
    return s.compare(0, wcslen(pPrefix), pPrefix) == 0;
}

bool IsDriveAt(const std::wstring& s, size_t i)
{
    return s.size() > i + 1 && s[i + 1] == L':' && ((s[i] >= L'A' && s[i] <= L'Z') || (s[i] >= L'a' && s[i] <= L'z'));
}

// Past "server\share" and the backslash after it, from the position of the server name.
size_t UncRootEnd(const std::wstring& s, size_t iServer)
{
    size_t iShare = s.find(L'\\', iServer);
    if (iShare == std::wstring::npos)
        return s.size();
    size_t iEnd = s.find(L'\\', iShare + 1);
    return iEnd == std::wstring::npos ? s.size() : iEnd + 1;
}

size_t DriveRootEnd(const std::wstring& s, size_t iDrive)
{
    return s.size() > iDrive + 2 && s[iDrive + 2] == L'\\' ? iDrive + 3 : iDrive + 2;
}

wchar_t Fold(wchar_t c)
{
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(c))));
}

} // namespace

std::wstring ToLongPath(const std::wstring& sPath)
{
    std::wstring s = sPath;
    if (StartsWith(s, L"\\\\?\\") || StartsWith(s, L"\\\\.\\"))
        return s;
    for (wchar_t& c : s)
        if (c == L'/')
            c = L'\\';
    if (StartsWith(s, L"\\\\"))
        return kLongUncPrefix + s.substr(2);
    if (IsDriveAt(s, 0) && s.size() > 2 && s[2] == L'\\')
        return kLongPrefix + s;
    return sPath;
}

std::wstring FromLongPath(const std::wstring& sPath)
{
    if (StartsWith(sPath, kLongUncPrefix))
        return L"\\\\" + sPath.substr(wcslen(kLongUncPrefix));
    if (StartsWith(sPath, kLongPrefix))
        return sPath.substr(wcslen(kLongPrefix));
    return sPath;
}

size_t RootLength(const std::wstring& s)
{
    if (StartsWith(s, kLongUncPrefix))
        return UncRootEnd(s, wcslen(kLongUncPrefix));
    if (StartsWith(s, L"\\\\?\\") || StartsWith(s, L"\\\\.\\"))
        return IsDriveAt(s, 4) ? DriveRootEnd(s, 4) : 4;
    if (StartsWith(s, L"\\\\"))
        return UncRootEnd(s, 2);
    if (IsDriveAt(s, 0))
        return DriveRootEnd(s, 0);
    return 0;
}

bool IsRoot(const std::wstring& sPath)
{
    size_t n = RootLength(sPath);
    return n > 0 && sPath.find_first_not_of(L'\\', n) == std::wstring::npos;
}

bool ParentFolder(const std::wstring& sPath, std::wstring& sParent)
{
    size_t nRoot = RootLength(sPath);
    size_t iLast = sPath.find_last_not_of(L'\\');
    if (iLast == std::wstring::npos || iLast < nRoot)
        return false; // a root, or nothing but backslashes
    size_t iSep = sPath.rfind(L'\\', iLast);
    if (iSep == std::wstring::npos || iSep + 1 <= nRoot) {
        if (nRoot == 0)
            return false; // a relative name without a folder
        sParent = sPath.substr(0, nRoot);
        return true;
    }
    size_t iEnd = sPath.find_last_not_of(L'\\', iSep);
    sParent = (iEnd == std::wstring::npos || iEnd + 1 < nRoot) ? sPath.substr(0, nRoot) : sPath.substr(0, iEnd + 1);
    return true;
}

std::wstring Join(const std::wstring& sBase, const std::wstring& sName)
{
    if (sBase.empty() || sBase.back() == L'\\')
        return sBase + sName;
    return sBase + L"\\" + sName;
}

bool MatchesPattern(const std::wstring& sName, const std::wstring& sPattern)
{
    if (sPattern == L"*" || sPattern == L"*.*")
        return true;
    size_t n = 0, p = 0;
    size_t nStar = std::wstring::npos, nResume = 0;
    while (n < sName.size()) {
        if (p < sPattern.size() && (sPattern[p] == L'?' || Fold(sPattern[p]) == Fold(sName[n]))) {
            ++n;
            ++p;
        } else if (p < sPattern.size() && sPattern[p] == L'*') {
            nStar = p++;
            nResume = n;
        } else if (nStar != std::wstring::npos) {
            p = nStar + 1;
            n = ++nResume;
        } else {
            return false;
        }
    }
    while (p < sPattern.size() && sPattern[p] == L'*')
        ++p;
    return p == sPattern.size();
}

} // namespace pathtext
