#include "plugin/cvex.h"

#include "plugin/cvex_impl.h"
#include "trace/trace.h"

namespace
{

const wchar_t kProduct[] = L"QERN";

// An exception must not reach the host (it may be built with another compiler and would
// terminate): it becomes a failed call with the reason as last error.
void ReportEscapedException(CVEXImpl& impl, const wchar_t* pFn, const char* pWhat)
{
    std::wstring sText = std::wstring(pFn) + L" failed: " + velmora::widen(pWhat ? pWhat : "unknown exception");
    CvexTrace().Line(TL_ERROR, pFn, sText.c_str());
    impl.SetLastErrorMsg(sText.c_str());
}

// Traces entry and exit of one forwarding slot and returns the impl's answer unchanged.
template <typename Call> bool ForwardBool(CVEXImpl& impl, const wchar_t* pFn, Call call)
{
    CvexTrace().Start(pFn);
    bool bRc = false;
    try {
        bRc = call();
    } catch (const std::exception& e) {
        ReportEscapedException(impl, pFn, e.what());
    } catch (...) {
        ReportEscapedException(impl, pFn, nullptr);
    }
    CvexTrace().End(pFn);
    CvexTrace().Bool(TL_VERBOSE, pFn, L"bRc", bRc);
    return bRc;
}

} // namespace

CRPL::CRPL() : m_sProduct(kProduct)
{
    CrplTrace().Str(TL_VERBOSE, L"CRPL::CRPL", L"m_sProduct", m_sProduct);
}

CRPL::~CRPL()
{
    CrplTrace().Str(TL_VERBOSE, L"CRPL::~CRPL", L"m_sProduct", m_sProduct);
}

CVEX::CVEX() : m_pImpl(std::make_unique<CVEXImpl>()) {}

CVEX::~CVEX()
{
    CvexTrace().Line(TL_VERBOSE, L"CVEX::~CVEX", L"Destructor");
    m_pImpl.reset();
}

void CVEX::GetLastErrorMsg(std::wstring& sMsg)
{
    const wchar_t* fn = L"CVEX::GetLastErrorMsg";
    CvexTrace().Start(fn);
    m_pImpl->GetLastErrorMsg(sMsg);
    CvexTrace().End(fn);
}

void CVEX::SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext)
{
    const wchar_t* fn = L"CVEX::SetLogMsgCallbackFn";
    CvexTrace().Start(fn);
    m_pImpl->SetLogMsgCallbackFn(pFn, pContext);
    CvexTrace().End(fn);
}

void CVEX::SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext)
{
    const wchar_t* fn = L"CVEX::SetProgMsgCallbackFn";
    CvexTrace().Start(fn);
    m_pImpl->SetProgMsgCallbackFn(pFn, pContext);
    CvexTrace().End(fn);
}

bool CVEX::HasCapability(enCapabilityType enCapability)
{
    const wchar_t* fn = L"CVEX::HasCapability";
    CvexTrace().Start(fn);
    bool bHasCapability = false;
    switch (static_cast<int>(enCapability)) {
    case CAP_MULTI_MACHINE: CvexTrace().Line(TL_INFO, fn, L"Does not allow multi-machine in same backup"); break;
    case CAP_HARD_LINKS: CvexTrace().Line(TL_INFO, fn, L"Does not backup hard-links separately"); break;
    case CAP_SYSTEM_STATE:
        CvexTrace().Line(TL_INFO, fn, L"Does backup SystemState separately");
        bHasCapability = true;
        break;
    case CAP_BACKUPSETS: CvexTrace().Line(TL_INFO, fn, L"Does not support backupsets"); break;
    case CAP_IMAGES: CvexTrace().Line(TL_INFO, fn, L"Does not support backup images"); break;
    case CAP_TAPES: CvexTrace().Line(TL_INFO, fn, L"Does not support tape backups"); break;
    default:
        CvexTrace().Line(TL_INFO, fn, L"CVEX::HasCapability : Unknown capability");
        CvexTrace().Int(TL_INFO, fn, L"enCapabilityType", static_cast<int>(enCapability));
        break;
    }
    CvexTrace().End(fn);
    CvexTrace().Bool(TL_VERBOSE, fn, L"bHasCapability", bHasCapability);
    return bHasCapability;
}

unsigned CVEX::GetModuleProperty(unsigned uiId, std::wstring& sOut)
{
    const wchar_t* fn = L"CVEX::GetModuleProperty";
    CvexTrace().Start(fn);
    unsigned uiRc = m_pImpl->GetModuleProperty(uiId, sOut);
    CvexTrace().End(fn);
    CvexTrace().Int(TL_VERBOSE, fn, L"uiRc", uiRc);
    return uiRc;
}

bool CVEX::Init(CrplCredentials* pCredentials)
{
    return ForwardBool(*m_pImpl, L"CVEX::Init", [&] { return m_pImpl->Init(pCredentials); });
}

bool CVEX::Fini(bool bHardReset)
{
    return ForwardBool(*m_pImpl, L"CVEX::Fini", [&] { return m_pImpl->Fini(bHardReset); });
}

bool CVEX::GetFilespaceList(FileSpaceList* pList)
{
    return ForwardBool(*m_pImpl, L"CVEX::GetFilespaceList", [&] { return m_pImpl->GetFilespaceList(pList); });
}

bool CVEX::RestoreFilespace(FileSpace* pFileSpace)
{
    return ForwardBool(*m_pImpl, L"CVEX::RestoreFilespace", [&] { return m_pImpl->RestoreFilespace(pFileSpace); });
}

bool CVEX::PrepareSystem()
{
    return ForwardBool(*m_pImpl, L"CVEX::PrepareSystem", [&] { return m_pImpl->RestoreSystem(); });
}

bool CVEX::CheckSystemState()
{
    return ForwardBool(*m_pImpl, L"CVEX::CheckSystemState", [&] { return m_pImpl->CheckSystemState(); });
}
