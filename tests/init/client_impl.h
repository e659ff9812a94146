// A CVEXImpl that lets the client tests set what Init would have set, and records the
// messages the host would have been shown.
#pragma once
#include "client/file_info.h"
#include "tests/engine/engine_fixture.h"

#include <string>

class ClientImpl : public CVEXImpl, public HostRecorder
{
public:
    ClientImpl() { SetLogMsgCallbackFn(&HostRecorder::Log, static_cast<HostRecorder*>(this)); }

    void AcceptServer(const std::wstring& sServer)
    {
        m_bValidCredentials = true;
        m_NetWorkerCredentials.m_sServerName = sServer;
    }
    void SetClientDir(const std::wstring& sDir) { m_sRecoverNetWorkerClientDir = sDir; }
    const std::wstring& ServicePorts() const { return m_sServicePortRange; }
    const std::wstring& ConnectionPorts() const { return m_sConnectionPortRange; }

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
};
