// CVEXImpl::Dump: the recovery summary file CVEX_dump.log in the log folder, rewritten as the
// system-state restore goes on. It never fails visibly.
#include "plugin/cvex_impl.h"
#include "support/cnm.h"
#include "support/file_replace.h"
#include "support/handle.h"
#include "system/dump_text.h"
#include "trace/trace_scope.h"

namespace
{

// The text as the host's tools read it: one byte per character where it can be, lines ended by
// CR LF.
std::string FileBytes(const std::wstring& sText)
{
    std::wstring sCrLf;
    for (wchar_t c : sText) {
        if (c == L'\n')
            sCrLf += L'\r';
        sCrLf += c;
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, sCrLf.data(), static_cast<int>(sCrLf.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, sCrLf.data(), static_cast<int>(sCrLf.size()), s.data(), n, nullptr, nullptr);
    return s;
}

} // namespace

DumpFacts CVEXImpl::CollectDumpFacts()
{
    DumpFacts f;
    GetResourceVersionStr(0, f.sModuleVersion);
    const CvexCredentials& cred = m_NetWorkerCredentials;
    f.bValidCredentials = m_bValidCredentials;
    f.sServerName = cred.m_sServerName;
    f.sServerAddress = AddressText(cred.m_ServerIPAddress);
    f.sClientName = cred.m_sClientName;
    f.sClientAddress = AddressText(cred.m_ClientIPAddress);
    f.sNetmask = AddressText(CNM::ConvertPrefixToNetmask(cred.m_ClientSubnetPrefix));
    f.uiPrefix = cred.m_ClientSubnetPrefix;
    if (cred.m_ClientDefaultGateway.is_valid())
        f.sGateway = AddressText(cred.m_ClientDefaultGateway);
    f.sBackupClientDir = m_sBackupNetWorkerClientDir;
    f.sBackupClientVersion = m_sBackupNetWorkerClientVersion;
    f.sServerVersion = m_sRecoverNetWorkerServerVersion;
    f.sRecoverClientDir = m_sRecoverNetWorkerClientDir;
    f.sRecoverClientVersion = m_sRecoverNetWorkerClientVersion;
    f.sServicePortRange = m_sServicePortRange;
    f.sConnectionPortRange = m_sConnectionPortRange;
    f.wcBoot = m_wcWinBOOT;
    f.wcSystem = m_wcWinSYSTEM;
    f.wcEfi = m_wcWinEFI;
    f.bEFI = m_bEFI;
    f.sBootFilespace = m_sBootFilespace;
    f.sSystemFilespace = m_sSystemFilespace;
    f.sEfiFilespace = m_sEFIFilespace;
    f.sWinDir = m_sWinDir;
    f.sPointInTime = m_sPointInTime;
    f.components = m_SystemState;
    f.failures = m_ComponentFailures;
    f.sShortNames = m_sShortNameOutcome;
    return f;
}

void CVEXImpl::Dump()
{
    TraceScope scope(L"CVEXImpl::Dump");
    std::wstring sFolder;
    GetLogDirectory(sFolder);
    const std::wstring sPath = sFolder + L"\\CVEX_dump.log";
    const std::string sBytes = FileBytes(DumpText(CollectDumpFacts()));
    // Replaced whole: a failed write leaves the summary of the previous run as it was.
    if (DWORD dwError = velmora::replace_file(sPath, sBytes))
        CvexTrace().ApiFailure(scope.fn(), L"WriteFile failed", dwError);
}
