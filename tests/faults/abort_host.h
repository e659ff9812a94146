// The host's side of the abort tests: the shared sandbox host with callbacks that count what
// they are given and answer "abort" at a chosen record, heartbeat or message, and the checks that an aborted
// operation left nothing behind (no tool, no console, the hive capture ended).
#pragma once
#include "tests/common/sandbox_host.h"

#include <functional>
#include <string>
#include <vector>

class AbortHost : public SandboxHost
{
protected:
    void SetUp() override;

    // Where the host answers "abort": at the N-th progress record of the next operation that is
    // neither a heartbeat nor a password request, at its N-th heartbeat, at its N-th message (0:
    // never). Clears the counts.
    struct AbortPoint {
        unsigned uiRecord = 0;
        unsigned uiHeartbeat = 0;
        unsigned uiMessage = 0;
    };
    void AbortAt(const AbortPoint& at);
    // The records counted so far (heartbeats and password requests left out).
    unsigned CountedRecords() const { return m_uiRecords; }
    unsigned CountedMessages() const { return m_uiMessages; }
    unsigned Count(unsigned uiMessageId);

    // Runs an operation; its result, and its duration in ms in ullMs.
    bool Timed(const std::function<bool()>& op, unsigned long long& ullMs);
    // The checks every aborted operation must pass.
    void ExpectAbortedCleanly(bool bResult, unsigned long long ullMs, unsigned long long ullBoundMs);
    // The client tools (the daemon aside) still running after a second.
    static std::wstring ToolsRunning();
    // The process holds no console: a new one can be made (and is freed again at once).
    static bool ConsoleFree();

    std::function<void()> m_onHeartbeat; // run inside the heartbeat callback, before it answers
    AbortPoint m_at;
    unsigned m_uiRecords = 0;
    unsigned m_uiHeartbeats = 0;
    unsigned m_uiMessages = 0;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext);
    static unsigned Progress(ProgressRecord* pRecord, void* pContext);
};
