// Answering a tool's prompts by typing into its console, and telling noise from output.
#include "console/engine_state.h"
#include "console/key_events.h"
#include "console/noise.h"
#include "plugin/cvex_impl.h"
#include "plugin/message_ids.h"
#include "trace/trace.h"

bool CVEXImpl::SimulateKeystroke(wchar_t wc, bool bKeyDown, INPUT_RECORD& record)
{
    SHORT sVkScan = VkKeyScanExW(wc, GetKeyboardLayout(0));
    UINT uiScan = sVkScan == -1 ? 0 : MapVirtualKeyW(static_cast<UINT>(sVkScan & 0xFF), MAPVK_VK_TO_VSC);
    return BuildKeyEvent(wc, sVkScan, uiScan, bKeyDown, record);
}

bool CVEXImpl::SendResponse(const std::wstring& sResponse, bool bSecret)
{
    const wchar_t* fn = L"CVEXImpl::SendResponse";
    CvexTrace().Start(fn);
    if (sResponse.empty()) {
        CvexTrace().EndFail(fn, L"Empty response");
        return false;
    }
    if (!bSecret)
        CvexTrace().Str(TL_VERBOSE, fn, L"sResponse", sResponse);
    for (wchar_t wc : sResponse) {
        INPUT_RECORD records[2];
        if (!SimulateKeystroke(wc, true, records[0])) {
            CvexTrace().EndFail(fn, L"SimulateKeystroke(DOWN) failed");
            return false;
        }
        if (!SimulateKeystroke(wc, false, records[1])) {
            CvexTrace().Line(TL_ERROR, fn, L".. ending(SimulateKeystroke(UP) failed)");
            return false;
        }
        // The wide form keeps characters outside the ANSI code page intact.
        DWORD dwEvents = 0;
        if (!WriteConsoleInputW(m_Handles.hConIn, records, 2, &dwEvents)) {
            CvexTrace().ApiFailure(fn, L"CVEXImpl::SendResponse : ... ending(WriteConsoleInput failed)",
                                   GetLastError());
            return false;
        }
        if (dwEvents < 2) {
            CvexTrace().Int(TL_ERROR, fn,
                            L"CVEXImpl::SendResponse : ... ending(WriteConsoleInput failed to send all keystrokes) : "
                            L"dwEvents",
                            dwEvents);
            return false;
        }
    }
    CvexTrace().End(fn);
    return true;
}

bool CVEXImpl::ProvidePassword()
{
    const wchar_t* fn = L"CVEXImpl::ProvidePassword";
    CvexTrace().Start(fn);
    ConsoleEngineState& engine = Engine();
    if (!engine.bPasswordRequired) {
        CvexTrace().Line(TL_WARNING, fn, L"Password not required?");
        return false;
    }
    if (m_sPassword.empty()) {
        if (!HasProgressCallback()) {
            CvexTrace().Line(TL_WARNING, fn, L"No callback registered so password cannot be provided");
        } else {
            ProgressRecord record;
            record.uiKind = PK_PASSWORD_REQUEST;
            record.sText1.clear();
            if (SendProgress(record) != 1 && !record.sText2.empty())
                m_sPassword = record.sText2;
        }
    }
    if (m_sPassword.empty()) {
        CvexTrace().EndFail(fn, L"No password");
        LogStdMsg(ML_ERROR, MSG_USER_ABORTED);
        m_bUserAborted = true;
        engine.bPasswordRequired = false;
        return false;
    }
    bool bSent = SendResponse(m_sPassword + L"\r\n", true);
    engine.bPasswordRequired = false;
    if (!bSent) {
        CvexTrace().EndFail(fn, L"SendResponse( PASSWORD ) failed");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}

const wchar_t* IgnoreReason(const std::wstring& sLine)
{
    static const struct {
        const wchar_t* pText;
        const wchar_t* pReason;
    } kNoise[] = {
        {L"Failed initialize ports", L"Ignoring Ports"},
        {L"RAP error: Service not available", L"Ignoring Bad Service"},
        {L"Failed to get port range from local", L"Ignoring Bad Port Range"},
    };
    if (sLine.empty())
        return L"Empty line";
    for (const auto& noise : kNoise)
        if (sLine.find(noise.pText) != std::wstring::npos)
            return noise.pReason;
    return nullptr;
}

bool CVEXImpl::IgnoreLine(const std::wstring& sLine)
{
    const wchar_t* fn = L"CVEXImpl::IgnoreLine";
    CvexTrace().Start(fn);
    const wchar_t* pReason = IgnoreReason(sLine);
    if (pReason) {
        CvexTrace().EndFail(fn, pReason, TL_VERBOSE);
        return true;
    }
    CvexTrace().End(fn);
    return false;
}
