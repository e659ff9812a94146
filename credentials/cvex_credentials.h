// CvexCredentials: NetWorker server and client identity, the client's network settings and
// the point in time; loaded from and stored to the host's answer file.
#pragma once
#include "credentials/crpl_credentials.h"
#include "plugin/crpl_impl.h" // CVEX_EXPORT
#include "support/ip_address.h"

class CvexCredentials : public CrplCredentials {
public:
    CvexCredentials();
    CvexCredentials(const CvexCredentials& other);
    ~CvexCredentials() override;
    void SetDefaults() override;
    bool Check() override;
    bool GetCredentialsFromAnsFile(const velmora::string& sPath) override;
    bool SetAnsFileFromCredentials(const velmora::string& sPath) override;

    CVEX_EXPORT CvexCredentials& operator=(const CvexCredentials& other);
    CVEX_EXPORT bool operator==(const CvexCredentials& other) const;
    CVEX_EXPORT bool operator!=(const CvexCredentials& other) const;

    velmora::string m_sServerName;
    velmora::ip_address m_ServerIPAddress;
    velmora::string m_sClientName;
    velmora::ip_address m_ClientIPAddress;
    velmora::ip_address m_ClientDefaultGateway;
    unsigned char m_ClientSubnetPrefix = 8;
};
