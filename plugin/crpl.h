// CRPL: the interface through which the host drives every backup plug-in.
// The slot order is the host's ABI: never reorder, insert or remove a virtual.
#pragma once
#include "hostapi/host_types.h"
#include "support/vstring.h"

class CrplCredentials;

enum enCapabilityType : int {
    CAP_MULTI_MACHINE = 1,
    CAP_HARD_LINKS = 2,
    CAP_SYSTEM_STATE = 3,
    CAP_BACKUPSETS = 4,
    CAP_IMAGES = 5,
    CAP_TAPES = 6,
};

class CRPL
{
public:
    CRPL();
    virtual ~CRPL();                                                              // 0
    virtual void GetLastErrorMsg(std::wstring& sMsg) = 0;                         // 1
    virtual void SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext) = 0;   // 2
    virtual void SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext) = 0; // 3
    virtual bool HasCapability(enCapabilityType enCapability) = 0;                // 4
    virtual unsigned GetModuleProperty(unsigned uiId, std::wstring& sOut) = 0;    // 5
    virtual bool Init(CrplCredentials* pCredentials) = 0;                         // 6
    virtual bool Fini(bool bHardReset) = 0;                                       // 7
    virtual bool GetFilespaceList(FileSpaceList* pList) = 0;                      // 8
    virtual bool Unused9() = 0;                                                   // 9
    virtual bool Unused10() = 0;                                                  // 10
    virtual bool Unused11() = 0;                                                  // 11
    virtual bool Unused12() = 0;                                                  // 12
    virtual bool Unused13() = 0;                                                  // 13
    virtual bool Unused14() = 0;                                                  // 14
    virtual bool RestoreFilespace(FileSpace* pFileSpace) = 0;                     // 15
    virtual bool Unused16() = 0;                                                  // 16
    virtual bool Unused17() = 0;                                                  // 17
    virtual bool PrepareSystem() = 0;                                             // 18
    virtual bool CheckSystemState() = 0;                                          // 19
    virtual bool Unused20() = 0;                                                  // 20
    virtual bool Unused21() = 0;                                                  // 21
    virtual bool Unused22() = 0;                                                  // 22

    CRPL(const CRPL&) = delete;
    CRPL& operator=(const CRPL&) = delete;

protected:
    velmora::string m_sProduct;
};

// The module's exports, as the host looks them up with GetProcAddress.
extern "C" {
typedef CRPL* (*FactoryFn)();
typedef CrplCredentials* (*CredentialsFactoryFn)();
}
