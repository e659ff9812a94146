// A CVEXImpl that lets the client tests set what Init would have set, and records the
// messages the host would have been shown.
#pragma once
#include "client/file_info.h"
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

#include <algorithm>
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

    // The ids of the messages logged, told by the loaded message table (0: no message of it).
    std::vector<unsigned> Ids() const { return testutil::MessageIdsOf(GetModuleHandleW(L"CVEX.DLL"), messages); }
    bool Logged(unsigned uiId) const
    {
        std::vector<unsigned> ids = Ids();
        return std::find(ids.begin(), ids.end(), uiId) != ids.end();
    }
    std::wstring LastError()
    {
        std::wstring s;
        GetLastErrorMsg(s);
        return s;
    }
    // The id of the last error message (0: none or no message of the table).
    unsigned LastErrorId()
    {
        return testutil::MessageIdsOf(GetModuleHandleW(L"CVEX.DLL"), {{ML_ERROR, LastError()}})[0];
    }

    std::vector<testutil::HostMessage> messages;
    int iAnswer = 0; // what the host answers to message uiAnswerTo
    unsigned uiAnswerTo = 0;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        auto* self = static_cast<ClientImpl*>(pContext);
        self->messages.push_back({uiLevel, pText});
        return self->uiAnswerTo != 0 && self->Ids().back() == self->uiAnswerTo ? self->iAnswer : 0;
    }
};
