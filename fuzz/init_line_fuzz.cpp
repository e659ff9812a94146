// Init's reading of tool output and of the texts it builds from what it found. The first input
// line is the client name, every line after it a line of the connection test's recover output,
// also taken as a search path and a version text.
// - A recover line is classified by the first of Init's texts (in their order) that it holds,
//   and a line that holds none of them is Other.
// - A not-configured line names the client (104) exactly when it holds the client's name.
// - Host names compare equal ignoring case only; the comparison is symmetric.
// - The search path keeps every entry, upper-cased and in order, and gains the client folder in
//   front only when no entry names one; a second pass changes nothing.
// - A version formatted from a resource's two words splits back to its first three numbers;
//   characters other than digits and points never change a split.
// - The point in time formats to the tools' "Month DD,YYYY hh:mm:ss", at most 26 characters.
#include "client/client_rules.h"
#include "client/init.h"
#include "fuzz_support.h"
#include "hostapi/message_ids.h"

#include <cstring>
#include <cwctype>

namespace
{

using initseq::RecoverLine;

struct Text {
    const wchar_t* pText;
    RecoverLine kind;
};
// Init's texts in the order that decides.
const Text kTexts[] = {
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

bool Holds(const std::wstring& s, const wchar_t* p)
{
    return s.find(p) != std::wstring::npos;
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& wc : s)
        wc = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wc)));
    return s;
}

std::vector<std::wstring> Entries(const std::wstring& s)
{
    std::vector<std::wstring> out;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(L';', start);
        out.push_back(s.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            return out;
        start = end + 1;
    }
}

void CheckRecoverLine(const std::wstring& sLine, const std::wstring& sClient)
{
    const RecoverLine kind = initseq::ClassifyRecoverLine(sLine);
    bool bDecided = false;
    for (const Text& t : kTexts) {
        if (!Holds(sLine, t.pText))
            continue;
        FUZZ_CHECK(kind == t.kind);
        bDecided = true;
        break;
    }
    if (!bDecided)
        FUZZ_CHECK(kind == RecoverLine::Other);

    const unsigned uiMessage = initseq::NotConfiguredMessage(sLine, sClient);
    FUZZ_CHECK(uiMessage == (!sClient.empty() && sLine.find(sClient) != std::wstring::npos
                                 ? MSG_CLIENT_NAME_NOT_REGISTERED
                                 : MSG_CLIENT_ADDRESS_NOT_REGISTERED));
}

void CheckHostNames(const std::wstring& sA, const std::wstring& sB)
{
    const bool bSame = initseq::SameHostName(sA, sB);
    FUZZ_CHECK(bSame == initseq::SameHostName(sB, sA));
    FUZZ_CHECK(bSame == (Upper(sA) == Upper(sB)));
    FUZZ_CHECK(initseq::SameHostName(sA, sA) && initseq::SameHostName(sA, Upper(sA)));
    FUZZ_CHECK(!initseq::SameHostName(sA, sA + L"x") && !initseq::SameHostName(sA + sA + L"x", sA));
}

void CheckSearchPath(const std::wstring& sPath)
{
    const std::wstring sClientDir = Upper(std::wstring(nwclient::kClientFolder) + L"bin");
    const std::wstring sNew = nwclient::ClientSearchPath(sPath, sClientDir);
    FUZZ_CHECK(sNew == Upper(sNew));
    const std::vector<std::wstring> before = Entries(Upper(sPath));
    std::vector<std::wstring> after = Entries(sNew);
    bool bNamesClient = false;
    for (const std::wstring& e : before)
        bNamesClient = bNamesClient || Holds(e, L"\\LEGATO\\");
    if (!bNamesClient) {
        FUZZ_CHECK(!after.empty() && after.front() == sClientDir);
        after.erase(after.begin());
    }
    FUZZ_CHECK(after == before);
    FUZZ_CHECK(nwclient::ClientSearchPath(sNew, sClientDir) == sNew);
}

void CheckVersionWords(DWORD dwMS, DWORD dwLS)
{
    const initseq::ClientVersion v = initseq::SplitClientVersion(nwclient::VersionText(dwMS, dwLS));
    FUZZ_CHECK(v.usMajor == HIWORD(dwMS) && v.usMinor == LOWORD(dwMS) && v.usSP == HIWORD(dwLS));
}

void CheckVersionText(const std::wstring& sText)
{
    std::wstring sKept;
    for (wchar_t wc : sText)
        if (wc == L'.' || (wc >= L'0' && wc <= L'9'))
            sKept += wc;
    const initseq::ClientVersion a = initseq::SplitClientVersion(sText);
    const initseq::ClientVersion b = initseq::SplitClientVersion(sKept);
    FUZZ_CHECK(a.usMajor == b.usMajor && a.usMinor == b.usMinor && a.usSP == b.usSP);
    // Numbers after the third never count.
    const initseq::ClientVersion c = initseq::SplitClientVersion(L"9.2.1.5." + sText);
    FUZZ_CHECK(c.usMajor == 9 && c.usMinor == 2 && c.usSP == 1);
}

void CheckPointInTime(const SYSTEMTIME& st)
{
    static const wchar_t* const kMonths[12] = {L"January",   L"February", L"March",    L"April",
                                               L"May",       L"June",     L"July",     L"August",
                                               L"September", L"October",  L"November", L"December"};
    const std::wstring s = initseq::FormatPointInTime(st);
    const bool bNone = st.wDay == 0 || st.wMonth < 1 || st.wMonth > 12;
    FUZZ_CHECK(s.empty() == bNone);
    if (bNone)
        return;
    FUZZ_CHECK(s.size() <= 26);
    const std::wstring sMonth = kMonths[st.wMonth - 1];
    FUZZ_CHECK(s.rfind(sMonth + L" ", 0) == 0);
    if (st.wDay > 99 || st.wYear > 9999 || st.wHour > 99 || st.wMinute > 99 || st.wSecond > 99)
        return;
    wchar_t wsz[32] = {};
    std::swprintf(wsz, 32, L" %02u,%04u %02u:%02u:%02u", unsigned{st.wDay}, unsigned{st.wYear}, unsigned{st.wHour},
                  unsigned{st.wMinute}, unsigned{st.wSecond});
    FUZZ_CHECK(s == (sMonth + wsz).substr(0, 26));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::vector<std::wstring> lines = fuzzsupport::ToolLines(pData, nSize);
    if (lines.empty())
        return 0;
    const std::wstring& sClient = lines.front();
    for (size_t i = 1; i < lines.size(); ++i) {
        CheckRecoverLine(lines[i], sClient);
        CheckHostNames(sClient, lines[i]);
        CheckSearchPath(lines[i]);
        CheckVersionText(lines[i]);
    }
    DWORD dw[2] = {};
    std::memcpy(dw, pData, std::min(nSize, sizeof(dw)));
    CheckVersionWords(dw[0], dw[1]);
    if (nSize >= 12) {
        SYSTEMTIME st = {};
        std::memcpy(&st, pData + nSize - 12, 12); // year, month, day of week, day, hour, minute
        st.wSecond = pData[0];
        CheckPointInTime(st);
    }
    return 0;
}
