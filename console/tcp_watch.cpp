#include "console/tcp_watch.h"

int FindNsrexecdRow(const std::vector<TcpRow>& rows)
{
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].usRemotePort == kNsrexecdPort && rows[i].dwState == kTcpStateEstablished)
            return static_cast<int>(i);
    return -1;
}

std::wstring NsrexecdStateText(DWORD dwState)
{
    static const wchar_t* const kStates[] = {L"Closed",      L"Listening", L"Syn Sent",  L"Syn Rcvd",
                                             L"Established", L"Fin Wait1", L"Fin Wait2", L"Close Wait",
                                             L"Closing",     L"Last Ack",  L"Time Wait", L"Delete TCB"};
    if (dwState < 1 || dwState > 12)
        return {};
    return std::wstring(L"NetWorker nsrexecd Port - ") + kStates[dwState - 1];
}
