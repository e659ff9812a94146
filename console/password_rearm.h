// When the monitoring thread may look for the next password prompt after one was answered.
//
// The console mode alone cannot tell: a tool switches its input back on after reading the password
// and off again for its next prompt within microseconds, between two polls, while a tool that is
// slow to switch it back looks just the same. The input buffer can: the typed keys stay in it until
// the tool reads them. Once every typed key is gone, the monitoring thread writes one marker record
// (a focus event, which readers skip); the tool has finished the answered prompt's read by then, so
// only a later read takes the marker. Input that is off when the marker has gone is a new prompt.
// A tool that never reads the marker is left to the password pause, counted from the answer.
#pragma once
#include "support/win.h"

// What the monitoring thread saw at one poll.
struct RearmPoll {
    bool bAnswered = false;         // the password request was answered (typed or given up)
    bool bTyped = false;            // the answer typed a password
    bool bPendingRead = false;      // the input buffer's record count could be read
    DWORD dwPendingRecords = 0;     // records in the console input buffer
    bool bModeRead = false;         // the console mode could be read
    DWORD dwMode = 1;               // the console input mode
    ULONGLONG ullSinceAnswerMs = 0; // time since the answer was first seen
};

enum class RearmAction {
    Wait,        // poll again
    WriteMarker, // write the marker record, then poll again
    NewPrompt,   // the tool asks for a password again
    Resume,      // back to the regular poll for a prompt
};

class PasswordRearm
{
public:
    explicit PasswordRearm(DWORD dwPauseMs) : m_dwPauseMs(dwPauseMs) {}
    RearmAction Next(const RearmPoll& poll);
    // The marker could not be written: only the pause ends the wait.
    void MarkerFailed() { m_stage = Stage::Pause; }

private:
    enum class Stage { Answer, KeysRead, MarkerRead, Pause };
    DWORD m_dwPauseMs;
    Stage m_stage = Stage::Answer;
};
