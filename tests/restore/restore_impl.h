// A CVEXImpl for the restore tests that records the messages the host would have been shown.
#pragma once
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

#include <string>
#include <vector>

struct LoggedMessage {
    unsigned uiLevel;
    std::wstring sText;
};

inline std::wstring Error(unsigned uiId, unsigned uiCode)
{
    return std::to_wstring(uiId) + L" " + std::to_wstring(uiCode);
}

class RestoreImpl : public CVEXImpl
{
public:
    RestoreImpl() { SetLogMsgCallbackFn(&RestoreImpl::Log, this); }
    // The only message so far as "id code": the id of the DLL's message it is and the error code
    // it ends with; empty when there is none or several, or it is no error.
    std::wstring OnlyError() const
    {
        if (messages.size() != 1 || messages[0].uiLevel != ML_ERROR)
            return std::wstring();
        const std::wstring& s = messages[0].sText;
        unsigned uiId = testutil::MessageIdsOf(GetModuleHandleW(L"CVEX.DLL"), {{ML_ERROR, s}})[0];
        return std::to_wstring(uiId) + L" " + s.substr(s.find_last_of(L' ') + 1);
    }

    std::vector<LoggedMessage> messages;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        static_cast<RestoreImpl*>(pContext)->messages.push_back({uiLevel, pText});
        return 0;
    }
};
