// Answering a tool's prompts by typing into its console, and telling noise from output.
#include "console/console_session.h"
#include "console/key_events.h"
#include "console/noise.h"
#include "hostapi/message_ids.h"
#include "support/secure_wipe.h"
#include "trace/trace_scope.h"

bool ConsoleSession::SimulateKeystroke(wchar_t wc, bool bKeyDown, INPUT_RECORD& record)
{
    SHORT sVkScan = VkKeyScanExW(wc, GetKeyboardLayout(0));
    UINT uiScan = sVkScan == -1 ? 0 : MapVirtualKeyW(static_cast<UINT>(sVkScan & 0xFF), MAPVK_VK_TO_VSC);
    return BuildKeyEvent(wc, sVkScan, uiScan, bKeyDown, record);
}

bool ConsoleSession::SendResponse(const std::wstring& sResponse, bool bSecret)
{
    TraceScope scope(L"CVEXImpl::SendResponse");
    const wchar_t* fn = scope.fn();
    if (sResponse.empty())
        return scope.Fail(L"Empty response");
    if (!bSecret)
        CvexTrace().Str(TL_VERBOSE, fn, L"sResponse", sResponse);
    for (wchar_t wc : sResponse) {
        INPUT_RECORD records[2];
        // The records of a password's keys would otherwise stay behind on the stack.
        velmora::wipe_on_exit wipeRecords(records, sizeof(records));
        if (!SimulateKeystroke(wc, true, records[0]))
            return scope.Fail(L"SimulateKeystroke(DOWN) failed");
        if (!SimulateKeystroke(wc, false, records[1]))
            return scope.FailWithLine(L".. ending(SimulateKeystroke(UP) failed)");
        // The wide form keeps characters outside the ANSI code page intact.
        DWORD dwEvents = 0;
        if (!WriteConsoleInputW(m_hConIn.get(), records, 2, &dwEvents)) {
            DWORD dwError = GetLastError();
            CvexTrace().ApiFailure(fn, L"WriteConsoleInput", dwError);
            return scope.Fail(L"WriteConsoleInput failed");
        }
        if (dwEvents < 2) {
            CvexTrace().Int(TL_ERROR, fn, L"dwEvents", dwEvents);
            return scope.Fail(L"WriteConsoleInput failed to send all keystrokes");
        }
    }
    m_pace.Activity(GetTickCount64()); // the tool answers what was typed
    return scope.End();
}

bool ConsoleSession::ProvidePassword(std::wstring& sPassword)
{
    TraceScope scope(L"CVEXImpl::ProvidePassword");
    const wchar_t* fn = scope.fn();
    if (!m_shared.bPasswordRequired)
        return scope.Fail(L"Password not required?", TL_WARNING);
    if (sPassword.empty()) {
        if (!m_host.CanReportProgress()) {
            CvexTrace().Line(TL_WARNING, fn, L"No callback registered so password cannot be provided");
        } else {
            ProgressRecord record;
            record.uiKind = PK_PASSWORD_REQUEST;
            record.sText1.clear();
            if (m_host.ReportProgress(record) != 1 && !record.sText2.empty())
                velmora::assign_secret(sPassword, record.sText2, 2);
            velmora::wipe(record.sText2);
        }
    }
    if (sPassword.empty()) {
        scope.Fail(L"No password");
        m_bUserAborted = true;
        TellUserAbort();
        m_shared.bPasswordRequired = false;
        return false;
    }
    // Built in a buffer of its final size, so that no growing copy is freed unwiped.
    std::wstring sTyped;
    velmora::assign_secret(sTyped, sPassword, 2);
    sTyped += L"\r\n";
    bool bSent = SendResponse(sTyped, true);
    velmora::wipe(sTyped);
    if (bSent)
        ++m_shared.uiPasswordsTyped;
    m_shared.bPasswordRequired = false;
    // The tool's next prompt may be seen before the reader looks again: announce it afresh.
    m_bPasswordAnnounced = false;
    if (!bSent)
        return scope.Fail(L"SendResponse( PASSWORD ) failed");
    return scope.End();
}

bool ConsoleSession::IgnoreLine(const std::wstring& sLine)
{
    TraceScope scope(L"CVEXImpl::IgnoreLine");
    const wchar_t* pReason = IgnoreReason(sLine);
    if (pReason) {
        scope.Fail(pReason, TL_VERBOSE);
        return true;
    }
    return false;
}
