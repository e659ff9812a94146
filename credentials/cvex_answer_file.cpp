// Loading and storing the NetWorker credentials in the host's answer file.
#include "credentials/answer_file.h"
#include "credentials/cvex_credentials.h"
#include "support/cnm.h"
#include "support/handle.h"
#include "trace/trace.h"

#include <cstring>

namespace
{

const size_t kNameMaxChars = 256;
const size_t kAddressMaxChars = 39;

const wchar_t kKeyServerName[] = L"ServerName";
const wchar_t kKeyServerIPAddress[] = L"ServerIPAddress";
const wchar_t kKeyClientName[] = L"ClientName";
const wchar_t kKeyClientIPAddress[] = L"ClientIPAddress";
const wchar_t kKeyClientSubnetPrefixLength[] = L"ClientSubnetPrefixLength";
const wchar_t kKeyClientNetMask[] = L"ClientNetMask";
const wchar_t kKeyClientDefaultGateway[] = L"ClientDefaultGateway";

const wchar_t kLoadFn[] = L"CvexCredentials::GetCredentialsFromAnsFile";
const wchar_t kStoreFn[] = L"CvexCredentials::SetAnsFileFromCredentials";

bool Fail(const wchar_t* pFn, const wchar_t* pReason)
{
    CvexTrace().EndFail(pFn, pReason);
    return false;
}

// Reads an address key; the value is traced as read, before it is judged.
velmora::ip_address ReadAddress(const std::wstring& sPath, const wchar_t* pKey)
{
    velmora::string sText = ansfile::ReadString(sPath, pKey, kAddressMaxChars);
    CvexTrace().Str(TL_INFO, kLoadFn, pKey, sText);
    return velmora::ip_address(sText);
}

velmora::string ReadName(const std::wstring& sPath, const wchar_t* pKey)
{
    velmora::string sName = ansfile::ReadString(sPath, pKey, kNameMaxChars);
    CvexTrace().Str(TL_INFO, kLoadFn, pKey, sName);
    return sName;
}

// A missing or unreadable file reads as an empty section; say why before the first key fails.
void TraceFileState(const std::wstring& sPath)
{
    DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(kLoadFn, L"GetFileAttributesW(answer file)", dwError);
    } else if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        CvexTrace().Line(TL_ERROR, kLoadFn, L"The answer file path names a folder");
    }
}

// The profile API creates the file on the first write and rewrites it whole. Under Wine it
// reports success for a read-only file that it did not change (and, run as root, even opening
// such a file for writing succeeds), so look at the file first.
bool CanWrite(const std::wstring& sPath)
{
    DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY)) {
        CvexTrace().Line(TL_ERROR, kStoreFn, L"The answer file is read-only");
        return false;
    }
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwError = GetLastError();
    if (file)
        return true;
    CvexTrace().ApiFailure(kStoreFn, L"CreateFileW(answer file)", dwError);
    return false;
}

bool Write(const std::wstring& sPath, const wchar_t* pKey, const std::wstring& sValue)
{
    CvexTrace().Str(TL_INFO, kStoreFn, pKey, sValue);
    DWORD dwError = 0;
    if (ansfile::WriteString(sPath, pKey, sValue, dwError))
        return true;
    CvexTrace().ApiFailure(kStoreFn, (L"WritePrivateProfileStringW(" + std::wstring(pKey) + L")").c_str(), dwError);
    return false;
}

// What one key will hold, or why it cannot be stored.
struct StoredValue {
    std::wstring sText;
    const wchar_t* pProblem = nullptr;
};

struct StoreField {
    const wchar_t* pKey;
    StoredValue value;
};

StoredValue StoredAddress(const velmora::ip_address& address, const wchar_t* pMissing)
{
    if (!address.is_valid())
        return {L"", pMissing};
    return {address.to_string()};
}

// A quote or a line break in a name would corrupt the structure of the file.
StoredValue StoredName(const std::wstring& sName, const wchar_t* pMissing, const wchar_t* pBadCharacter)
{
    if (sName.empty())
        return {L"", pMissing};
    if (HasInvalidNameCharacter(sName))
        return {L"", pBadCharacter};
    return {sName};
}

StoredValue StoredPrefix(unsigned char ucPrefix)
{
    if (ucPrefix == 0)
        return {L"", L"ClientSubnetPrefix not in Credentials"};
    return {std::to_wstring(ucPrefix)};
}

} // namespace

bool CvexCredentials::GetCredentialsFromAnsFile(const velmora::string& sPath)
{
    CvexTrace().Start(kLoadFn);
    if (sPath.empty())
        return Fail(kLoadFn, L"Invalid answer file path");
    CvexTrace().Str(TL_INFO, kLoadFn, L"sPath", sPath);
    TraceFileState(sPath);

    m_ServerIPAddress = ReadAddress(sPath, kKeyServerIPAddress);
    if (!m_ServerIPAddress.is_valid())
        return Fail(kLoadFn, L"ServerIPAddress not valid");
    m_sServerName = ReadName(sPath, kKeyServerName);
    if (m_sServerName.empty())
        return Fail(kLoadFn, L"ServerName not found");
    m_sClientName = ReadName(sPath, kKeyClientName);
    if (m_sClientName.empty())
        return Fail(kLoadFn, L"ClientName not found");
    m_ClientIPAddress = ReadAddress(sPath, kKeyClientIPAddress);
    if (!m_ClientIPAddress.is_valid())
        return Fail(kLoadFn, L"ClientIPAddress not valid");

    UINT uiPrefix = ansfile::ReadInt(sPath, kKeyClientSubnetPrefixLength);
    CvexTrace().Int(TL_INFO, kLoadFn, kKeyClientSubnetPrefixLength, static_cast<long long>(uiPrefix));
    // A length that does not fit in 8 bits (or a negative one) would wrap to a plausible but
    // wrong prefix (280 would become 24): refuse it rather than guess.
    if (uiPrefix > 0xFF)
        return Fail(kLoadFn, L"ClientSubnetPrefixLength not valid");
    m_ClientSubnetPrefix = static_cast<unsigned char>(uiPrefix);
    if (m_ClientSubnetPrefix == 0) {
        velmora::ip_address netmask = ReadAddress(sPath, kKeyClientNetMask);
        if (!netmask.is_valid())
            return Fail(kLoadFn, L"ClientNetMask not valid");
        m_ClientSubnetPrefix = CNM::ConvertNetmaskToPrefix(netmask);
        CvexTrace().Int(TL_INFO, kLoadFn, L"m_ClientSubnetPrefix", m_ClientSubnetPrefix);
    }

    m_ClientDefaultGateway = ReadAddress(sPath, kKeyClientDefaultGateway);
    if (!m_ClientDefaultGateway.is_valid())
        return Fail(kLoadFn, L"ClientDefaultGateway not valid");

    if (!GetPitFromAnsFile(sPath)) {
        CvexTrace().Line(TL_WARNING, kLoadFn, L"No valid Point-in-Time");
        std::memset(&m_Pit, 0, sizeof(m_Pit));
    }
    CvexTrace().End(kLoadFn);
    return true;
}

bool CvexCredentials::SetAnsFileFromCredentials(const velmora::string& sPath)
{
    CvexTrace().Start(kStoreFn);
    if (sPath.empty())
        return Fail(kStoreFn, L"Invalid answer file path");
    CvexTrace().Str(TL_INFO, kStoreFn, L"sPath", sPath);
    if (!CanWrite(sPath))
        return Fail(kStoreFn, L"Failed to write answer file");
    DWORD dwError = 0;
    if (!ansfile::EmptySection(sPath, dwError))
        CvexTrace().ApiFailure(kStoreFn, L"WritePrivateProfileStringW(QernBackupLocation)", dwError);

    const StoreField fields[] = {
        {kKeyServerIPAddress, StoredAddress(m_ServerIPAddress, L"ServerIPAddress not in Credentials")},
        {kKeyServerName,
         StoredName(m_sServerName, L"ServerName not in Credentials", L"Invalid character in server name")},
        {kKeyClientName,
         StoredName(m_sClientName, L"ClientName not in Credentials", L"Invalid character in client name")},
        {kKeyClientIPAddress, StoredAddress(m_ClientIPAddress, L"ClientIPAddress not in Credentials")},
        {kKeyClientSubnetPrefixLength, StoredPrefix(m_ClientSubnetPrefix)},
        {kKeyClientDefaultGateway, StoredAddress(m_ClientDefaultGateway, L"ClientDefaultGateway not in Credentials")},
    };
    for (const StoreField& field : fields) {
        if (field.value.pProblem)
            return Fail(kStoreFn, field.value.pProblem);
        if (!Write(sPath, field.pKey, field.value.sText))
            return Fail(kStoreFn, L"Failed to write answer file");
    }

    if (!SetAnsFileFromPit(sPath))
        return Fail(kStoreFn, L"Failed to set Point-in-Time");
    CvexTrace().End(kStoreFn);
    return true;
}
