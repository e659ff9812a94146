#include "host/verify_drives.h"

#include "host/host_output.h"
#include "support/handle.h"
#include "support/vstring.h"

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <map>
#include <sstream>

namespace refhost
{
namespace
{

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t wc) { return static_cast<wchar_t>(std::towlower(wc)); });
    return s;
}

// Every folder above a path, each ending in "\" ("c:\a\b.txt" gives "c:\" and "c:\a\").
void AddWithAncestors(PathSet& set, const std::wstring& sPath)
{
    set.insert(sPath);
    for (size_t i = sPath.find(L'\\'); i != std::wstring::npos && i + 1 < sPath.size(); i = sPath.find(L'\\', i + 1))
        set.insert(sPath.substr(0, i + 1));
}

std::wstring FromUtf8(const std::string& s)
{
    int iChars = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring sOut(static_cast<size_t>(iChars > 0 ? iChars : 0), L'\0');
    if (iChars > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), sOut.data(), iChars);
    return sOut;
}

bool Below(const std::wstring& sPath, const std::wstring& sFolder)
{
    return sPath.size() > sFolder.size() && sPath.compare(0, sFolder.size(), sFolder) == 0;
}

// The Linux path Wine gives a Windows path; empty when it has none.
std::string UnixPath(const std::wstring& sWindows)
{
    using Fn = char*(CDECL*)(LPCWSTR);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn)
        return {};
    char* p = fn(sWindows.c_str());
    if (!p)
        return {};
    std::string s = p;
    HeapFree(GetProcessHeap(), 0, p);
    if (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string ReadAll(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ScriptArgs(const DriveCheck& check, const VerifyContext& ctx, const std::string& sDrive,
                                    const std::string& sStore)
{
    using velmora::to_utf8;
    std::vector<std::string> args = {ctx.sPython, ctx.sScript, "--store",  sStore,
                                     "--drive",   sDrive,      "--letter", to_utf8(std::wstring(1, check.wcLetter))};
    if (!ctx.sClient.empty())
        args.insert(args.end(), {"--client", to_utf8(ctx.sClient)});
    if (!ctx.sPit.empty())
        args.insert(args.end(), {"--pit", to_utf8(ctx.sPit)});
    for (const std::wstring& s : check.filespaces)
        args.insert(args.end(), {"--filespace", to_utf8(s)});
    for (const std::wstring& s : check.ignores)
        args.insert(args.end(), {"--ignore", to_utf8(s)});
    return args;
}

// A Linux program started by Wine gets neither a process handle nor the pipes it was given, so
// a shell script runs it with its output sent to a file and writes the exit code last.
bool RunLinuxProgram(const std::vector<std::string>& args, std::string& sOutput, int& iExitCode)
{
    wchar_t wszTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, wszTemp);
    static unsigned uiRun = 0;
    std::wstring sBase = std::wstring(wszTemp) + L"refhost-verify-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                         std::to_wstring(++uiRun);
    std::string sUnixBase = UnixPath(sBase);
    if (sUnixBase.empty())
        return false;
    std::string sLine;
    for (const std::string& s : args)
        sLine += ShellQuote(s) + " ";
    std::string sOut = ShellQuote(sUnixBase + ".out"), sRc = ShellQuote(sUnixBase + ".rc");
    std::string sScript = sLine + ">" + sOut + " 2>&1\necho $? >" + sRc + ".tmp && mv " + sRc + ".tmp " + sRc + "\n";
    std::ofstream((sBase + L".sh").c_str(), std::ios::binary) << sScript;
    std::wstring sCmd = L"\"Z:\\bin\\sh\" \"" + FromUtf8(sUnixBase + ".sh") + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        Print(L"Verify: cannot start Z:\\bin\\sh (error " + std::to_wstring(GetLastError()) + L")");
        return false;
    }
    velmora::unique_handle_null hProcess(pi.hProcess), hThread(pi.hThread);
    const ULONGLONG ullDeadline = GetTickCount64() + 15 * 60 * 1000;
    while (GetFileAttributesW((sBase + L".rc").c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < ullDeadline)
        Sleep(200);
    std::string sRcText = ReadAll(sBase + L".rc");
    sOutput = ReadAll(sBase + L".out");
    for (const wchar_t* pExt : {L".sh", L".out", L".rc"})
        DeleteFileW((sBase + pExt).c_str());
    if (sRcText.empty())
        return false;
    iExitCode = std::atoi(sRcText.c_str());
    return true;
}

bool RunVerifier(const std::vector<std::string>& args);

// Runs one check and prints what it said; true when its verdict is PASS.
bool RunCheck(const DriveCheck& check, const VerifyContext& ctx, const std::string& sStore)
{
    std::wstring sDriveRoot = std::wstring(1, check.wcLetter) + L":\\";
    Print(L"Verify: " + sDriveRoot + L" against the backup store" +
          (check.filespaces.empty() ? std::wstring()
                                    : L" (" + std::to_wstring(check.filespaces.size()) + L" filespaces)"));
    if (!check.sNote.empty())
        Print(L"Verify: " + check.sNote);
    std::string sDrive = UnixPath(sDriveRoot);
    if (sDrive.empty()) {
        Print(L"Verify: " + sDriveRoot + L" has no Linux folder behind it");
        return false;
    }
    return RunVerifier(ScriptArgs(check, ctx, sDrive, sStore));
}

// Runs the verifier, prints what it said; true when its verdict is PASS.
bool RunVerifier(const std::vector<std::string>& args)
{
    std::string sOutput;
    int iExitCode = -1;
    if (!RunLinuxProgram(args, sOutput, iExitCode)) {
        Print(L"Verify: verify_restore.py did not run to its end");
        return false;
    }
    bool bVerdict = false, bPass = false;
    std::istringstream in(sOutput);
    for (std::string sLine; std::getline(in, sLine);) {
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.pop_back();
        Print(FromUtf8(sLine));
        bool bThisPass = false;
        if (ParseVerdict(sLine, bThisPass)) {
            bVerdict = true;
            bPass = bThisPass;
        }
    }
    if (!bVerdict)
        Print(L"Verify: no verdict (exit code " + std::to_wstring(iExitCode) + L")");
    return bVerdict && bPass && iExitCode == 0;
}

std::wstring IgnoreNote(const std::vector<std::wstring>& ignores)
{
    std::wstring s = L"C: is also Wine's own system drive: " + std::to_wstring(ignores.size()) +
                     L" paths that were there before the restore and that the restore did not bring back "
                     L"(Wine's files) are left out";
    for (size_t i = 0; i < ignores.size() && i < 4; ++i)
        s += (i ? L", " : L": ") + ignores[i];
    return s + (ignores.size() > 4 ? L", ..." : L"");
}

} // namespace

std::vector<DriveCheck> PlanChecks(const FileSpaceList& listing, const std::vector<FilespaceOutcome>& outcomes,
                                   const PathSet& cBefore, const PathSet& cRestored)
{
    std::vector<DriveCheck> checks;
    for (const FilespaceOutcome& o : outcomes) {
        RestoreResult enResult = Decide(o);
        if (enResult == RestoreResult::Skipped || enResult == RestoreResult::NotInBackup)
            continue;
        wchar_t wc = static_cast<wchar_t>(std::towupper(o.wcTarget));
        auto it = std::find_if(checks.begin(), checks.end(), [&](const DriveCheck& c) { return c.wcLetter == wc; });
        if (it == checks.end()) {
            checks.push_back(DriveCheck{wc, {}, {}, {}});
            it = checks.end() - 1;
        }
        it->filespaces.push_back(o.sName);
    }
    for (DriveCheck& check : checks) {
        size_t uiOnLetter = std::count_if(listing.begin(), listing.end(), [&](const FileSpace& fs) {
            return static_cast<wchar_t>(std::towupper(TargetLetter(fs))) == check.wcLetter;
        });
        if (uiOnLetter == check.filespaces.size())
            check.filespaces.clear();
        if (check.wcLetter == L'C') {
            check.ignores = PreexistingToIgnore(cBefore, cRestored);
            check.sNote = IgnoreNote(check.ignores);
        }
    }
    return checks;
}

std::vector<std::wstring> PreexistingToIgnore(const PathSet& before, const PathSet& restored)
{
    PathSet covered;
    for (const std::wstring& s : restored)
        AddWithAncestors(covered, Lower(s));
    std::vector<std::wstring> ignores;
    for (const std::wstring& sEntry : before) {
        if (sEntry.size() <= 3 || covered.count(sEntry))
            continue;
        if (!ignores.empty() && Below(sEntry, ignores.back() + L"\\"))
            continue;
        std::wstring s = sEntry;
        if (s.back() == L'\\')
            s.pop_back();
        ignores.push_back(s);
    }
    return ignores;
}

PathSet ListTree(const std::wstring& sRoot)
{
    PathSet paths;
    std::vector<std::wstring> folders = {sRoot};
    while (!folders.empty()) {
        std::wstring sFolder = folders.back();
        folders.pop_back();
        paths.insert(Lower(sFolder));
        WIN32_FIND_DATAW data = {};
        velmora::unique_find hFind(FindFirstFileW((sFolder + L"*").c_str(), &data));
        if (!hFind)
            continue;
        do {
            std::wstring sName = data.cFileName;
            if (sName == L"." || sName == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(sFolder + sName + L"\\");
            else
                paths.insert(Lower(sFolder + sName));
        } while (FindNextFileW(hFind.get(), &data));
    }
    return paths;
}

std::string ShellQuote(const std::string& s)
{
    std::string sOut = "'";
    for (char c : s)
        sOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return sOut + "'";
}

bool ParseVerdict(const std::string& sLine, bool& bPass)
{
    if (sLine.rfind("verify: PASS: ", 0) == 0)
        bPass = true;
    else if (sLine.rfind("verify: FAIL: ", 0) == 0)
        bPass = false;
    else
        return false;
    return true;
}

std::wstring StoreFromNwsimIni(const std::wstring& sIniPath)
{
    wchar_t wsz[MAX_PATH * 2] = {};
    GetPrivateProfileStringW(L"nwsim", L"store", L"", wsz, MAX_PATH * 2, sIniPath.c_str());
    return wsz;
}

bool VerifyDrives(const std::vector<DriveCheck>& checks, const VerifyContext& ctx)
{
    std::string sStore = UnixPath(ctx.sStore);
    if (ctx.sStore.empty() || sStore.empty()) {
        Print(L"Verify: no backup store to compare with (" +
              (ctx.sStore.empty() ? L"nwsim.ini names none" : ctx.sStore) + L")");
        return false;
    }
    if (checks.empty())
        Print(L"Verify: no restored drive to compare");
    bool bAllPass = true;
    for (const DriveCheck& check : checks)
        bAllPass = RunCheck(check, ctx, sStore) && bAllPass;
    Print(std::wstring(L"Verify: ") + (bAllPass ? L"every restored drive matches the backup" : L"differences found"));
    return bAllPass;
}

bool VerifySystemState(const std::wstring& sLetters, const VerifyContext& ctx)
{
    using velmora::to_utf8;
    std::string sStore = UnixPath(ctx.sStore);
    if (ctx.sStore.empty() || sStore.empty()) {
        Print(L"Verify: no backup store to compare the system state with");
        return false;
    }
    Print(L"Verify: the system state on " + sLetters + L" against the backup store");
    std::vector<std::string> args = {ctx.sPython, ctx.sScript, "--system-state", "--store", sStore};
    if (!ctx.sClient.empty())
        args.insert(args.end(), {"--client", to_utf8(ctx.sClient)});
    if (!ctx.sPit.empty())
        args.insert(args.end(), {"--pit", to_utf8(ctx.sPit)});
    for (wchar_t wc : sLetters) {
        std::string sDrive = UnixPath(std::wstring(1, wc) + L":\\");
        if (!sDrive.empty())
            args.insert(args.end(), {"--drive", to_utf8(std::wstring(1, wc)) + "=" + sDrive});
    }
    return RunVerifier(args);
}

} // namespace refhost
