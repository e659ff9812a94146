// Finding the connection to the NetWorker execution daemon (remote port 7937) in a TCP table.
#pragma once
#include "support/win.h"

#include <string>
#include <vector>

const unsigned short kNsrexecdPort = 7937;

struct TcpRow {
    unsigned short usRemotePort; // host byte order
    DWORD dwState;
};

// The TCP state of a live connection (MIB_TCP_STATE_ESTAB).
const DWORD kTcpStateEstablished = 5;

// Index of the first established connection to the daemon's port, or -1. A row in TIME_WAIT or
// CLOSE_WAIT is what an ended or dropped session leaves behind, not a live one.
int FindNsrexecdRow(const std::vector<TcpRow>& rows);
// Trace text for a TCP state ("NetWorker nsrexecd Port - Established"); empty when unknown.
std::wstring NsrexecdStateText(DWORD dwState);
