#include "credentials/crpl_credentials.h"

#include "trace/trace.h"

#include <cstring>

const wchar_t kAnsFileSection[] = L"QernBackupLocation";
const wchar_t kAnsFileKeyPit[] = L"PointInTime";

CrplCredentials::CrplCredentials() : m_sProduct(L"QERN")
{
    std::memset(&m_Pit, 0, sizeof(m_Pit));
    CvexTrace().Str(TL_VERBOSE, L"CrplCredentials::CrplCredentials", L"sProduct", m_sProduct);
}

CrplCredentials::~CrplCredentials() = default;

void CrplCredentials::SetDefaults() { std::memset(&m_Pit, 0, sizeof(m_Pit)); }

// Interim until the answer-file work lands.
bool CrplCredentials::ParsePit(const velmora::string&) { return false; }
bool CrplCredentials::GetPitFromAnsFile(const velmora::string&) { return false; }
bool CrplCredentials::SetAnsFileFromPit(const velmora::string&) { return false; }
