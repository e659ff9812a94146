#include "tests/faults/abort_host.h"

#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

using namespace sandboxtest;

void AbortHost::SetUp()
{
    SandboxHost::SetUp();
    if (HasFatalFailure())
        return;
    m_pPlugin->SetLogMsgCallbackFn(&AbortHost::Log, this);
    m_pPlugin->SetProgMsgCallbackFn(&AbortHost::Progress, this);
    // Abort's closing pause is left out here: the bound of each case is stated without it.
    Impl().SetEngineTimingForTesting(1000, 0, 10000);
}

void AbortHost::AbortAt(const AbortPoint& at)
{
    m_at = at;
    m_uiRecords = m_uiHeartbeats = m_uiMessages = 0;
}

unsigned AbortHost::Count(unsigned uiMessageId)
{
    unsigned n = 0;
    for (unsigned uiId : MessageIds())
        n += uiId == uiMessageId ? 1 : 0;
    return n;
}

bool AbortHost::Timed(const std::function<bool()>& op, unsigned long long& ullMs)
{
    const ULONGLONG ullStart = GetTickCount64();
    bool bResult = op();
    ullMs = GetTickCount64() - ullStart;
    return bResult;
}

std::wstring AbortHost::ToolsRunning()
{
    const wchar_t* const kTools[] = {L"recover.exe", L"mminfo.exe", L"nsradmin.exe", L"nsrports.exe",
                                     L"nwinstcreate.exe"};
    std::wstring sRunning;
    for (int i = 0; i < 10; ++i) {
        sRunning.clear();
        for (const wchar_t* pTool : kTools)
            if (!testutil::ProcessesNamed(pTool).empty())
                sRunning += std::wstring(sRunning.empty() ? L"" : L" ") + pTool;
        if (sRunning.empty())
            break;
        Sleep(100);
    }
    return sRunning;
}

bool AbortHost::ConsoleFree()
{
    for (int i = 0; i < 10; ++i) {
        if (AllocConsole()) {
            FreeConsole();
            return true;
        }
        Sleep(100);
    }
    return false;
}

void AbortHost::ExpectAbortedCleanly(bool bResult, unsigned long long ullMs, unsigned long long ullBoundMs)
{
    EXPECT_FALSE(bResult) << "an aborted operation is no success";
    EXPECT_LE(ullMs, ullBoundMs) << "the abort took too long";
    EXPECT_EQ(Count(MSG_USER_ABORTED), 1u) << "the host hears of the abort once";
    EXPECT_TRUE(Logged(MSG_USER_ABORTED, ML_ERROR));
    EXPECT_EQ(ToolsRunning(), L"") << "tools left running";
    EXPECT_TRUE(ConsoleFree()) << "the private console is still held";
}

int AbortHost::Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    auto* self = static_cast<AbortHost*>(pContext);
    self->m_messages.push_back({uiLevel, pText});
    return ++self->m_uiMessages == self->m_at.uiMessage ? 1 : 0;
}

unsigned AbortHost::Progress(ProgressRecord* pRecord, void* pContext)
{
    auto* self = static_cast<AbortHost*>(pContext);
    const ProgressRecord& r = *pRecord;
    self->m_records.push_back(RecordOf(r));
    if (r.uiKind == PK_HEARTBEAT) {
        if (self->m_onHeartbeat)
            self->m_onHeartbeat();
        return ++self->m_uiHeartbeats == self->m_at.uiHeartbeat ? 1 : 0;
    }
    if (r.uiKind == PK_PASSWORD_REQUEST)
        return 0;
    return ++self->m_uiRecords == self->m_at.uiRecord ? 1 : 0;
}
