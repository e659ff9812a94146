#include "plugin/cvex.h"

#include "plugin/cvex_impl.h"
#include "trace/trace_scope.h"

#include <type_traits>

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

void TraceResult(const wchar_t* pFn, bool bRc)
{
    CvexTrace().Bool(TL_VERBOSE, pFn, L"bRc", bRc);
}

void TraceResult(const wchar_t* pFn, unsigned uiRc)
{
    CvexTrace().Int(TL_VERBOSE, pFn, L"uiRc", uiRc);
}

// What a slot answers when the impl threw: false, or 1 ("not served") for a property.
template <typename Result> Result FailureValue()
{
    if constexpr (std::is_same_v<Result, bool>)
        return false;
    else
        return Result{1};
}

// Every forwarding slot: traces entry and exit (with the result for bool and number slots),
// returns the impl's answer unchanged, and keeps any exception from reaching the host.
template <typename Call> auto Forward(CVEXImpl& impl, const wchar_t* pFn, Call call) -> decltype(call())
{
    using Result = decltype(call());
    TraceScope scope(pFn);
    try {
        if constexpr (std::is_void_v<Result>) {
            call();
            scope.End();
            return;
        } else {
            Result rc = call();
            scope.End();
            TraceResult(pFn, rc);
            return rc;
        }
    } catch (const std::exception& e) {
        ReportEscapedException(impl, pFn, e.what());
    } catch (...) {
        ReportEscapedException(impl, pFn, nullptr);
    }
    scope.End();
    if constexpr (!std::is_void_v<Result>) {
        Result rc = FailureValue<Result>();
        TraceResult(pFn, rc);
        return rc;
    }
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
    Forward(*m_pImpl, L"CVEX::GetLastErrorMsg", [&] { m_pImpl->GetLastErrorMsg(sMsg); });
}

void CVEX::SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext)
{
    Forward(*m_pImpl, L"CVEX::SetLogMsgCallbackFn", [&] { m_pImpl->SetLogMsgCallbackFn(pFn, pContext); });
}

void CVEX::SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext)
{
    Forward(*m_pImpl, L"CVEX::SetProgMsgCallbackFn", [&] { m_pImpl->SetProgMsgCallbackFn(pFn, pContext); });
}

bool CVEX::HasCapability(enCapabilityType enCapability)
{
    TraceScope scope(L"CVEX::HasCapability");
    const wchar_t* fn = scope.fn();
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
    scope.End();
    CvexTrace().Bool(TL_VERBOSE, fn, L"bHasCapability", bHasCapability);
    return bHasCapability;
}

unsigned CVEX::GetModuleProperty(unsigned uiId, std::wstring& sOut)
{
    return Forward(*m_pImpl, L"CVEX::GetModuleProperty", [&] { return m_pImpl->GetModuleProperty(uiId, sOut); });
}

bool CVEX::Init(CrplCredentials* pCredentials)
{
    return Forward(*m_pImpl, L"CVEX::Init", [&] { return m_pImpl->Init(pCredentials); });
}

bool CVEX::Fini(bool bHardReset)
{
    return Forward(*m_pImpl, L"CVEX::Fini", [&] { return m_pImpl->Fini(bHardReset); });
}

bool CVEX::GetFilespaceList(FileSpaceList* pList)
{
    return Forward(*m_pImpl, L"CVEX::GetFilespaceList", [&] { return m_pImpl->GetFilespaceList(pList); });
}

bool CVEX::RestoreFilespace(FileSpace* pFileSpace)
{
    return Forward(*m_pImpl, L"CVEX::RestoreFilespace", [&] { return m_pImpl->RestoreFilespace(pFileSpace); });
}

bool CVEX::PrepareSystem()
{
    return Forward(*m_pImpl, L"CVEX::PrepareSystem", [&] { return m_pImpl->RestoreSystem(); });
}

bool CVEX::CheckSystemState()
{
    return Forward(*m_pImpl, L"CVEX::CheckSystemState", [&] { return m_pImpl->CheckSystemState(); });
}
