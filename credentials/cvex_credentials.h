// CvexCredentials: NetWorker server and client identity, the client's network settings and
// the point in time; loaded from and stored to the host's answer file.
#pragma once
#include "credentials/crpl_credentials.h"
#include "support/export.h"
#include "support/ip_address.h"

#include <string>

class CvexCredentials : public CrplCredentials
{
public:
    // Starts from the defaults, then takes the client address, prefix and gateway of the
    // first working network adapter, when there is one.
    CvexCredentials();
    CvexCredentials(const CvexCredentials& other);
    ~CvexCredentials() override;
    void SetDefaults() override;
    bool Check() override;
    // Each field is stored as soon as it is read: a failure leaves the earlier ones changed.
    bool GetCredentialsFromAnsFile(const velmora::string& sPath) override;
    // Replaces the section; a failure leaves the keys written before it in the file.
    bool SetAnsFileFromCredentials(const velmora::string& sPath) override;

    // Copies everything but m_sProduct.
    CVEX_EXPORT CvexCredentials& operator=(const CvexCredentials& other);
    // Invalid addresses never compare equal, so neither do credentials holding one.
    CVEX_EXPORT bool operator==(const CvexCredentials& other) const;
    CVEX_EXPORT bool operator!=(const CvexCredentials& other) const;

    velmora::string m_sServerName;
    velmora::ip_address m_ServerIPAddress;
    velmora::string m_sClientName;
    velmora::ip_address m_ClientIPAddress;
    velmora::ip_address m_ClientDefaultGateway;
    unsigned char m_ClientSubnetPrefix = 8;

private:
    void TakeAdapterDefaults();
};

// True when a server or client name holds a double quote or a control character: such a
// name would break the quoting of command lines and the lines of the hosts and servers files.
bool HasInvalidNameCharacter(const std::wstring& sName);
// The address as text for traces and listings; "<invalid>" for an address that is not one.
std::wstring AddressText(const velmora::ip_address& address);
