// What the console engine needs of the object that drives it: the way to the host (messages of
// the string table, progress records) and the family of the server's address for the
// connection watch. CVEXImpl answers it; tests give a recording stand-in.
#pragma once
#include "hostapi/host_types.h"
#include "support/win.h"

#include <string>

class EngineHost
{
public:
    // Posts message uiId at the level (a level 3 message also becomes the last error) and
    // returns the host's answer.
    virtual int LogMessage(unsigned uiLevel, unsigned uiId) = 0;
    // The same for a message that takes one number, an error code.
    virtual int LogMessageCode(unsigned uiLevel, unsigned uiId, DWORD dwCode) = 0;
    // The text of a message; empty when it cannot be loaded.
    virtual std::wstring MessageText(unsigned uiId) = 0;
    // Sends a progress record and returns the host's answer (0 without a callback).
    virtual unsigned ReportProgress(ProgressRecord& record) = 0;
    virtual bool CanReportProgress() const = 0;
    // AF_INET6 when the server's address is IPv6; otherwise the IPv4 table is watched.
    virtual int ServerAddressFamily() const = 0;

protected:
    ~EngineHost() = default;
};
