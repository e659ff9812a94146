#include "console/noise.h"

const wchar_t* IgnoreReason(const std::wstring& sLine)
{
    static const struct {
        const wchar_t* pText;
        const wchar_t* pReason;
    } kNoise[] = {
        {L"Failed initialize ports", L"Ignoring Ports"},
        {L"RAP error: Service not available", L"Ignoring Bad Service"},
        {L"Failed to get port range from local", L"Ignoring Bad Port Range"},
    };
    if (sLine.empty())
        return L"Empty line";
    for (const auto& noise : kNoise)
        if (sLine.find(noise.pText) != std::wstring::npos)
            return noise.pReason;
    return nullptr;
}
