// A CVEXImpl for the security tests: the messages it posts are recorded, and the steps that
// are protected are reachable.
#pragma once
#include "plugin/cvex_impl.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class SecurityImpl : public CVEXImpl
{
public:
    SecurityImpl() { SetLogMsgCallbackFn(&SecurityImpl::Log, this); }

    std::wstring Text(unsigned uiId) { return LoadMessageText(uiId); }
    std::wstring LastError()
    {
        std::wstring s;
        GetLastErrorMsg(s);
        return s;
    }
    // Init's state without running Init: the credentials count as accepted.
    void AcceptServer(const std::wstring& sServer, const std::wstring& sClient)
    {
        m_bValidCredentials = true;
        m_NetWorkerCredentials.m_sServerName = sServer;
        m_NetWorkerCredentials.m_sClientName = sClient;
    }
    using CVEXImpl::RestoreOneSsid;
    using CVEXImpl::SsidWalk;
    using CVEXImpl::WriteNsradminCommandFile;

    std::vector<std::wstring> messages;

private:
    static int Log(unsigned, const wchar_t* pText, void* pContext)
    {
        static_cast<SecurityImpl*>(pContext)->messages.push_back(pText);
        return 0;
    }
};

// A file's bytes exactly as they are on disk, and a file written with exactly these bytes.
inline std::string ReadBytes(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& sPath, const std::string& sBytes)
{
    std::ofstream out(sPath.c_str(), std::ios::binary | std::ios::trunc);
    out << sBytes;
}
