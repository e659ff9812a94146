#include "restore/restore_lines.h"

#include "restore/recover_literals.h"

#include <cwctype>

namespace
{

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// The next blank-separated token from position i (moved past it).
std::wstring NextToken(const std::wstring& s, size_t& i)
{
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    size_t iStart = i;
    while (i < s.size() && !IsBlank(s[i]))
        ++i;
    return s.substr(iStart, i - iStart);
}

bool ParseUnsigned64(const std::wstring& s, unsigned long long& ull)
{
    if (s.empty() || s.size() > 20)
        return false;
    unsigned long long v = 0;
    for (wchar_t c : s) {
        if (c < L'0' || c > L'9')
            return false;
        unsigned d = static_cast<unsigned>(c - L'0');
        if (v > (~0ULL - d) / 10)
            return false;
        v = v * 10 + d;
    }
    ull = v;
    return true;
}

bool StartsWithDrivePath(const std::wstring& s)
{
    return s.size() >= 3 && std::iswalpha(s[0]) && s[1] == L':' && s[2] == L'\\';
}

} // namespace

bool ParseListLine(const std::wstring& sLine, ListedObject& object)
{
    size_t i = 0;
    std::wstring sCount = NextToken(sLine, i), sKind = NextToken(sLine, i), sSize = NextToken(sLine, i);
    unsigned long long ullCount = 0, ullSize = 0;
    if (!ParseUnsigned64(sCount, ullCount) || sKind.size() != 1 || !ParseUnsigned64(sSize, ullSize))
        return false;
    ListedObject o;
    o.ullSize = ullSize;
    o.sDate = NextToken(sLine, i);
    o.sTime = NextToken(sLine, i);
    while (i < sLine.size() && IsBlank(sLine[i]))
        ++i;
    o.sPath = sLine.substr(i);
    while (!o.sPath.empty() && (o.sPath.back() == L'\r' || o.sPath.back() == L'\n'))
        o.sPath.pop_back();
    if (o.sDate.empty() || o.sTime.empty() || o.sPath.empty())
        return false;
    object = o;
    return true;
}

bool IsObjectPath(const std::wstring& sText)
{
    return StartsWithDrivePath(sText) && sText.find(L':', 2) == std::wstring::npos;
}

bool IsPerFileError(const std::wstring& sLine)
{
    size_t iColon = sLine.find(L':', 2);
    return StartsWithDrivePath(sLine) && iColon != std::wstring::npos && iColon + 1 < sLine.size() &&
           sLine[iColon + 1] == L' ';
}

CountLine ClassifyCountLine(const std::wstring& sLine, ListedObject& object)
{
    if (LineHas(sLine, RL_BANNER))
        return CountLine::Banner;
    if (LineHas(sLine, RL_PROMPT))
        return CountLine::Prompt;
    ListedObject o;
    if (!ParseListLine(sLine, o) || !IsObjectPath(o.sPath))
        return CountLine::Other;
    bool bDirectory = o.sPath.back() == L'\\';
    if (bDirectory)
        o.ullSize = 0;
    object = o;
    return bDirectory ? CountLine::Directory : CountLine::File;
}

RestoreLine ClassifyRestoreLine(const std::wstring& sLine, const std::wstring& sClientName)
{
    if (IsObjectPath(sLine))
        return RestoreLine::Object;
    if (LineHas(sLine, RL_INCORRECT_PASSWORD))
        return RestoreLine::IncorrectPassword;
    if (LineHas(sLine, RL_SECURED_DATA))
        return RestoreLine::SecuredData;
    if (LineHas(sLine, RL_PASSWORD_FOR_FILE))
        return RestoreLine::PasswordPrompt;
    if (LineHas(sLine, RL_FILE_EXISTS_OVERWRITING))
        return RestoreLine::FileExists;
    if (IsPerFileError(sLine))
        return RestoreLine::PerFileError;
    if (LineHas(sLine, RL_NOT_PROPERLY_CONFIGURED))
        return !sClientName.empty() && sLine.find(sClientName) != std::wstring::npos
                   ? RestoreLine::ClientNotRegistered
                   : RestoreLine::AddressNotRegistered;
    if (LineHas(sLine, RL_DDCL_OPEN_FAILED))
        return RestoreLine::DdclOpenFailed;
    if (LineHas(sLine, RL_STALE_RPC_HANDLE))
        return RestoreLine::StaleRpcHandle;
    if (LineHas(sLine, RL_RECOVER_THREADS_FAILED))
        return RestoreLine::RecoverThreadsFailed;
    // "6202:recover: ... forcibly closed ..." is the lost session, not a message to pass on.
    if (LineHas(sLine, RL_FORCIBLY_CLOSED))
        return RestoreLine::ConnectionClosed;
    if (LineHas(sLine, RL_RECOVER_MESSAGE))
        return RestoreLine::RecoverMessage;
    return RestoreLine::Other;
}
