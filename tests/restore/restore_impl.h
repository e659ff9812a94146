// A CVEXImpl for the restore tests that records the messages the host would have been shown.
#pragma once
#include "plugin/cvex_impl.h"

#include <string>
#include <vector>

struct LoggedMessage {
    unsigned uiLevel;
    std::wstring sText;
};

class RestoreImpl : public CVEXImpl
{
public:
    RestoreImpl() { SetLogMsgCallbackFn(&RestoreImpl::Log, this); }
    std::wstring Text(unsigned uiId) { return LoadMessageText(uiId); }
    // The only message so far, which must be an error; empty when there is none or several.
    std::wstring OnlyError() const
    {
        return messages.size() == 1 && messages[0].uiLevel == ML_ERROR ? messages[0].sText : std::wstring();
    }

    std::vector<LoggedMessage> messages;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        static_cast<RestoreImpl*>(pContext)->messages.push_back({uiLevel, pText});
        return 0;
    }
};
