#include "host/host_output.h"

#include "support/vstring.h"

#include <cstdio>

namespace refhost
{

void Print(const std::wstring& sLine)
{
    std::string s = velmora::to_utf8(sLine);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void WriteText(const std::wstring& sText)
{
    std::string s = velmora::to_utf8(sText);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fflush(stdout);
}

std::wstring Pad(std::wstring s, size_t n)
{
    if (s.size() < n)
        s.append(n - s.size(), L' ');
    return s + L" ";
}

std::wstring LevelName(unsigned uiLevel)
{
    switch (uiLevel) {
    case ML_INFORMATION: return L"INFO";
    case ML_WARNING: return L"WARNING";
    case ML_ERROR: return L"ERROR";
    default: return L"LEVEL " + std::to_wstring(uiLevel);
    }
}

std::wstring RenderProgress(const ProgressRecord& r)
{
    switch (r.uiKind) {
    case PK_PASS_START:
        return L"[progress] start " + r.sText1 + L" (" + std::to_wstring(r.uiTotalFiles) + L" objects, " +
               std::to_wstring(r.ullTotalBytes) + L" bytes)";
    case PK_OBJECT_RESTORED:
        return L"[progress] " + std::to_wstring(r.uiFilesRestored) + L"/" + std::to_wstring(r.uiTotalFiles) + L" " +
               r.sText1 + L" (" + std::to_wstring(r.ullCurrentSize) + L" bytes)";
    case PK_PASS_FAILED: return L"[progress] failed " + r.sText1;
    case PK_PASS_FINISHED: return L"[progress] finished " + r.sText1;
    case PK_HEARTBEAT: return L"[progress] waiting ...";
    case PK_PASSWORD_REQUEST: return L"[progress] password requested for " + r.sText1;
    case PK_MESSAGE: return L"[progress] message: " + r.sText5;
    default: return L"[progress] kind " + std::to_wstring(r.uiKind);
    }
}

namespace
{
MessageSink g_pSink = nullptr;
void* g_pSinkContext = nullptr;
} // namespace

void SetMessageSink(MessageSink pSink, void* pContext)
{
    g_pSink = pSink;
    g_pSinkContext = pContext;
}

void NoteMessage(unsigned uiLevel, const std::wstring& sText)
{
    if (g_pSink)
        g_pSink(uiLevel, sText, g_pSinkContext);
}

int LogCallback(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    NoteMessage(uiLevel, pText ? pText : L"");
    auto* answers = static_cast<HostAnswers*>(pContext);
    if (answers && uiLevel == ML_ERROR)
        ++answers->uiErrors;
    Print(L"[" + LevelName(uiLevel) + L"] " + (pText ? pText : L""));
    return 0;
}

unsigned ProgressCallback(ProgressRecord* pRecord, void* pContext)
{
    if (!pRecord)
        return 0;
    auto* answers = static_cast<HostAnswers*>(pContext);
    Print(RenderProgress(*pRecord));
    if (!answers)
        return 0;
    if (pRecord->uiKind == PK_PASSWORD_REQUEST)
        pRecord->sText2 = answers->sPassword;
    if (pRecord->uiKind == PK_HEARTBEAT && answers->uiAbortAfterHeartbeats &&
        ++answers->uiHeartbeats >= answers->uiAbortAfterHeartbeats)
        return 1;
    return 0;
}

} // namespace refhost
