#include "client/init.h"
#include "hostapi/message_ids.h"

#include <cwchar>
#include <cwctype>

namespace initseq
{

std::wstring FormatPointInTime(const SYSTEMTIME& st)
{
    static const wchar_t* const kMonths[12] = {L"January",   L"February", L"March",    L"April",
                                               L"May",       L"June",     L"July",     L"August",
                                               L"September", L"October",  L"November", L"December"};
    if (st.wDay == 0 || st.wMonth < 1 || st.wMonth > 12)
        return {};
    // The tools' buffer holds 26 characters: the longest month with four-digit years fills it,
    // wider numbers are cut.
    wchar_t wsz[64] = {};
    swprintf(wsz, 64, L"%ls %2.2u,%4.4u %2.2u:%2.2u:%2.2u", kMonths[st.wMonth - 1], unsigned{st.wDay},
             unsigned{st.wYear}, unsigned{st.wHour}, unsigned{st.wMinute}, unsigned{st.wSecond});
    return std::wstring(wsz).substr(0, 26);
}

ClientVersion SplitClientVersion(const std::wstring& sVersion)
{
    ClientVersion v;
    unsigned short* parts[3] = {&v.usMajor, &v.usMinor, &v.usSP};
    size_t iPart = 0;
    for (wchar_t wc : sVersion) {
        if (iPart >= 3)
            break;
        if (wc == L'.')
            ++iPart;
        else if (wc >= L'0' && wc <= L'9')
            *parts[iPart] = static_cast<unsigned short>(*parts[iPart] * 10 + (wc - L'0'));
    }
    return v;
}

std::wstring RecoverCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                                const std::wstring& sClient)
{
    return sRecoverPath + L" -s \"" + sServer + L"\" -c \"" + sClient + L"\"";
}

RecoverLine ClassifyRecoverLine(const std::wstring& sLine)
{
    static const std::pair<const wchar_t*, RecoverLine> kTexts[] = {
        {L"Remote system error - No route to host", RecoverLine::NoRoute},
        {L"No files have been backed up for this client", RecoverLine::NoBackups},
        {L"urrent working directory is", RecoverLine::SessionOpen},
        {L"One or more recover threads failed to exit successfully", RecoverLine::ThreadsFailed},
        {L"A connection attempt failed because the connected party did not properly respond", RecoverLine::TimedOut},
        {L"RPC cannot make a procedure call", RecoverLine::RpcCannotCall},
        {L"is not properly configured on the NetWorker Server", RecoverLine::NotConfigured},
        {L"An existing connection was forcibly closed", RecoverLine::ForciblyClosed},
        {L"recover> ", RecoverLine::Prompt},
    };
    for (const auto& [pText, kind] : kTexts) {
        if (sLine.find(pText) != std::wstring::npos)
            return kind;
    }
    return RecoverLine::Other;
}

unsigned NotConfiguredMessage(const std::wstring& sLine, const std::wstring& sClientName)
{
    return !sClientName.empty() && sLine.find(sClientName) != std::wstring::npos ? MSG_CLIENT_NAME_NOT_REGISTERED
                                                                                 : MSG_CLIENT_ADDRESS_NOT_REGISTERED;
}

bool SameHostName(const std::wstring& sA, const std::wstring& sB)
{
    if (sA.size() != sB.size())
        return false;
    for (size_t i = 0; i < sA.size(); ++i) {
        if (std::towupper(sA[i]) != std::towupper(sB[i]))
            return false;
    }
    return true;
}

std::wstring FindCdDrive()
{
    // An empty drive must not bring up a "no disk" box.
    DWORD dwOldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &dwOldMode);
    std::wstring sFound;
    DWORD dwDrives = GetLogicalDrives();
    for (int i = 0; i < 26 && sFound.empty(); ++i) {
        if ((dwDrives & (1u << i)) == 0)
            continue;
        const std::wstring sRoot = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
        if (GetDriveTypeW(sRoot.c_str()) == DRIVE_CDROM && GetFileAttributesW(sRoot.c_str()) != INVALID_FILE_ATTRIBUTES)
            sFound = sRoot;
    }
    SetThreadErrorMode(dwOldMode, nullptr);
    return sFound;
}

} // namespace initseq
