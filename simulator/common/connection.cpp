#include "simulator/common/connection.h"

#include "simulator/common/text.h"

namespace nwsim
{
namespace
{

timeval ToTimeval(unsigned uTimeoutMs)
{
    return timeval{static_cast<long>(uTimeoutMs / 1000), static_cast<long>((uTimeoutMs % 1000) * 1000)};
}

bool WaitSocket(SOCKET s, bool bWrite, unsigned uTimeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = ToTimeval(uTimeoutMs);
    int n = bWrite ? select(0, nullptr, &set, nullptr, &tv) : select(0, &set, nullptr, nullptr, &tv);
    return n > 0;
}

// Waits for a non-blocking connect to end. Windows reports a connect that failed in the
// exception set, not the write set: a server that resets at once must not look like silence.
bool WaitConnected(SOCKET s, unsigned uTimeoutMs, bool& bFailed)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv = ToTimeval(uTimeoutMs);
    if (select(0, nullptr, &writable, &failed, &tv) <= 0)
        return false;
    bFailed = FD_ISSET(s, &failed) != 0;
    return true;
}

// Non-blocking connect with a time limit; the socket is blocking again afterwards.
LinkStatus ConnectWithin(SOCKET s, const sockaddr* addr, int len, unsigned uTimeoutSeconds)
{
    u_long ulNonBlocking = 1;
    ioctlsocket(s, FIONBIO, &ulNonBlocking);
    int rc = connect(s, addr, len);
    int err = WSAGetLastError();
    if (rc != 0 && err != WSAEWOULDBLOCK && err != WSAEINPROGRESS)
        return LinkStatus::Refused;
    if (rc != 0) {
        bool bFailed = false;
        if (!WaitConnected(s, uTimeoutSeconds * 1000, bFailed))
            return LinkStatus::TimedOut;
        int soErr = 0;
        int soLen = sizeof(soErr);
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &soLen);
        if (soErr == WSAETIMEDOUT)
            return LinkStatus::TimedOut;
        if (soErr != 0 || bFailed)
            return LinkStatus::Refused;
    }
    ulNonBlocking = 0;
    ioctlsocket(s, FIONBIO, &ulNonBlocking);
    return LinkStatus::Ok;
}

} // namespace

LinkStatus ParseGreeting(const std::string& sLine, std::string& sServerName, std::string& sVersion, std::string& sBuild,
                         unsigned& uDropAfterLines)
{
    std::vector<std::string> f = Split(sLine, '\t');
    if (f[0] == "BUSY")
        return LinkStatus::Busy;
    if (f[0] == "NOSERVER")
        return LinkStatus::UnknownServer;
    if (f[0] == "NOCLIENT")
        return LinkStatus::UnknownClient;
    if (f[0] != "OK" || f.size() < 4)
        return LinkStatus::Refused;
    sServerName = f[1];
    sVersion = f[2];
    sBuild = f[3];
    unsigned long long ull = 0;
    uDropAfterLines = f.size() > 4 && ParseUnsigned(f[4], ull) && ull < 0xFFFFFFFF ? static_cast<unsigned>(ull) : 0;
    return LinkStatus::Ok;
}

ServerLink::ServerLink()
{
    WSADATA wsa;
    m_bStarted = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
}

ServerLink::~ServerLink()
{
    Close();
    if (m_bStarted)
        WSACleanup();
}

LinkStatus ServerLink::Open(const Config& cfg, const std::string& sTool, const std::string& sServer,
                            const std::string& sClient)
{
    m_bCloseFirst = cfg.bCloseFirst;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* info = nullptr;
    if (!m_bStarted || getaddrinfo(cfg.sAddress.c_str(), std::to_string(cfg.uPort).c_str(), &hints, &info) != 0)
        return LinkStatus::Refused;
    m_socket.reset(socket(info->ai_family, SOCK_STREAM, IPPROTO_TCP));
    LinkStatus status =
        m_socket ? ConnectWithin(m_socket.get(), info->ai_addr, static_cast<int>(info->ai_addrlen), cfg.uConnectTimeout)
                 : LinkStatus::Refused;
    freeaddrinfo(info);
    if (status != LinkStatus::Ok)
        return status;
    if (!SendText("HELLO\t" + sTool + "\t" + sServer + "\t" + sClient + "\n"))
        return LinkStatus::Refused;
    std::string sLine;
    bool bTimedOut = false;
    if (!ReadLine(sLine, cfg.uConnectTimeout, bTimedOut))
        return bTimedOut ? LinkStatus::TimedOut : LinkStatus::Refused;
    return ParseGreeting(sLine, sServerName, sServerVersion, sServerBuild, m_uDropAfterLines);
}

bool ServerLink::SendText(const std::string& s)
{
    return m_socket && send(m_socket.get(), s.data(), static_cast<int>(s.size()), 0) == static_cast<int>(s.size());
}

bool ServerLink::ReadLine(std::string& sLine, unsigned uTimeoutSeconds, bool& bTimedOut)
{
    sLine.clear();
    for (;;) {
        if (!WaitSocket(m_socket.get(), false, uTimeoutSeconds * 1000)) {
            bTimedOut = true;
            return false;
        }
        char c = 0;
        if (recv(m_socket.get(), &c, 1, 0) != 1)
            return false;
        if (c == '\n')
            return true;
        sLine += c;
    }
}

void ServerLink::NotifyLine()
{
    SendText("LINE\n");
    if (m_uDropAfterLines && ++m_uLines == m_uDropAfterLines)
        WaitSocket(m_socket.get(), false, 15000); // the server resets the connection now; a loaded machine may be slow
}

bool ServerLink::Alive()
{
    if (!m_socket)
        return false;
    if (!WaitSocket(m_socket.get(), false, 0))
        return true;
    char c = 0;
    return recv(m_socket.get(), &c, 1, MSG_PEEK) > 0;
}

void ServerLink::Close()
{
    if (m_socket)
        SendText("BYE\n");
    if (m_socket && m_bCloseFirst && shutdown(m_socket.get(), SD_SEND) == 0) {
        char buf[256];
        while (WaitSocket(m_socket.get(), false, 5000) && recv(m_socket.get(), buf, sizeof(buf), 0) > 0) {
        }
    }
    m_socket.reset();
}

} // namespace nwsim
