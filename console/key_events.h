// Console key events for typing answers into a tool's console.
#pragma once
#include "support/win.h"

#include <string>

// Fills a key event from the layout's answer for the character (VkKeyScanExW result) and
// the scan code of its virtual key. False when the character has no key (no scan code).
bool BuildKeyEvent(wchar_t wc, SHORT sVkScan, UINT uiScanCode, bool bKeyDown, INPUT_RECORD& record);
// Printable form of a key event, so that a failing test says what differed.
std::wstring DescribeKeyEvent(const INPUT_RECORD& record);
