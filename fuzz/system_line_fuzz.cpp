// The system-state restore's reading of recover output and the texts it builds from it. The first
// input line is the staging root, every line after it a line of a system-state pass.
// - A line is a writer line exactly when it names the writer; an object path is never read as a
//   missing saveset, an empty one or a lost session, whatever its name holds; otherwise the first
//   of those that the line's texts name decides, and only lines holding one of the ignored texts
//   are ignored.
// - The message of a lost session names a text the line holds, the busy server first.
// - An object's staged copy is the staging folder plus the path after the drive.
// - A folder below the staging root goes to the same path behind the Windows letter, a folder
//   not below it nowhere; a file of the saved configuration goes to its path behind the marker.
// - The summary holds one line per component that restored or counted anything, in order, the
//   credentials, the EFI or system volume and the point in time exactly when given.
// - Of the savesets the report matched, each name's newest that is not after the point in time
//   is chosen (the later line on equal times), once, in the order the names first appear.
#include "fuzz_support.h"
#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"
#include "restore/restore_lines.h"
#include "system/dump_text.h"
#include "system/system_rules.h"

#include <algorithm>
#include <cwctype>
#include <tuple>

namespace
{

using systemrules::SystemLine;

bool Holds(const std::wstring& s, const wchar_t* p)
{
    return s.find(p) != std::wstring::npos;
}

bool Has(const std::wstring& s, RecoverLiteral id)
{
    return Holds(s, RecoverLiteralText(id));
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& wc : s)
        wc = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wc)));
    return s;
}

void CheckClassification(const std::wstring& sLine)
{
    const SystemLine kind = systemrules::ClassifySystemLine(sLine);
    const unsigned uiMessage = systemrules::NoSessionMessage(sLine);
    const bool bBusy = Has(sLine, RL_FAILED_BUSY);
    const bool bTimedOut = Has(sLine, RL_CONNECTION_ATTEMPT_FAILED);
    const bool bNotCalled = Has(sLine, RL_RPC_CANNOT_CALL);
    const bool bNoRoute = Has(sLine, RL_NO_ROUTE_TO_HOST) ||
                          Holds(sLine, L"No connection could be made because the target machine actively refused it");
    FUZZ_CHECK(uiMessage == (bBusy        ? MSG_SERVER_BUSY
                             : bTimedOut  ? MSG_CONNECTION_TIMED_OUT
                             : bNotCalled ? MSG_SERVER_NOT_CONTACTED
                             : bNoRoute   ? MSG_NO_SESSION
                                          : 0u));

    const bool bObject = IsObjectPath(sLine);
    const bool bNoSaveset = Holds(sLine, L"no save set named") || Holds(sLine, L"no save set with ssid");
    const bool bNoObjects = Holds(sLine, L"Requesting 0 file(s)") || Holds(sLine, L"Recovering 0 file(s)");
    const bool bIgnored =
        Holds(sLine, L"ASR: ") || Has(sLine, RL_COMPRESSED_ATTRIBUTE) || Has(sLine, RL_SIMULTANEOUS_RECOVERY);
    SystemLine expected = SystemLine::Restore;
    if (Has(sLine, RL_RECOVERING_WRITER))
        expected = SystemLine::Writer;
    else if (!bObject && bNoSaveset)
        expected = SystemLine::NoSaveset;
    else if (!bObject && bNoObjects)
        expected = SystemLine::NoObjects;
    else if (!bObject && uiMessage != 0)
        expected = SystemLine::NoSession;
    else if (bIgnored)
        expected = SystemLine::Ignored;
    FUZZ_CHECK(kind == expected);
}

void CheckStaging(const std::wstring& sRoot, const std::wstring& sLine)
{
    const std::wstring sStaging = sRoot + L"\\";
    const std::wstring sCopy = systemrules::StagedCopy(sLine, sStaging);
    const size_t at = sLine.find(L":\\");
    FUZZ_CHECK(sCopy.empty() == (at == std::wstring::npos));
    if (IsObjectPath(sLine))
        FUZZ_CHECK(sCopy == sStaging + sLine.substr(3));

    // A folder of a writer's staging subfolder, the root given in another case.
    std::wstring sRest = sLine;
    while (!sRest.empty() && sRest.front() == L'\\')
        sRest.erase(0, 1);
    const std::wstring sFolder = Upper(sRoot) + L"\\RecoverWriter-1\\" + sRest;
    std::wstring sDestination;
    FUZZ_CHECK(systemrules::StagedFolderDestination(sRoot, sFolder, L'W', sDestination));
    std::wstring sExpected = L"W:\\" + sRest;
    if (sExpected.size() > 3 && sExpected.back() == L'\\')
        sExpected.pop_back();
    if (Upper(sRoot) == sRoot || sRoot.find(L'\\') == std::wstring::npos)
        FUZZ_CHECK(sDestination == sExpected);
    sDestination = L"untouched";
    FUZZ_CHECK(!systemrules::StagedFolderDestination(sRoot, sRoot, L'W', sDestination));
    FUZZ_CHECK(!systemrules::StagedFolderDestination(sRoot + L"\\", sRoot + L"\\", L'W', sDestination));
    FUZZ_CHECK(!systemrules::StagedFolderDestination(sRoot + L"x", sRoot + L"\\" + sLine, L'W', sDestination));
    FUZZ_CHECK(sDestination == L"untouched");

    // The saved configuration's files: the line as a path, and the line below the folder.
    for (const wchar_t* pMarker : {L"\\BOOT\\", L"\\SYSTEM\\"}) {
        sDestination.clear();
        const bool bMarked = systemrules::ConfigFileDestination(sLine, pMarker, L'E', sDestination);
        const size_t atMarker = Upper(sLine).find(pMarker);
        FUZZ_CHECK(bMarked == (atMarker != std::wstring::npos));
        if (bMarked)
            FUZZ_CHECK(sDestination == L"E:" + sLine.substr(atMarker + std::wcslen(pMarker) - 1));
        const std::wstring sMarker = pMarker;
        FUZZ_CHECK(systemrules::ConfigFileDestination(L"C:\\QERNCFG" + sMarker + sRest, pMarker, L'E', sDestination));
        FUZZ_CHECK(sDestination == L"E:\\" + sRest);
    }
}

// The whole summary's lines.
std::vector<std::wstring> SplitLines(const std::wstring& s)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = s.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(s.substr(start, end - start));
    FUZZ_CHECK(start == s.size()); // every line ends in "\n"
    return lines;
}

size_t CountStarting(const std::vector<std::wstring>& lines, const std::wstring& sPrefix)
{
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(sPrefix, 0) == 0; }));
}

void CheckDump(const std::vector<std::wstring>& texts, const uint8_t* pData, size_t nSize)
{
    auto text = [&](size_t i) { return texts.empty() ? std::wstring() : texts[i % texts.size()]; };
    const uint8_t flags = nSize ? pData[0] : 0;
    DumpFacts f;
    f.sModuleVersion = text(0);
    f.bValidCredentials = flags & 1;
    f.sServerName = text(1);
    f.sServerVersion = text(2);
    f.bEFI = flags & 2;
    f.sPointInTime = flags & 4 ? text(3) : std::wstring();
    f.sEfiFilespace = text(4);
    f.sSystemFilespace = text(5);
    std::vector<std::wstring> expected;
    for (size_t i = 1; i + 2 < nSize && f.components.size() < 20; i += 3) {
        SystemStateEntry e;
        e.eType = pData[i] % 18;
        e.uiFilesRestored = pData[i + 1] % 4;
        e.uiFilesToRestore = pData[i + 2] % 4;
        f.components.push_back(e);
        if (e.uiFilesRestored || e.uiFilesToRestore)
            expected.push_back(systemrules::DumpLabel(e.eType) + std::to_wstring(e.uiFilesRestored) + L" of " +
                               std::to_wstring(e.uiFilesToRestore));
    }
    if (flags & 8)
        f.failures = {text(6), text(7)};

    const std::vector<std::wstring> lines = SplitLines(DumpText(f));
    FUZZ_CHECK(!lines.empty() && lines.front() == L"CVEX.DLL version " + f.sModuleVersion);
    // The component lines, in order, and no others with a component's label.
    std::vector<std::wstring> components;
    for (const std::wstring& l : lines)
        for (unsigned eType = 0; eType <= 16; ++eType)
            if (l.rfind(systemrules::DumpLabel(eType), 0) == 0 && l.find(L"Failed component") != 0) {
                components.push_back(l);
                break;
            }
    FUZZ_CHECK(components == expected);
    FUZZ_CHECK(CountStarting(lines, L"Failed component                 : ") == f.failures.size());
    FUZZ_CHECK(CountStarting(lines, L"NetWorker Server    : ") == (f.bValidCredentials ? 1u : 0u));
    FUZZ_CHECK(CountStarting(lines, L"EFI drive letter    : ") == (f.bEFI ? 1u : 0u));
    FUZZ_CHECK(CountStarting(lines, L"SYSTEM drive letter : ") == (f.bEFI ? 0u : 1u));
    FUZZ_CHECK(CountStarting(lines, L"Point-in-Time date  : ") == (f.sPointInTime.empty() ? 0u : 1u));
    FUZZ_CHECK(CountStarting(lines, L"Recovery NetWorker server version   : ") == (f.sServerVersion.empty() ? 0u : 1u));
}

std::tuple<int, int, int, int, int, int> TimeKey(const SsidInfo& s)
{
    const struct tm& t = s.tmSaveTime;
    return {t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

void CheckChoice(const uint8_t* pData, size_t nSize)
{
    static const wchar_t* const kNames[] = {L"VSS SYSTEM BOOT:\\", L"VSS SYSTEM FILESET:\\", L"SYSTEM STATE",
                                            L"DISASTER_RECOVERY:\\"};
    std::vector<SsidInfo> lines;
    for (size_t i = 1; i + 3 < nSize && lines.size() < 64; i += 4) {
        SsidInfo s;
        s.sName = kNames[pData[i] % 4];
        s.sSsid = std::to_wstring(lines.size()); // tells equal lines apart
        s.tmSaveTime.tm_year = 120 + pData[i + 1] % 3;
        s.tmSaveTime.tm_mon = pData[i + 2] % 3;
        s.tmSaveTime.tm_mday = 1 + pData[i + 3] % 3;
        s.tmSaveTime.tm_hour = pData[i] / 64;
        lines.push_back(s);
    }
    SsidInfo pitLine;
    pitLine.tmSaveTime = {};
    pitLine.tmSaveTime.tm_year = 120 + (nSize ? pData[0] % 3 : 0);
    pitLine.tmSaveTime.tm_mon = 1;
    pitLine.tmSaveTime.tm_mday = 2;
    const SYSTEMTIME pit = SystemTimeFromTm(pitLine.tmSaveTime);
    const bool bPit = nSize && (pData[0] & 0x80);

    const std::vector<SsidInfo> chosen = systemrules::ChooseSavesets(lines, bPit ? &pit : nullptr);
    std::vector<std::wstring> order;
    for (const SsidInfo& s : lines)
        if ((!bPit || TimeKey(s) <= TimeKey(pitLine)) && std::find(order.begin(), order.end(), s.sName) == order.end())
            order.push_back(s.sName);
    FUZZ_CHECK(chosen.size() == order.size());
    for (size_t i = 0; i < chosen.size(); ++i) {
        FUZZ_CHECK(chosen[i].sName == order[i]);
        // The newest of its name within the point in time, the last such line on equal times.
        const SsidInfo* pBest = nullptr;
        for (const SsidInfo& s : lines)
            if (s.sName == order[i] && (!bPit || TimeKey(s) <= TimeKey(pitLine)) &&
                (!pBest || TimeKey(s) >= TimeKey(*pBest)))
                pBest = &s;
        FUZZ_CHECK(pBest && chosen[i].sSsid == pBest->sSsid);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::vector<std::wstring> lines = fuzzsupport::ToolLines(pData, nSize);
    if (!lines.empty()) {
        // A folder's path holds no NUL.
        std::wstring sRoot = lines.front();
        sRoot.erase(std::remove(sRoot.begin(), sRoot.end(), L'\0'), sRoot.end());
        while (!sRoot.empty() && sRoot.back() == L'\\')
            sRoot.pop_back();
        for (size_t i = 1; i < lines.size(); ++i) {
            CheckClassification(lines[i]);
            if (!sRoot.empty())
                CheckStaging(sRoot, lines[i]);
        }
    }
    CheckDump(lines, pData, nSize);
    CheckChoice(pData, nSize);
    return 0;
}
