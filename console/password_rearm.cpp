#include "console/password_rearm.h"

RearmAction PasswordRearm::Next(const RearmPoll& poll)
{
    if (m_stage == Stage::Answer) {
        // An unanswered prompt is the same prompt however long the host takes.
        if (!poll.bAnswered)
            return RearmAction::Wait;
        m_stage = poll.bTyped ? Stage::KeysRead : Stage::Pause;
    }
    if (poll.ullSinceAnswerMs >= m_dwPauseMs)
        return RearmAction::Resume;
    // Without a record count nothing is proven: wait for the pause.
    if (!poll.bPendingRead || m_stage == Stage::Pause || poll.dwPendingRecords != 0)
        return RearmAction::Wait;
    if (m_stage == Stage::KeysRead) {
        m_stage = Stage::MarkerRead;
        return RearmAction::WriteMarker;
    }
    return poll.bModeRead && poll.dwMode == 0 ? RearmAction::NewPrompt : RearmAction::Resume;
}
