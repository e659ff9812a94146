// The tool's TCP connection to the simulated server, kept open while the tool works so that the
// restore module's connection watch sees it.
#pragma once
#include "simulator/common/config.h"
#include "support/handle.h"

#include <string>

namespace nwsim
{

enum class LinkStatus { Ok, Refused, TimedOut, Busy, UnknownServer, UnknownClient, Dropped };

// Parses the server's greeting line (without line end): OK, name, version, build and the number of
// lines after which the server drops the connection (0: never).
LinkStatus ParseGreeting(const std::string& sLine, std::string& sServerName, std::string& sVersion, std::string& sBuild,
                         unsigned& uDropAfterLines);

class ServerLink
{
public:
    ServerLink();
    ~ServerLink();
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    // Connects and introduces the tool; sClient may be "-" when the tool names no client.
    LinkStatus Open(const Config& cfg, const std::string& sTool, const std::string& sServer,
                    const std::string& sClient);
    // Tells the server that one more output line was written (it may drop the connection after N).
    void NotifyLine();
    // False once the server has closed or reset the connection.
    bool Alive();
    // Says BYE and closes. With close_first the tool shuts its side down first and waits (bounded)
    // for the server's close, so that this side's connection is left in TIME_WAIT.
    void Close();

    std::string sServerName, sServerVersion, sServerBuild;

private:
    bool SendText(const std::string& s);
    bool ReadLine(std::string& sLine, unsigned uTimeoutSeconds, bool& bTimedOut);
    velmora::unique_socket m_socket;
    bool m_bStarted = false;
    bool m_bCloseFirst = false;
    unsigned m_uDropAfterLines = 0, m_uLines = 0;
};

} // namespace nwsim
