#include "plugin/cvex_impl.h"

#include "hostapi/message_ids.h"
#include "support/secure_wipe.h"
#include "trace/trace_scope.h"

const wchar_t CVEXImpl::kClientBinFolder[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin";

std::wstring CVEXImpl::Description()
{
    return FormatMessageTextV(L"Velmora HALVO for NetWorker (CVEXImpl) created on %S at %S", __DATE__, __TIME__)
        .substr(0, MAX_PATH);
}

bool CVEXImpl::IsSafeText(const std::wstring& sText, safetext::Kind kind, const wchar_t* pWhat)
{
    const wchar_t* pReason = safetext::Refusal(sText, kind);
    if (!pReason)
        return true;
    // The text itself is not traced: it may hold the line breaks that made it unsafe. A text the
    // code page cannot carry holds none, and the operator must see which one it is.
    std::wstring sWhat = pWhat;
    if (pReason == safetext::kCodePageRefusal)
        sWhat += L" \"" + sText + L"\"";
    CvexTrace().Str(TL_ERROR, L"CVEXImpl::IsSafeText", sWhat.c_str(), pReason);
    LogVarMsg(ML_ERROR, MSG_UNSAFE_TEXT, sWhat.c_str(), pReason);
    return false;
}

CVEXImpl::CVEXImpl()
{
    const wchar_t* fn = L"CVEXImpl::CVEXImpl";
    CVEXTrace& trace = CvexTrace();
    trace.ReadLevelFromFile();
    trace.Hex(TL_INFO, fn, L"uiTraceLevel", trace.GetLevelMask());
    trace.ReadNetWorkerLevel();
    trace.Hex(TL_INFO, fn, L"uiNwTraceLevel", trace.NetWorkerMask());
    // The CRPL trace (the base's lines and the registry edits) has its own level in trace.ini.
    CrplTrace().ReadLevelFromFile();
    trace.Hex(TL_INFO, fn, L"uiCrplTraceLevel", CrplTrace().GetLevelMask());
    Reset();
    m_hModule = GetModuleHandleW(L"CVEX.DLL");
    std::wstring sVersion;
    GetResourceVersionStr(0, sVersion);
    trace.Str(TL_INFO, fn, L"sVersion", sVersion);
    trace.Str(TL_INFO, fn, L"sDescription", Description());

    const std::wstring sFolder = std::wstring(kClientBinFolder) + L"\\";
    m_sMminfoPath = sFolder + L"mminfo.exe";
    m_sRecoverPath = sFolder + L"recover.exe";
    m_sNsradminPath = sFolder + L"nsradmin.exe";
    m_sNsrexecdPath = sFolder + L"nsrexecd.exe";
    m_sNsrportsPath = sFolder + L"nsrports.exe";
    m_sNwinstcreatePath = sFolder + L"nwinstcreate.exe";
    trace.Str(TL_VERBOSE, fn, L"m_sMminfoPath", m_sMminfoPath);
    trace.Str(TL_VERBOSE, fn, L"m_sRecoverPath", m_sRecoverPath);
    trace.Str(TL_VERBOSE, fn, L"m_sNsradminPath", m_sNsradminPath);
    trace.Str(TL_VERBOSE, fn, L"m_sNsrexecdPath", m_sNsrexecdPath);
    trace.Str(TL_VERBOSE, fn, L"m_sNsrportsPath", m_sNsrportsPath);
    trace.Str(TL_VERBOSE, fn, L"m_sNwinstcreatePath", m_sNwinstcreatePath);
}

CVEXImpl::~CVEXImpl()
{
    // A destructor must not throw: whatever Fini meets stays here.
    try {
        if (m_Console.IsOpen())
            Fini(true);
    } catch (...) {
        CvexTrace().Line(TL_ERROR, L"CVEXImpl::~CVEXImpl", L"Fini failed with an exception");
    }
}

void CVEXImpl::Reset()
{
    TraceScope scope(L"CVEXImpl::Reset");
    m_sWorking1.clear();
    m_sWorking2.clear();
    m_sWorking3.clear();
    m_sWorking4.clear();
    velmora::wipe(m_sPassword);
    m_sWorking5.clear();
    m_bCopyBOOT = true;
    m_bCopySYSTEM = true;
    m_wcWinSYSTEM = L'-';
    m_wcWinBOOT = L'-';
    m_wcWinEFI = L'-';
    m_bValidCredentials = false;
    m_NetWorkerCredentials.SetDefaults();
    MirrorConsole();
    m_Console.ClearOperationFlags();
    m_RunRecords.clear();
    ForgetCatalogue();
}

// What a listing found: a new listing or a reset starts without it.
void CVEXImpl::ForgetCatalogue()
{
    m_SystemState.clear();
    m_sBootFilespace.clear();
    m_sEFIFilespace.clear();
    m_sSystemFilespace.clear();
    m_wcWinBOOT = m_wcWinSYSTEM = m_wcWinEFI = L'-';
    m_bEFI = false;
}

unsigned CVEXImpl::GetModuleProperty(unsigned uiId, std::wstring& sOut)
{
    switch (uiId) {
    case 1: sOut = Description(); return 0;
    case 2: GetResourceVersionStr(0, sOut); return 0;
    case 4: sOut = DescribeSystemState(m_SystemState); return 0; // for hosts that show the components
    default: return 1;
    }
}
