#include "credentials/crpl_credentials.h"

#include "credentials/answer_file.h"
#include "credentials/point_in_time.h"
#include "trace/trace.h"

#include <cstring>

const wchar_t kAnsFileSection[] = L"QernBackupLocation";
const wchar_t kAnsFileKeyPit[] = L"PointInTime";

namespace
{
const size_t kPitMaxChars = 19;
}

CrplCredentials::CrplCredentials() : m_sProduct(L"QERN")
{
    std::memset(&m_Pit, 0, sizeof(m_Pit));
    CvexTrace().Str(TL_VERBOSE, L"CrplCredentials::CrplCredentials", L"sProduct", m_sProduct);
}

CrplCredentials::~CrplCredentials() = default;

void CrplCredentials::SetDefaults()
{
    std::memset(&m_Pit, 0, sizeof(m_Pit));
}

bool CrplCredentials::ParsePit(const velmora::string& sText)
{
    const wchar_t* pFn = L"CrplCredentials::ParsePit";
    CvexTrace().Start(pFn);
    CvexTrace().Str(TL_INFO, pFn, L"sPit", sText);
    if (const wchar_t* pReason = pit::Parse(sText, m_Pit)) {
        CvexTrace().EndFail(pFn, pReason);
        return false;
    }
    CvexTrace().Time(TL_INFO, pFn, L"m_Pit", m_Pit);
    CvexTrace().End(pFn);
    return true;
}

bool CrplCredentials::GetPitFromAnsFile(const velmora::string& sPath)
{
    const wchar_t* pFn = L"CrplCredentials::GetPitFromAnsFile";
    CvexTrace().Start(pFn);
    velmora::string sPit = ansfile::ReadString(sPath, kAnsFileKeyPit, kPitMaxChars);
    CvexTrace().Str(TL_INFO, pFn, L"PointInTime", sPit);
    if (sPit.empty()) {
        // No point in time: the newest backup. One held from an earlier file must not stay.
        m_Pit = SYSTEMTIME{};
        CvexTrace().End(pFn);
        return true;
    }
    if (!ParsePit(sPit)) {
        CvexTrace().EndFail(pFn, L"PointInTime not valid");
        return false;
    }
    CvexTrace().End(pFn);
    return true;
}

bool CrplCredentials::SetAnsFileFromPit(const velmora::string& sPath)
{
    const wchar_t* pFn = L"CrplCredentials::SetAnsFileFromPit";
    CvexTrace().Start(pFn);
    std::wstring sPit = pit::Format(m_Pit);
    CvexTrace().Str(TL_INFO, pFn, L"PointInTime", sPit);
    DWORD dwError = 0;
    // A write that did not happen must not be reported as a stored answer file.
    if (!ansfile::WriteString(sPath, kAnsFileKeyPit, sPit, dwError)) {
        CvexTrace().ApiFailure(pFn, L"WritePrivateProfileStringW(PointInTime)", dwError);
        CvexTrace().EndFail(pFn, L"Failed to write answer file");
        return false;
    }
    CvexTrace().End(pFn);
    return true;
}
