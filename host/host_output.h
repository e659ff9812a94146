// How the reference host shows what the plug-in tells it: messages with their level,
// progress records rendered as one line each.
#pragma once
#include "hostapi/host_types.h"

#include <string>

namespace refhost
{

void Print(const std::wstring& sLine);
// Writes text as it is (no line end added): the progress views redraw with "\r".
void WriteText(const std::wstring& sText);
// The text and one blank, padded with blanks to n characters first: a column of a table.
std::wstring Pad(std::wstring s, size_t n);
std::wstring LevelName(unsigned uiLevel);
std::wstring RenderProgress(const ProgressRecord& record);

// What the host answers to the plug-in's callbacks.
struct HostAnswers {
    std::wstring sPassword;              // typed in answer to a password request
    unsigned uiAbortAfterHeartbeats = 0; // 0: never abort
    unsigned uiHeartbeats = 0;
    unsigned uiErrors = 0;
};

// Every message of the plug-in is also handed to the sink when one is set (the recovery's report).
using MessageSink = void (*)(unsigned uiLevel, const std::wstring& sText, void* pContext);
void SetMessageSink(MessageSink pSink, void* pContext);
void NoteMessage(unsigned uiLevel, const std::wstring& sText);

int LogCallback(unsigned uiLevel, const wchar_t* pText, void* pContext);
unsigned ProgressCallback(ProgressRecord* pRecord, void* pContext);

} // namespace refhost
