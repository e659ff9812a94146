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

// Index of the first row whose remote port is the daemon's, or -1.
int FindNsrexecdRow(const std::vector<TcpRow>& rows);
// Trace text for a TCP state ("NetWorker nsrexecd Port - Established"); empty when unknown.
std::wstring NsrexecdStateText(DWORD dwState);
