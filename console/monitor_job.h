// What the monitoring thread of one tool gets from the session, by value. The process, console
// input, mutex and ready event are borrowed: the session closes them only after it has joined the
// thread. The pipe's write end is the job's own: the thread closes it when the tool has ended, so
// that the reader sees the end of the output once the pipe is empty.
#pragma once
#include "console/console_session.h"

struct MonitorJob {
    HANDLE hProcess;
    HANDLE hConIn;
    velmora::unique_file hStdOutWr;
    HANDLE hCommandMutex;
    HANDLE hReady; // set once the thread owns the command mutex
    ConsoleSession::Shared& shared;
};
