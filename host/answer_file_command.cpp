#include "host/answer_file_command.h"

#include "credentials/point_in_time.h"
#include "host/host_output.h"
#include "support/handle.h"
#include "trace/trace.h"

namespace refhost
{

namespace
{

// The plug-in gives only true or false; why is in its trace, which this program shares.
std::wstring TraceText()
{
    const std::wstring& sPath = CvexTrace().LogPath();
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    std::string data;
    char buf[65536];
    DWORD n = 0;
    while (file && ReadFile(file.get(), buf, sizeof(buf), &n, nullptr) && n > 0)
        data.append(buf, n);
    int iChars = MultiByteToWideChar(CP_UTF8, 0, data.data(), static_cast<int>(data.size()), nullptr, 0);
    std::wstring sText(static_cast<size_t>(iChars > 0 ? iChars : 0), L'\0');
    if (iChars > 0)
        MultiByteToWideChar(CP_UTF8, 0, data.data(), static_cast<int>(data.size()), sText.data(), iChars);
    return sText;
}

std::wstring Outcome(bool bOk, const wchar_t* pFunction)
{
    if (bOk)
        return L"passed";
    std::wstring sReason = LastEndingReason(TraceText(), pFunction);
    return L"failed (" + (sReason.empty() ? std::wstring(L"no reason in the trace") : sReason) + L")";
}

} // namespace

AnswerFileOptions ParseAnswerFileOptions(const std::vector<std::wstring>& args)
{
    AnswerFileOptions options;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == L"--answer-file")
            options.sLoadPath = args[i + 1];
        else if (args[i] == L"--write-answer-file")
            options.sWritePath = args[i + 1];
    }
    return options;
}

std::vector<std::wstring> DescribeCredentials(const CvexCredentials& cred)
{
    std::wstring sPit = pit::Format(cred.m_Pit);
    return {
        L"Server name:            " + cred.m_sServerName,
        L"Server IP address:      " + AddressText(cred.m_ServerIPAddress),
        L"Client name:            " + cred.m_sClientName,
        L"Client IP address:      " + AddressText(cred.m_ClientIPAddress),
        L"Client subnet prefix:   " + std::to_wstring(cred.m_ClientSubnetPrefix),
        L"Client default gateway: " + AddressText(cred.m_ClientDefaultGateway),
        L"Point in time:          " + (sPit.empty() ? std::wstring(L"none (latest backup)") : sPit),
    };
}

std::wstring LastEndingReason(const std::wstring& sTrace, const std::wstring& sFunction)
{
    const std::wstring sMark = sFunction + L" : ... ending(";
    size_t iAt = sTrace.rfind(sMark);
    if (iAt == std::wstring::npos)
        return {};
    size_t iStart = iAt + sMark.size();
    std::wstring sRest = sTrace.substr(iStart, sTrace.find(L'\n', iStart) - iStart);
    while (!sRest.empty() && (sRest.back() == L'\r' || sRest.back() == L' '))
        sRest.pop_back();
    if (sRest.empty() || sRest.back() != L')')
        return {};
    sRest.pop_back();
    return sRest;
}

int RunAnswerFileCommand(const AnswerFileOptions& options, CrplCredentials& credentials)
{
    // The host knows which plug-in it loaded: this one's credentials are CvexCredentials.
    auto& cred = static_cast<CvexCredentials&>(credentials);
    bool bAllOk = true;
    if (!options.sLoadPath.empty()) {
        bool bLoaded = cred.GetCredentialsFromAnsFile(options.sLoadPath);
        Print(L"Answer file " + options.sLoadPath + L": " +
              Outcome(bLoaded, L"CvexCredentials::GetCredentialsFromAnsFile"));
        bool bChecked = cred.Check();
        for (const std::wstring& sLine : DescribeCredentials(cred))
            Print(sLine);
        Print(L"Check: " + Outcome(bChecked, L"CvexCredentials::Check"));
        bAllOk = bLoaded && bChecked;
    }
    if (!options.sWritePath.empty()) {
        bool bWritten = cred.SetAnsFileFromCredentials(options.sWritePath);
        Print(L"Writing " + options.sWritePath + L": " +
              Outcome(bWritten, L"CvexCredentials::SetAnsFileFromCredentials"));
        bAllOk = bAllOk && bWritten;
    }
    return bAllOk ? 0 : 1;
}

} // namespace refhost
