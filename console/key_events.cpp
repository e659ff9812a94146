#include "console/key_events.h"

bool BuildKeyEvent(wchar_t wc, SHORT sVkScan, UINT uiScanCode, bool bKeyDown, INPUT_RECORD& record)
{
    if (sVkScan == -1 || uiScanCode == 0)
        return false;
    record = INPUT_RECORD{};
    record.EventType = KEY_EVENT;
    KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    key.bKeyDown = bKeyDown ? TRUE : FALSE;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = static_cast<WORD>(sVkScan & 0xFF);
    key.wVirtualScanCode = static_cast<WORD>(uiScanCode);
    key.uChar.UnicodeChar = wc;
    DWORD dwState = 0;
    if (sVkScan & 0x100)
        dwState += SHIFT_PRESSED;
    if (sVkScan & 0x200)
        dwState += LEFT_CTRL_PRESSED;
    if (sVkScan & 0x400)
        dwState += LEFT_ALT_PRESSED;
    key.dwControlKeyState = dwState;
    return true;
}

std::wstring DescribeKeyEvent(const INPUT_RECORD& r)
{
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    return std::wstring(k.bKeyDown ? L"down" : L"up") + L" vk=" + std::to_wstring(k.wVirtualKeyCode) + L" scan=" +
           std::to_wstring(k.wVirtualScanCode) + L" char=" + std::to_wstring(k.uChar.UnicodeChar) + L" state=" +
           std::to_wstring(k.dwControlKeyState);
}
