#include "tests/system/system_host.h"

#include "hostapi/host_types.h"
#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "support/vstring.h"
#include "tests/common/test_util.h"

#include <algorithm>

namespace
{
const wchar_t kBin[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\";
const wchar_t* const kTools[] = {L"recover.exe",  L"mminfo.exe",   L"nsradmin.exe",
                                 L"nsrexecd.exe", L"nsrports.exe", L"nwinstcreate.exe"};

std::wstring TracePath()
{
    return testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log";
}

void CopyTools(const std::wstring& sFrom)
{
    for (const wchar_t* pTool : kTools)
        ASSERT_TRUE(CopyFileW((sFrom + pTool).c_str(), (std::wstring(kBin) + pTool).c_str(), FALSE))
            << GetLastError() << " " << testing::PrintToString(sFrom + pTool);
}

void ListFolder(const std::wstring& sFolder, std::vector<std::wstring>& names)
{
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find hFind(FindFirstFileW((sFolder + L"\\*").c_str(), &fd));
    if (!hFind)
        return;
    do {
        std::wstring sName = fd.cFileName;
        if (sName == L"." || sName == L"..")
            continue;
        std::wstring sPath = sFolder + L"\\" + sName;
        std::transform(sPath.begin(), sPath.end(), sPath.begin(), ::towlower);
        names.push_back(sPath);
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListFolder(sFolder + L"\\" + sName, names);
    } while (FindNextFileW(hFind.get(), &fd));
}
} // namespace

void SystemHost::SetUp()
{
    RestoreHost::SetUp();
    const std::wstring sTraceIni = testutil::ProgramFolder() + L"trace.ini";
    WritePrivateProfileStringW(L"Main", L"CVEX_TraceLevel", L"15", sTraceIni.c_str());
    MarkTrace();
}

void SystemHost::TearDown()
{
    RestoreHost::TearDown();
    if (m_bToolsChanged)
        CopyTools(std::wstring(L"Z:") + velmora::widen(CVEX_BUILD_DIR) + L"\\simulator\\bin\\");
}

bool SystemHost::PrepareSystem()
{
    m_messages.clear();
    m_records.clear();
    return m_pPlugin->PrepareSystem();
}

CVEXImpl& SystemHost::Impl()
{
    return *static_cast<CVEX*>(m_pPlugin)->Impl();
}

bool SystemHost::RestoreFilespaces()
{
    const FileSpaceList listed = m_list;
    for (const FileSpace& fs : listed) {
        if (GetDriveTypeW((std::wstring(1, fs.wcFsDriveLetter) + L":\\").c_str()) == DRIVE_NO_ROOT_DIR)
            continue;
        if (!Restore(fs)) {
            ADD_FAILURE() << "restore of " << testing::PrintToString(fs.sFsName) << ": "
                          << testing::PrintToString(LastError());
            return false;
        }
    }
    return true;
}

void SystemHost::UseTools(const std::wstring& sVariant)
{
    m_pPlugin->Fini(true);
    m_bToolsChanged = true;
    for (int i = 0; i < 100 && !testutil::ProcessesNamed(L"nsrexecd.exe").empty(); ++i)
        Sleep(100);
    CopyTools(std::wstring(L"Z:") + velmora::widen(CVEX_BUILD_DIR) + L"\\simulator\\" + sVariant + L"\\");
}

std::wstring SystemHost::NewTrace()
{
    std::wstring s = testutil::ReadTextFile(TracePath());
    return s.substr(std::min(m_nTraceAt, s.size()));
}

void SystemHost::MarkTrace()
{
    m_nTraceAt = testutil::ReadTextFile(TracePath()).size();
}

std::vector<std::wstring> SystemHost::DumpLines()
{
    std::vector<std::wstring> lines =
        testutil::SplitLines(testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_dump.log"));
    for (std::wstring& s : lines)
        if (!s.empty() && s.back() == L'\r')
            s.pop_back();
    return lines;
}

std::vector<std::wstring> SystemHost::ComponentTitles()
{
    std::vector<std::wstring> titles;
    for (const restoretest::Record& r : m_records)
        if (r.uiKind == PK_PASS_START && (titles.empty() || titles.back() != r.sText1))
            titles.push_back(r.sText1);
    return titles;
}

std::wstring SystemHost::VerifySystemState(const std::wstring& sLetters, const std::vector<std::wstring>& options)
{
    std::vector<std::wstring> args = {L"--system-state"};
    for (wchar_t wc : sLetters)
        if (wc != L',')
            args.insert(args.end(), {L"--drive", std::wstring(1, wc) + L"=" + LinuxDriveFolder(wc)});
    args.insert(args.end(), options.begin(), options.end());
    return RunStoreVerifier(args);
}

std::vector<std::wstring> SystemHost::WineWindowsFiles()
{
    std::vector<std::wstring> names;
    ListFolder(L"C:\\windows", names);
    return names;
}
