// The decisions of the initialisation sequence (CVEXImpl::Init) as plain functions over text,
// so that tests can call them directly.
#pragma once
#include "support/win.h"

#include <string>

class CRPLImpl;
class TraceScope;

namespace initseq
{

// Posts the message at level 3 and ends Init's trace with the reason; returns false.
bool Fail(TraceScope& scope, CRPLImpl& impl, unsigned uiMessage, const wchar_t* pReason);

// The NetWorker trace group of Init and of the server version query.
const DWORD kTraceGroup = 0x8;
// How often the connection test runs recover at most.
const int kMaxConnectionRuns = 4;
// How long Init watches the daemon it started before the connection test; one that cannot run (its
// log folder not writeable) usually ends within it, and one that ends later is caught after the test.
const DWORD kDaemonSettleMs = 500;

// The point in time as the NetWorker tools take it, "June 05,2021 13:45:00"; empty without a
// point in time (day 0) or with a month outside 1 to 12.
std::wstring FormatPointInTime(const SYSTEMTIME& st);

struct ClientVersion {
    unsigned short usMajor = 0;
    unsigned short usMinor = 0;
    unsigned short usSP = 0;
};
// "9.2.1.5" gives 9, 2, 1: a "." moves to the next number, digits build it, anything else is
// skipped, numbers after the third are ignored.
ClientVersion SplitClientVersion(const std::wstring& sVersion);

// "<recover> -s "<server>" -c "<client>""
std::wstring RecoverCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                                const std::wstring& sClient);

// What one line of the connection test's recover output means; the first text that the line
// holds decides, in this order.
enum class RecoverLine {
    NoRoute,        // "Remote system error - No route to host"
    NoBackups,      // "No files have been backed up for this client"
    SessionOpen,    // "urrent working directory is"
    ThreadsFailed,  // "One or more recover threads failed to exit successfully"
    TimedOut,       // "A connection attempt failed because the connected party did not properly respond"
    RpcCannotCall,  // "RPC cannot make a procedure call"
    NotConfigured,  // "is not properly configured on the NetWorker Server"
    ForciblyClosed, // "An existing connection was forcibly closed"
    Prompt,         // "recover> "
    Other,
};
RecoverLine ClassifyRecoverLine(const std::wstring& sLine);

// Message of a line that names a not-configured host: 104 when the line holds the client
// name, 103 otherwise (the conflict check comes first).
unsigned NotConfiguredMessage(const std::wstring& sLine, const std::wstring& sClientName);

// True when the two host names are the same ignoring case.
bool SameHostName(const std::wstring& sA, const std::wstring& sB);

// The first CD/DVD drive whose root can be read ("F:\"); empty when there is none.
std::wstring FindCdDrive();

} // namespace initseq
