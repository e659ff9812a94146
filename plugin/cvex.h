// CVEX: the facade the host holds. It traces each call and forwards it to CVEXImpl.
#pragma once
#include "plugin/crpl.h"

#include <memory>

class CVEXImpl;

class CVEX : public CRPL
{
public:
    CVEX();
    ~CVEX() override;
    void GetLastErrorMsg(std::wstring& sMsg) override;
    void SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext) override;
    void SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext) override;
    bool HasCapability(enCapabilityType enCapability) override;
    unsigned GetModuleProperty(unsigned uiId, std::wstring& sOut) override;
    bool Init(CrplCredentials* pCredentials) override;
    bool Fini(bool bHardReset) override;
    bool GetFilespaceList(FileSpaceList* pList) override;
    bool Unused9() override { return true; }
    bool Unused10() override { return true; }
    bool Unused11() override { return true; }
    bool Unused12() override { return true; }
    bool Unused13() override { return true; }
    bool Unused14() override { return true; }
    bool RestoreFilespace(FileSpace* pFileSpace) override;
    bool Unused16() override { return true; }
    bool Unused17() override { return true; }
    bool PrepareSystem() override;
    bool CheckSystemState() override;
    bool Unused20() override { return true; }
    bool Unused21() override { return true; }
    bool Unused22() override { return true; }

    CVEXImpl* Impl() { return m_pImpl.get(); }

private:
    std::unique_ptr<CVEXImpl> m_pImpl;
};
