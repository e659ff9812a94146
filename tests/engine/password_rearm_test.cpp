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

TEST(PasswordRearm, AnUnansweredPromptIsWaitedForHoweverLongTheHostTakes)
{
    PasswordRearm rearm(kPauseMs);
    RearmPoll poll = Typed(0, 0);
    poll.bAnswered = poll.bTyped = false;
    for (ULONGLONG ms : {0ull, 20000ull, 3600000ull}) {
        poll.ullSinceAnswerMs = ms;
        EXPECT_EQ(rearm.Next(poll), RearmAction::Wait) << ms;
    }
}

TEST(PasswordRearm, InputOffAfterTheKeysAndTheMarkerWereReadIsANewPrompt)
{
    PasswordRearm rearm(kPauseMs);
    EXPECT_EQ(rearm.Next(Typed(8, 0)), RearmAction::Wait); // nothing read yet
    EXPECT_EQ(rearm.Next(Typed(3, 0)), RearmAction::Wait); // the line end's records still there
    EXPECT_EQ(rearm.Next(Typed(0, 0)), RearmAction::WriteMarker);
    EXPECT_EQ(rearm.Next(Typed(1, 0)), RearmAction::Wait);
    EXPECT_EQ(rearm.Next(Typed(0, 0)), RearmAction::NewPrompt);
}

TEST(PasswordRearm, InputOnWhenTheMarkerWasReadGoesBackToTheRegularPoll)
{
    PasswordRearm rearm(kPauseMs);
    EXPECT_EQ(rearm.Next(Typed(0, 0x1F3)), RearmAction::WriteMarker);
    EXPECT_EQ(rearm.Next(Typed(0, 0x1F3)), RearmAction::Resume);
    PasswordRearm unreadable(kPauseMs);
    RearmPoll poll = Typed(0, 0);
    EXPECT_EQ(unreadable.Next(poll), RearmAction::WriteMarker);
    poll.bModeRead = false;
    EXPECT_EQ(unreadable.Next(poll), RearmAction::Resume);
}

// Keys read all at once while the tool still keeps its input off: the same prompt, until the
// marker is taken or the pause (counted from the answer) has passed.
TEST(PasswordRearm, InputKeptOffWithTheMarkerUnreadIsTheSamePromptUntilThePause)
{
    PasswordRearm rearm(kPauseMs);
    EXPECT_EQ(rearm.Next(Typed(0, 0)), RearmAction::WriteMarker);
    for (ULONGLONG ms : {10ull, 5000ull, kPauseMs - 1ull})
        EXPECT_EQ(rearm.Next(Typed(1, 0, ms)), RearmAction::Wait) << ms;
    EXPECT_EQ(rearm.Next(Typed(1, 0, kPauseMs)), RearmAction::Resume);
}

// Without a password typed, or without a marker or a record count, nothing proves the prompt
// over: only the pause ends the wait, even with an empty buffer and the input off.
TEST(PasswordRearm, WithoutProofOnlyThePauseEndsTheWait)
{
    RearmPoll notTyped = Typed(0, 0);
    notTyped.bTyped = false;
    RearmPoll noCount = Typed(0, 0);
    noCount.bPendingRead = false;
    for (const RearmPoll& poll : {notTyped, noCount}) {
        PasswordRearm rearm(kPauseMs);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rearm.Next(poll), RearmAction::Wait);
        RearmPoll later = poll;
        later.ullSinceAnswerMs = kPauseMs;
        EXPECT_EQ(rearm.Next(later), RearmAction::Resume);
    }
    PasswordRearm failed(kPauseMs);
    EXPECT_EQ(failed.Next(Typed(0, 0)), RearmAction::WriteMarker);
    failed.MarkerFailed();
    EXPECT_EQ(failed.Next(Typed(0, 0, 100)), RearmAction::Wait);
    EXPECT_EQ(failed.Next(Typed(0, 0, kPauseMs)), RearmAction::Resume);
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

// With the real pause, a second and third prompt are each asked for once and soon, whether the
// tool reads key event by key event (the line end's records wait for its next read) or takes
// every typed key at once.
TEST_F(PasswordRearmTest, PromptsInARowAreEachAskedForOnceWellWithinTheRealPause)
{
    for (const wchar_t* pArgs : {L"3", L"3 0 chars"}) {
        PasswordDialogue d = Run(pArgs);
        EXPECT_EQ(d.nRequests, 3) << pArgs;
        EXPECT_EQ(d.said, std::vector<std::wstring>(3, L"password accepted")) << pArgs;
        ASSERT_EQ(d.waitedMs.size(), 3u) << pArgs;
        for (unsigned uiMs : d.waitedMs)
            EXPECT_LT(uiMs, 1500u) << pArgs;
    }
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 1u); // remembered after the first
}

// A wrong password, then the right one: the host is asked once for each prompt. The tool keeps
// its input off a little after each read, as a slow tool would, so that the prompt just answered
// still looks like a prompt.
TEST_F(PasswordRearmTest, AWrongPasswordThenTheRightOneAsksOncePerPrompt)
{
    host.sPassword = L"wrong";
    PasswordDialogue d = Run(L"2 300 chars");
    EXPECT_EQ(d.nRequests, 2);
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 2u);
    EXPECT_EQ(d.said, (std::vector<std::wstring>{L"password wrong", L"password accepted"}));
}

// Input kept off for a while after the password is no new prompt, in either way of reading.
TEST_F(PasswordRearmTest, InputKeptOffAfterThePasswordIsNoNewPrompt)
{
    for (const wchar_t* pArgs : {L"1 1500", L"1 1500 chars"}) {
        PasswordDialogue d = Run(pArgs);
        EXPECT_EQ(d.nRequests, 1) << pArgs;
        EXPECT_EQ(d.said, std::vector<std::wstring>{L"password accepted"}) << pArgs;
    }
}
