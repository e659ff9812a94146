// A CVEXImpl that lets the client tests set what Init would have set, and records the
// messages the host would have been shown.
#pragma once
#include "client/file_info.h"
#include "plugin/cvex_impl.h"

#include <string>
#include <vector>

class ClientImpl : public CVEXImpl
{
public:
    ClientImpl() { SetLogMsgCallbackFn(&ClientImpl::Log, this); }

    void AcceptServer(const std::wstring& sServer)
    {
        m_bValidCredentials = true;
        m_NetWorkerCredentials.m_sServerName = sServer;
    }
    void SetClientDir(const std::wstring& sDir) { m_sRecoverNetWorkerClientDir = sDir; }
    const std::wstring& ServicePorts() const { return m_sServicePortRange; }
    const std::wstring& ConnectionPorts() const { return m_sConnectionPortRange; }

    // The texts of the message table entries, for comparing with what was logged.
    std::wstring Text(unsigned uiId) { return LoadMessageText(uiId); }

    std::vector<std::wstring> messages;

private:
    static int Log(unsigned, const wchar_t* pText, void* pContext)
    {
        static_cast<ClientImpl*>(pContext)->messages.push_back(pText);
        return 0;
    }
};
