// The host asks to abort at the first, a middle and the last callback of each operation. Every
// time the operation fails at once, the host hears message 197 once, no tool is left, the console
// is free, and the next Init on the same object works. Fini called while a tool hangs ends it in
// its bound.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "tests/common/sandbox_host.h"
#include "tests/common/test_util.h"

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace sandboxtest;

namespace
{

// An abort may take this long beyond a clean run of the same operation (Abort's own closing
// pause of 5 s is left out, see AbortHost::SetUp).
const unsigned long long kSlackMs = 5000;

// The host's side of the abort tests: the shared sandbox host with callbacks that count what
// they are given and answer "abort" at a chosen record, heartbeat or message, and the checks that an aborted
// operation left nothing behind (no tool, no console, the hive capture ended).
class AbortHost : public SandboxHost
{
protected:
    void SetUp() override
    {
        SandboxHost::SetUp();
        if (HasFatalFailure())
            return;
        m_pPlugin->SetLogMsgCallbackFn(&AbortHost::Log, this);
        m_pPlugin->SetProgMsgCallbackFn(&AbortHost::Progress, this);
        // Abort's closing pause is left out here: the bound of each case is stated without it.
        Impl().SetEngineTimingForTesting(1000, 0, 10000);
    }

    // Where the host answers "abort": at the N-th progress record of the next operation that is
    // neither a heartbeat nor a password request, at its N-th heartbeat, at its N-th message (0:
    // never). Clears the counts.
    struct AbortPoint {
        unsigned uiRecord = 0;
        unsigned uiHeartbeat = 0;
        unsigned uiMessage = 0;
    };
    void AbortAt(const AbortPoint& at)
    {
        m_at = at;
        m_uiRecords = m_uiHeartbeats = m_uiMessages = 0;
    }
    // The records counted so far (heartbeats and password requests left out).
    unsigned CountedRecords() const { return m_uiRecords; }
    unsigned CountedMessages() const { return m_uiMessages; }
    unsigned Count(unsigned uiMessageId)
    {
        const std::vector<unsigned> ids = MessageIds();
        return static_cast<unsigned>(std::count(ids.begin(), ids.end(), uiMessageId));
    }

    // Runs an operation; its result, and its duration in ms in ullMs.
    bool Timed(const std::function<bool()>& op, unsigned long long& ullMs)
    {
        const ULONGLONG ullStart = GetTickCount64();
        bool bResult = op();
        ullMs = GetTickCount64() - ullStart;
        return bResult;
    }
    // The checks every aborted operation must pass.
    void ExpectAbortedCleanly(bool bResult, unsigned long long ullMs, unsigned long long ullBoundMs)
    {
        EXPECT_FALSE(bResult) << "an aborted operation is no success";
        EXPECT_LE(ullMs, ullBoundMs) << "the abort took too long";
        EXPECT_EQ(Count(MSG_USER_ABORTED), 1u) << "the host hears of the abort once";
        EXPECT_TRUE(Logged(MSG_USER_ABORTED, ML_ERROR));
        EXPECT_EQ(ToolsRunning(), L"") << "tools left running";
        EXPECT_TRUE(ConsoleFree()) << "the private console is still held";
    }
    // The client tools (the daemon aside) still running after a second.
    static std::wstring ToolsRunning()
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
    // The process holds no console: a new one can be made (and is freed again at once).
    static bool ConsoleFree()
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

    std::function<void()> m_onHeartbeat; // run inside the heartbeat callback, before it answers
    AbortPoint m_at;
    unsigned m_uiRecords = 0;
    unsigned m_uiHeartbeats = 0;
    unsigned m_uiMessages = 0;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        auto* self = static_cast<AbortHost*>(pContext);
        self->m_messages.push_back({uiLevel, pText});
        return ++self->m_uiMessages == self->m_at.uiMessage ? 1 : 0;
    }
    static unsigned Progress(ProgressRecord* pRecord, void* pContext)
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
};

class AbortAnywhere : public AbortHost
{
protected:
    void ListStore(const std::wstring& sStore)
    {
        UseStore(sStore);
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    }
    // The object works again after an abort: Init, and the listing the next steps need.
    void ExpectInitWorks(bool bList)
    {
        AbortAt({});
        // At the heartbeat period of SetUp: a connection check every 200 ms can find no tool
        // connected between two tools, which is no fault of the aborted operation.
        Impl().SetEngineTimingForTesting(1000, 0, 10000);
        EXPECT_TRUE(Init()) << "Init after the abort: " << testing::PrintToString(LastError());
        if (bList) {
            EXPECT_TRUE(List()) << testing::PrintToString(LastError());
        }
    }
    // Nothing follows the record the host aborted at but the record that says so.
    void ExpectNothingAfterRecord(unsigned uiAt)
    {
        std::vector<unsigned> after;
        unsigned n = 0;
        for (const Record& r : m_records) {
            if (r.uiKind == PK_HEARTBEAT || r.uiKind == PK_PASSWORD_REQUEST)
                continue;
            if (++n > uiAt)
                after.push_back(r.uiKind);
        }
        EXPECT_TRUE(after.empty() || after == std::vector<unsigned>{PK_PASS_FAILED})
            << "records after the abort: " << testing::PrintToString(after);
    }
    // A clean run of op: its duration, and the counted records and messages.
    unsigned long long CleanRun(const std::function<bool()>& op)
    {
        AbortAt({});
        unsigned long long ullMs = 0;
        EXPECT_TRUE(Timed(op, ullMs)) << testing::PrintToString(LastError());
        return ullMs;
    }
    bool CheckSystemState()
    {
        m_messages.clear();
        m_records.clear();
        return m_pPlugin->CheckSystemState();
    }
};

} // namespace

TEST_F(AbortAnywhere, ARestoreAbortedAtItsFirstMiddleOrLastRecordFails)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard-w"));
    ClearDrive(L'D');
    const unsigned long long ullClean = CleanRun([&] { return Restore(L"D:\\"); });
    const unsigned n = CountedRecords();
    ASSERT_GE(n, 5u) << testing::PrintToString(KindSequence(m_records));
    // The first, the middle (in the count), the second start (after the count) and the last
    // record, which says that the filespace is done.
    unsigned uiSecondStart = 0;
    for (unsigned i = 1; i < m_records.size() && !uiSecondStart; ++i)
        if (m_records[i].uiKind == PK_PASS_START)
            uiSecondStart = i + 1;
    ASSERT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
    const bool bComplete = CheckSystemState();
    for (unsigned uiAt : {1u, n / 2, uiSecondStart, n}) {
        SCOPED_TRACE(testing::Message() << "abort at record " << uiAt << " of " << n);
        AbortAt({uiAt});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return Restore(L"D:\\"); }, ullMs);
        ExpectAbortedCleanly(bResult, ullMs, ullClean + kSlackMs);
        ExpectNothingAfterRecord(uiAt);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED) << testing::PrintToString(KindSequence(m_records));
        EXPECT_EQ(LastError(), Text(MSG_USER_ABORTED));
        if (uiAt == 1u) {
            // The abort belonged to the restore: the check that follows answers as before it.
            EXPECT_EQ(CheckSystemState(), bComplete);
            EXPECT_EQ(Count(MSG_USER_ABORTED), 0u);
        }
        ExpectInitWorks(true);
    }
    // A volume that is not there has a start and an end record only; an abort at either fails.
    FileSpace absent = Listed(L"D:\\");
    absent.sFsName = L"T:\\";
    absent.wcFsDriveLetter = L'T';
    for (unsigned uiAt : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "absent volume, abort at record " << uiAt);
        AbortAt({uiAt});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return Restore(absent); }, ullMs);
        ExpectAbortedCleanly(bResult, ullMs, kSlackMs);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
    }
    AbortAt({});
    EXPECT_TRUE(Restore(absent)) << "a volume that is not there is skipped";
    // Nothing of the aborts stays in the way of a whole restore.
    ClearDrive(L'D');
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
}

TEST_F(AbortAnywhere, PrepareSystemAbortedAtItsFirstMiddleOrLastRecordFails)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"all-w"));
    for (wchar_t wc : {L'W', L'D', L'S'})
        ClearDrive(wc);
    ASSERT_TRUE(RestoreFilespaces());
    const unsigned long long ullClean = CleanRun([&] { return PrepareSystem(); });
    const unsigned n = CountedRecords();
    const std::vector<std::wstring> titles = ComponentTitles();
    ASSERT_GE(titles.size(), 2u) << testing::PrintToString(titles);
    std::printf("clean run: %u records in %u ms, components:\n", n, static_cast<unsigned>(ullClean));
    for (const std::wstring& t : titles)
        std::printf("  %ls\n", t.c_str());
    for (unsigned uiAt : {1u, n / 2, n}) {
        SCOPED_TRACE(testing::Message() << "abort at record " << uiAt << " of " << n);
        AbortAt({uiAt});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return PrepareSystem(); }, ullMs);
        ExpectAbortedCleanly(bResult, ullMs, ullClean + kSlackMs);
        ExpectNothingAfterRecord(uiAt);
        EXPECT_EQ(LastError(), Text(MSG_USER_ABORTED));
        // The components after the aborted one are not started.
        const std::vector<std::wstring> started = ComponentTitles();
        EXPECT_LE(started.size(), titles.size());
        EXPECT_TRUE(std::equal(started.begin(), started.end(), titles.begin())) << testing::PrintToString(started);
        if (uiAt == 1u) {
            EXPECT_EQ(started.size(), 1u);
        }
        ExpectInitWorks(true);
    }
}

TEST_F(AbortAnywhere, InitAbortedInItsFirstToolAtTheConnectedMessageOrInItsLastToolFails)
{
    UseStore(L"standard-w");
    const unsigned long long ullClean = CleanRun([&] { return Init(); });
    const std::vector<unsigned> ids = MessageIds();
    const auto it = std::find(ids.begin(), ids.end(), static_cast<unsigned>(MSG_CONNECTED));
    ASSERT_NE(it, ids.end());
    const unsigned uiConnected = static_cast<unsigned>(it - ids.begin()) + 1;
    {
        SCOPED_TRACE("the answer to the connected message");
        AbortAt({0, 0, uiConnected});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return Init(); }, ullMs);
        ExpectAbortedCleanly(bResult, ullMs, ullClean + kSlackMs);
        ExpectInitWorks(false);
    }
    {
        // Other messages are information for the host's log: their answers are no abort.
        SCOPED_TRACE("the answer to the first message");
        AbortAt({0, 0, 1});
        EXPECT_TRUE(Init()) << testing::PrintToString(LastError());
    }
    // The tools are silent for long: the host aborts at the first heartbeat of the first tool
    // (recover's session) and of the last one (nsradmin, the server's version).
    for (const wchar_t* pFault : {L"recover session start hang 30", L"nsradmin any start hang 30"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pFault)));
        Impl().SetEngineTimingForTesting(20, 0, 10000);
        SetFaults({pFault});
        AbortAt({0, 1});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return Init(); }, ullMs);
        SetFaults({});
        ExpectAbortedCleanly(bResult, ullMs, ullClean + kSlackMs);
        EXPECT_EQ(LastError(), Text(MSG_USER_ABORTED));
        ExpectInitWorks(false);
    }
}

TEST_F(AbortAnywhere, AListingAbortedInItsFirstMiddleOrLastToolFails)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard-w"));
    const unsigned long long ullClean = CleanRun([&] { return List(); });
    // The top-level listing ("ll"), the look for the saved configuration ("ls"), its fetch.
    for (const wchar_t* pFault : {L"recover session command:ll hang 30", L"recover session command:ls hang 30",
                                  L"recover restore start hang 30"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pFault)));
        Impl().SetEngineTimingForTesting(20, 0, 10000);
        SetFaults({pFault});
        AbortAt({0, 1});
        unsigned long long ullMs = 0;
        bool bResult = Timed([&] { return List(); }, ullMs);
        SetFaults({});
        ExpectAbortedCleanly(bResult, ullMs, ullClean + kSlackMs);
        EXPECT_GE(m_uiHeartbeats, 1u) << "the tool hung";
        ExpectInitWorks(true);
    }
}

TEST_F(AbortAnywhere, CheckSystemStateRunsNoToolAndTakesNoAbortFromItsMessage)
{
    // Only NMM savesets: no system state, the check's one callback is its error message.
    ASSERT_NO_FATAL_FAILURE(ListStore(L"nmm-w"));
    AbortAt({});
    ASSERT_FALSE(CheckSystemState());
    ASSERT_EQ(MessageIds(), std::vector<unsigned>{MSG_NO_SYSTEM_STATE});
    EXPECT_TRUE(m_records.empty()) << "the check sends no progress record";
    const std::wstring sVerdict = LastError();
    // The host answers "abort" to that message, the first and the last callback of the check. A
    // message's answer is no abort here: the verdict stands and no abort is posted.
    AbortAt({0, 0, 1});
    unsigned long long ullMs = 0;
    EXPECT_FALSE(Timed([&] { return CheckSystemState(); }, ullMs));
    EXPECT_LE(ullMs, 1000u);
    EXPECT_EQ(CountedMessages(), 1u);
    EXPECT_EQ(Count(MSG_USER_ABORTED), 0u);
    EXPECT_EQ(LastError(), sVerdict);
    EXPECT_TRUE(m_records.empty());
    EXPECT_EQ(ToolsRunning(), L"");
    EXPECT_TRUE(ConsoleFree());
    // Nothing of that answer stays: the next check says the same, and Init works.
    AbortAt({});
    EXPECT_FALSE(CheckSystemState());
    EXPECT_EQ(MessageIds(), std::vector<unsigned>{MSG_NO_SYSTEM_STATE});
    ExpectInitWorks(false);
}

TEST_F(AbortAnywhere, FiniWhileRecoverHangsEndsItWithinItsBound)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard-w"));
    ClearDrive(L'D');
    const DWORD dwGraceMs = 3000;
    Impl().Console().SetTiming({20, 0, 10000, 60000, dwGraceMs});
    SetFaults({L"recover restore object:3 hang 120"});
    // The host closes the session from its heartbeat callback while recover hangs, and aborts.
    unsigned long long ullFiniMs = 0;
    bool bFini = false;
    m_onHeartbeat = [&] {
        if (m_uiHeartbeats == 0)
            bFini = Timed([&] { return m_pPlugin->Fini(false); }, ullFiniMs);
    };
    AbortAt({0, 1});
    unsigned long long ullMs = 0;
    bool bResult = Timed([&] { return Restore(L"D:\\"); }, ullMs);
    m_onHeartbeat = nullptr;
    SetFaults({});
    EXPECT_TRUE(bFini);
    EXPECT_GE(ullFiniMs, dwGraceMs) << "Fini waited for the tool first";
    EXPECT_LE(ullFiniMs, dwGraceMs + kSlackMs);
    // The restore's count pass comes first: a bound of a few clean restores.
    ExpectAbortedCleanly(bResult, ullMs, dwGraceMs + 4 * kSlackMs);
    ExpectInitWorks(true);
    ClearDrive(L'D');
    AbortAt({});
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
}
