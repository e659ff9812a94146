#include "credentials/cvex_credentials.h"

#include <cstring>

CvexCredentials::CvexCredentials() { SetDefaults(); }
CvexCredentials::CvexCredentials(const CvexCredentials& other) : CrplCredentials() { *this = other; }
CvexCredentials::~CvexCredentials() = default;

void CvexCredentials::SetDefaults()
{
    CrplCredentials::SetDefaults();
    m_sServerName.clear();
    m_sClientName.clear();
    m_ServerIPAddress = velmora::ip_address();
    m_ClientIPAddress = velmora::ip_address();
    m_ClientDefaultGateway = velmora::ip_address();
    m_ClientSubnetPrefix = 8;
}

// Interim until the answer-file work lands.
bool CvexCredentials::Check() { return false; }
bool CvexCredentials::GetCredentialsFromAnsFile(const velmora::string&) { return false; }
bool CvexCredentials::SetAnsFileFromCredentials(const velmora::string&) { return false; }

CvexCredentials& CvexCredentials::operator=(const CvexCredentials& other)
{
    if (this == &other)
        return *this;
    m_sServerName = other.m_sServerName;
    m_ServerIPAddress = other.m_ServerIPAddress;
    m_sClientName = other.m_sClientName;
    m_ClientIPAddress = other.m_ClientIPAddress;
    m_ClientDefaultGateway = other.m_ClientDefaultGateway;
    m_ClientSubnetPrefix = other.m_ClientSubnetPrefix;
    m_Pit = other.m_Pit;
    return *this;
}

bool CvexCredentials::operator==(const CvexCredentials& other) const
{
    return m_sServerName == other.m_sServerName && m_sClientName == other.m_sClientName &&
           m_ServerIPAddress == other.m_ServerIPAddress && m_ClientIPAddress == other.m_ClientIPAddress &&
           m_ClientDefaultGateway == other.m_ClientDefaultGateway &&
           m_ClientSubnetPrefix == other.m_ClientSubnetPrefix && std::memcmp(&m_Pit, &other.m_Pit, sizeof(m_Pit)) == 0;
}

bool CvexCredentials::operator!=(const CvexCredentials& other) const { return !(*this == other); }
