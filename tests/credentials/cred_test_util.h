// Helpers of the credentials tests: the trace lines an action wrote, and answer files.
#pragma once
#include "support/ip_address.h"
#include "tests/common/test_util.h"

#include <string>

namespace credtest
{

inline velmora::ip_address Addr(const wchar_t* pText)
{
    return velmora::ip_address(velmora::string(pText));
}

// The module's trace log as the test program writes it.
inline std::wstring TraceLog()
{
    return testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log");
}

// Remembers the end of the trace log; New() gives what was written since.
class TraceWatch
{
public:
    TraceWatch() : m_nStart(TraceLog().size()) {}
    std::wstring New() const
    {
        std::wstring s = TraceLog();
        return m_nStart < s.size() ? s.substr(m_nStart) : std::wstring();
    }
    bool Saw(const std::wstring& sPart) const { return testutil::Contains(New(), sPart); }

private:
    size_t m_nStart;
};

// "[QernBackupLocation]" followed by the given lines, each ended with CR LF.
inline std::string Section(const std::string& sLines)
{
    return "[QernBackupLocation]\r\n" + sLines;
}

// The keys of a complete, valid answer file, each line ended with CR LF.
inline std::string ValidKeys()
{
    return "ServerName=nwserver\r\nServerIPAddress=10.0.0.5\r\nClientName=client1\r\n"
           "ClientIPAddress=10.0.0.20\r\nClientSubnetPrefixLength=24\r\nClientDefaultGateway=10.0.0.1\r\n";
}

} // namespace credtest
