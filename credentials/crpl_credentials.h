// CrplCredentials: what every backup plug-in of the host needs: the point in time to
// restore from and the edition code. Owns the PointInTime key of the answer file.
#pragma once
#include "support/vstring.h"
#include "support/win.h"

extern const wchar_t kAnsFileSection[]; // "QernBackupLocation"
extern const wchar_t kAnsFileKeyPit[];  // "PointInTime"

class CrplCredentials
{
public:
    CrplCredentials();
    virtual ~CrplCredentials();                                               // 0
    virtual void SetDefaults();                                               // 1
    virtual bool Check() = 0;                                                 // 2
    virtual bool GetCredentialsFromAnsFile(const velmora::string& sPath) = 0; // 3
    virtual bool SetAnsFileFromCredentials(const velmora::string& sPath) = 0; // 4

    // Parses "DD/MM/YYYY HH:MM:SS" into m_Pit; a failed parse keeps the fields it stored.
    bool ParsePit(const velmora::string& sText);
    // Reads the PointInTime key (at most 19 characters); an empty or missing key clears m_Pit.
    bool GetPitFromAnsFile(const velmora::string& sPath);
    // Writes the PointInTime key, empty when there is no point in time; false when not written.
    bool SetAnsFileFromPit(const velmora::string& sPath);
    // True when a point in time is set (wDay not zero).
    bool HasPit() const { return m_Pit.wDay != 0; }

    SYSTEMTIME m_Pit;
    velmora::string m_sProduct;

protected:
    CrplCredentials(const CrplCredentials&) = default;
    CrplCredentials& operator=(const CrplCredentials&) = default;
};
