// When the monitoring thread looks for the next password prompt: the decision on its own, then
// tools that ask several times, read their input in either way, or keep it off after a password.
#include "console/password_rearm.h"
#include "tests/engine/engine_fixture.h"

#include <string>

namespace
{

const DWORD kPauseMs = 10000;

RearmPoll Typed(DWORD dwPending, DWORD dwMode, ULONGLONG ullSinceAnswerMs = 0)
{
    RearmPoll poll;
    poll.bAnswered = poll.bTyped = poll.bPendingRead = poll.bModeRead = true;
    poll.dwPendingRecords = dwPending;
    poll.dwMode = dwMode;
    poll.ullSinceAnswerMs = ullSinceAnswerMs;
    return poll;
}

} // namespace

// Each row is a series of polls and the action each must give: when the monitoring thread waits,
// writes its marker, sees a new prompt or goes back to the regular poll.
TEST(PasswordRearm, EachSeriesOfPollsGivesItsActions)
{
    using A = RearmAction;
    RearmPoll unanswered = Typed(0, 0);
    unanswered.bAnswered = unanswered.bTyped = false;
    RearmPoll notTyped = Typed(0, 0), noCount = Typed(0, 0), modeUnread = Typed(0, 0);
    notTyped.bTyped = false;
    noCount.bPendingRead = false;
    modeUnread.bModeRead = false;
    auto later = [](RearmPoll poll, ULONGLONG ms) {
        poll.ullSinceAnswerMs = ms;
        return poll;
    };
    struct Row {
        const char* pName;
        std::vector<std::pair<RearmPoll, A>> steps;
        bool bMarkerFails = false;
    };
    const std::vector<Row> kRows = {
        {"unanswered: waited for however long the host takes",
         {{unanswered, A::Wait}, {later(unanswered, 20000), A::Wait}, {later(unanswered, 3600000), A::Wait}}},
        {"input off after keys and marker were read: a new prompt",
         {{Typed(8, 0), A::Wait},
          {Typed(3, 0), A::Wait},
          {Typed(0, 0), A::WriteMarker},
          {Typed(1, 0), A::Wait},
          {Typed(0, 0), A::NewPrompt}}},
        {"input on when the marker was read: regular poll",
         {{Typed(0, 0x1F3), A::WriteMarker}, {Typed(0, 0x1F3), A::Resume}}},
        {"mode unreadable: regular poll", {{Typed(0, 0), A::WriteMarker}, {modeUnread, A::Resume}}},
        {"input kept off, marker unread: the same prompt until the pause",
         {{Typed(0, 0), A::WriteMarker},
          {Typed(1, 0, 10), A::Wait},
          {Typed(1, 0, kPauseMs - 1), A::Wait},
          {Typed(1, 0, kPauseMs), A::Resume}}},
        {"nothing typed: only the pause ends the wait",
         {{notTyped, A::Wait}, {notTyped, A::Wait}, {later(notTyped, kPauseMs), A::Resume}}},
        {"no record count: only the pause ends the wait",
         {{noCount, A::Wait}, {noCount, A::Wait}, {later(noCount, kPauseMs), A::Resume}}},
        {"marker not written: only the pause ends the wait",
         {{Typed(0, 0), A::WriteMarker}, {Typed(0, 0, 100), A::Wait}, {Typed(0, 0, kPauseMs), A::Resume}},
         true},
    };
    for (const Row& row : kRows) {
        PasswordRearm rearm(kPauseMs);
        for (size_t i = 0; i < row.steps.size(); ++i) {
            EXPECT_EQ(rearm.Next(row.steps[i].first), row.steps[i].second) << row.pName << ", poll " << i;
            if (row.bMarkerFails && row.steps[i].second == A::WriteMarker)
                rearm.MarkerFailed();
        }
    }
}

namespace
{

// An engine with the real password pause whose remembered password can be forgotten, as a
// restore does when the tool says it was wrong.
class ForgetfulImpl : public CVEXImpl
{
public:
    void ForgetPassword() { m_sPassword.clear(); }
};

struct PasswordDialogue {
    int nRequests = 0;              // requests answered with a typed password
    std::vector<std::wstring> said; // "password accepted" / "password wrong"
    std::vector<unsigned> waitedMs; // how long the tool waited at each prompt
};

struct PasswordRearmTest : EngineTest {
    ForgetfulImpl engine;
    void SetUp() override
    {
        EngineTest::SetUp();
        engine.SetLogMsgCallbackFn(&HostRecorder::Log, &host);
        engine.SetProgMsgCallbackFn(&HostRecorder::Progress, &host);
        engine.SetEngineTimingForTesting(100, 0, 10000);
        host.sPassword = L"right";
        SetEnvironmentVariableW(L"CVEX_FAKE_PASSWORD", L"right");
    }
    // Runs the fake tool's password role and answers every request; after a wrong password the
    // host is asked again and gives pNext.
    PasswordDialogue Run(const std::wstring& sArgs, const wchar_t* pNext = L"right")
    {
        PasswordDialogue d;
        EXPECT_TRUE(engine.RunCommand(Tool(L"password " + sArgs), false));
        std::wstring s;
        while (engine.GetLine(s, false)) {
            if (s.empty() && d.nRequests < 8 && engine.ProvidePassword())
                ++d.nRequests;
            if (s == L"password wrong") {
                engine.ForgetPassword();
                host.sPassword = pNext;
            }
            if (s == L"password accepted" || s == L"password wrong")
                d.said.push_back(s);
            unsigned uiMs = 0;
            if (swscanf(s.c_str(), L"waited %u ms", &uiMs) == 1)
                d.waitedMs.push_back(uiMs);
        }
        EXPECT_FALSE(engine.Console().PasswordRequired()) << sArgs;
        return d;
    }
};

} // namespace

// With the real pause: prompts in a row are each asked for once and soon, whether the tool reads
// key event by key event or takes every typed key at once; a wrong password then the right one
// asks once per prompt (the tool keeps its input off a little after each read, as a slow tool
// would); input kept off for a while after the password is no new prompt.
TEST_F(PasswordRearmTest, EachPromptIsAskedForOnceWellWithinTheRealPause)
{
    using Said = std::vector<std::wstring>;
    const Said kOk(3, L"password accepted");
    struct Case {
        const wchar_t* pArgs;
        const wchar_t* pFirst;
        int nRequests;
        size_t nHostAsked;
        Said said;
    };
    const Case kCases[] = {
        {L"3", L"right", 3, 1, kOk},
        {L"3 0 chars", L"right", 3, 1, kOk},
        {L"2 300 chars", L"wrong", 2, 2, {L"password wrong", L"password accepted"}},
        {L"1 1500", L"right", 1, 1, {L"password accepted"}},
        {L"1 1500 chars", L"right", 1, 1, {L"password accepted"}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(velmora::to_utf8(c.pArgs));
        host.progress.clear();
        host.sPassword = c.pFirst;
        engine.ForgetPassword();
        PasswordDialogue d = Run(c.pArgs);
        EXPECT_EQ(d.nRequests, c.nRequests);
        EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), c.nHostAsked);
        EXPECT_EQ(d.said, c.said);
        EXPECT_EQ(d.waitedMs.size(), d.said.size());
        for (unsigned uiMs : d.waitedMs)
            EXPECT_LT(uiMs, 1500u);
    }
}
