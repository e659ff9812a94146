#include "tests/abi/abi_host.h"
#include <algorithm>

namespace abi
{
namespace
{

int g_nBadContexts = 0;

HostChannel* ChannelOf(void* pContext)
{
    auto* pChannel = static_cast<HostChannel*>(pContext);
    if (pChannel && pChannel->uiMagic == HostChannel::kMagic)
        return pChannel;
    ++g_nBadContexts;
    return nullptr;
}

int OnLog(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    HostChannel* pChannel = ChannelOf(pContext);
    if (pChannel)
        pChannel->messages.emplace_back(uiLevel, pText ? pText : L"<null>");
    return 0;
}

unsigned OnProgress(ProgressRecord* pRecord, void* pContext)
{
    HostChannel* pChannel = ChannelOf(pContext);
    if (pChannel && pRecord)
        pChannel->progress.emplace_back(pRecord->uiKind, pRecord->sText1);
    return 0; // go on
}

} // namespace

int BadContextCalls()
{
    return g_nBadContexts;
}

void HostChannel::Attach(void* pPlugin)
{
    rawabi::Slot<rawabi::SetLogFn>(pPlugin, rawabi::kSetLogMsgCallbackFn)(pPlugin, &OnLog, this);
    rawabi::Slot<rawabi::SetProgFn>(pPlugin, rawabi::kSetProgMsgCallbackFn)(pPlugin, &OnProgress, this);
}

std::wstring HostChannel::LastErrorMessage() const
{
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        if (it->first == ML_ERROR)
            return it->second;
    return {};
}

bool HostChannel::HasProgress(unsigned uiKind, const std::wstring& sText1) const
{
    return std::find(progress.begin(), progress.end(), std::make_pair(uiKind, sText1)) != progress.end();
}

bool HostChannel::HasProgressKind(unsigned uiKind) const
{
    return std::any_of(progress.begin(), progress.end(), [&](const auto& record) { return record.first == uiKind; });
}

} // namespace abi
