// What the host was shown and asked, and a CVEXImpl fixture that runs the fake tool beside the test program.
#pragma once
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

struct HostRecorder {
    std::vector<ProgressRecord> progress;
    std::vector<testutil::HostMessage> messages;
    std::vector<size_t> heartbeatsAtMessage; // heartbeats seen when each message came
    unsigned uiHeartbeatAnswer = 0;
    size_t nAbortAtHeartbeat = 0; // answer 1 to this heartbeat (1 = the first), if not 0
    std::wstring sPassword;
    unsigned uiPasswordAnswer = 0;
    unsigned uiAnswerTo = 0; // the message (by id) answered with iAnswer
    int iAnswer = 0;

    static int Log(unsigned uiLevel, const wchar_t* pText, void* p)
    {
        auto* self = static_cast<HostRecorder*>(p);
        self->messages.push_back({uiLevel, pText});
        self->heartbeatsAtMessage.push_back(self->Count(PK_HEARTBEAT));
        return self->uiAnswerTo != 0 && self->Ids().back() == self->uiAnswerTo ? self->iAnswer : 0;
    }
    static unsigned Progress(ProgressRecord* pRecord, void* p)
    {
        auto* self = static_cast<HostRecorder*>(p);
        self->progress.push_back(*pRecord);
        if (pRecord->uiKind == PK_PASSWORD_REQUEST) {
            pRecord->sText2 = self->sPassword;
            return self->uiPasswordAnswer;
        }
        if (pRecord->uiKind != PK_HEARTBEAT)
            return 0;
        if (self->nAbortAtHeartbeat != 0 && self->Count(PK_HEARTBEAT) >= self->nAbortAtHeartbeat)
            return 1;
        return self->uiHeartbeatAnswer;
    }
    size_t Count(unsigned uiKind) const
    {
        size_t n = 0;
        for (const auto& r : progress)
            n += r.uiKind == uiKind;
        return n;
    }
    // The ids of the messages received, told by the loaded message table.
    std::vector<unsigned> Ids() const { return testutil::MessageIdsOf(GetModuleHandleW(L"CVEX.DLL"), messages); }
    size_t CountMessage(unsigned uiId) const
    {
        std::vector<unsigned> ids = Ids();
        return static_cast<size_t>(std::count(ids.begin(), ids.end(), uiId));
    }
    bool Logged(unsigned uiId) const { return CountMessage(uiId) != 0; }
};

struct EngineTest : ::testing::Test {
    CVEXImpl impl;
    HostRecorder host;
    void SetUp() override
    {
        impl.SetLogMsgCallbackFn(&HostRecorder::Log, &host);
        impl.SetProgMsgCallbackFn(&HostRecorder::Progress, &host);
        // Heartbeat about every second, no pause after Abort, short pause after a password prompt.
        impl.SetEngineTimingForTesting(100, 0, 1000);
    }
    static std::wstring Tool(const std::wstring& sArgs)
    {
        return L"\"" + testutil::ProgramFolder() + L"engine_fake_tool.exe\" " + sArgs;
    }
    // Reads lines until the output ends.
    std::vector<std::wstring> ReadAll()
    {
        std::vector<std::wstring> lines;
        std::wstring s;
        while (impl.GetLine(s, true))
            lines.push_back(s);
        return lines;
    }
    // Reads until a line satisfies the predicate; false when the output ended first.
    template <typename Pred> bool ReadUntil(Pred pred, std::wstring& sLine)
    {
        while (impl.GetLine(sLine, true))
            if (pred(sLine))
                return true;
        return false;
    }
};
