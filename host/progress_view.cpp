#include "host/progress_view.h"

#include <algorithm>
#include <cstdio>

namespace refhost
{
namespace
{

std::wstring Printf(const wchar_t* pFormat, double dValue)
{
    wchar_t wsz[64] = {};
    std::swprintf(wsz, 64, pFormat, dValue);
    return wsz;
}

std::wstring Rate(const ProgressState& s)
{
    if (s.dElapsed <= 0)
        return L"-";
    return FormatBytes(static_cast<unsigned long long>(static_cast<double>(s.ullRestoredBytes) / s.dElapsed)) + L"/s";
}

// Fraction done: by bytes when the filespace has any, else by objects.
double Fraction(const ProgressState& s)
{
    if (s.ullCountedBytes > 0)
        return std::min(1.0, static_cast<double>(s.ullRestoredBytes) / static_cast<double>(s.ullCountedBytes));
    if (s.uiCounted > 0)
        return std::min(1.0, static_cast<double>(s.uiRestored) / s.uiCounted);
    return 0;
}

std::wstring PhaseWord(ProgressState::Phase enPhase)
{
    switch (enPhase) {
    case ProgressState::Counting: return L"counting";
    case ProgressState::Restoring: return L"restoring";
    case ProgressState::Finished: return L"finished";
    default: return L"failed";
    }
}

std::wstring Counts(const ProgressState& s)
{
    if (s.enPhase == ProgressState::Counting)
        return std::to_wstring(s.uiCounted) + L" objects, " + FormatBytes(s.ullCountedBytes) + L" so far";
    return std::to_wstring(s.uiRestored) + L"/" + std::to_wstring(s.uiCounted) + L" objects, " +
           FormatBytes(s.ullRestoredBytes) + L"/" + FormatBytes(s.ullCountedBytes);
}

std::wstring Times(const ProgressState& s)
{
    return L"elapsed " + FormatDuration(s.dElapsed) + L", left " + FormatDuration(EstimatedSecondsLeft(s));
}

// The end of a long path, which says more than its start.
std::wstring Tail(const std::wstring& s, size_t n)
{
    if (s.size() <= n)
        return s;
    return n > 3 ? L"..." + s.substr(s.size() - (n - 3)) : std::wstring(n, L'.');
}

} // namespace

bool ApplyRecord(ProgressState& s, const ProgressRecord& r)
{
    switch (r.uiKind) {
    case PK_PASS_START:
        // The second start of a filespace carries the totals of the count.
        if (++s.uiStarts >= 2 && s.enPhase == ProgressState::Counting)
            s.enPhase = ProgressState::Restoring;
        s.uiCounted = r.uiTotalFiles;
        s.ullCountedBytes = r.ullTotalBytes;
        return true;
    case PK_MESSAGE:
        s.uiCounted = r.uiTotalFiles;
        s.ullCountedBytes = r.ullTotalBytes;
        return true;
    case PK_OBJECT_RESTORED:
        s.enPhase = ProgressState::Restoring;
        s.uiRestored = r.uiFilesRestored;
        s.ullRestoredBytes += r.ullCurrentSize;
        s.sCurrent = r.sText1;
        return true;
    case PK_PASS_FINISHED: s.enPhase = ProgressState::Finished; return true;
    case PK_PASS_FAILED: s.enPhase = ProgressState::Failed; return true;
    default: return false;
    }
}

std::wstring FormatBytes(unsigned long long ullBytes)
{
    if (ullBytes < 1024)
        return std::to_wstring(ullBytes) + L" B";
    const wchar_t* units[] = {L"KB", L"MB", L"GB", L"TB"};
    double d = static_cast<double>(ullBytes) / 1024;
    size_t i = 0;
    while (d >= 1024 && i + 1 < std::size(units)) {
        d /= 1024;
        ++i;
    }
    return Printf(L"%.1f ", d) + units[i];
}

std::wstring FormatDuration(double dSeconds)
{
    if (dSeconds < 0)
        return L"--:--";
    auto ull = static_cast<unsigned long long>(dSeconds + 0.5);
    wchar_t wsz[32] = {};
    if (ull >= 3600)
        std::swprintf(wsz, 32, L"%llu:%02llu:%02llu", ull / 3600, ull / 60 % 60, ull % 60);
    else
        std::swprintf(wsz, 32, L"%02llu:%02llu", ull / 60, ull % 60);
    return wsz;
}

double EstimatedSecondsLeft(const ProgressState& s)
{
    if (s.enPhase == ProgressState::Finished)
        return 0;
    double dDone = Fraction(s);
    if (s.enPhase != ProgressState::Restoring || dDone <= 0 || s.dElapsed <= 0)
        return -1;
    return s.dElapsed * (1 - dDone) / dDone;
}

std::wstring RenderBar(const ProgressState& s, unsigned uiWidth)
{
    const size_t kCells = 20;
    std::wstring sBar;
    if (s.enPhase == ProgressState::Counting) {
        sBar = L"[" + std::wstring(kCells, L'?') + L"] counting " + Counts(s);
    } else {
        auto cells = static_cast<size_t>(Fraction(s) * kCells);
        sBar = L"[" + std::wstring(cells, L'#') + std::wstring(kCells - cells, L'.') + L"] " +
               Printf(L"%3.0f%% ", Fraction(s) * 100) + Counts(s) + L" " + Rate(s) + L" " + FormatDuration(s.dElapsed) +
               L" left " + FormatDuration(EstimatedSecondsLeft(s));
    }
    sBar = s.sFilespace + L" " + sBar;
    if (sBar.size() + 2 < uiWidth && !s.sCurrent.empty() && s.enPhase == ProgressState::Restoring)
        sBar += L"  " + Tail(s.sCurrent, uiWidth - sBar.size() - 2);
    return sBar.substr(0, uiWidth);
}

std::wstring RenderPlainLine(const ProgressState& s)
{
    std::wstring sLine = L"progress: " + s.sFilespace + L": " + PhaseWord(s.enPhase) + L" " + Counts(s);
    if (s.enPhase == ProgressState::Counting)
        return sLine + L", elapsed " + FormatDuration(s.dElapsed);
    sLine += Printf(L" (%.0f%%), ", Fraction(s) * 100) + Rate(s) + L", " + Times(s);
    if (!s.sCurrent.empty() && s.enPhase == ProgressState::Restoring)
        sLine += L", current " + s.sCurrent;
    return sLine;
}

void ProgressView::Start(const std::wstring& sFilespace, double dNow)
{
    m_state = ProgressState();
    m_state.sFilespace = sFilespace;
    m_dStart = dNow;
    m_dLastShown = -1;
    m_bEndShown = false;
    Show(true);
}

void ProgressView::OnRecord(const ProgressRecord& record, double dNow)
{
    ProgressState::Phase enBefore = m_state.enPhase;
    bool bProgress = ApplyRecord(m_state, record);
    m_state.dElapsed = dNow - m_dStart;
    // A phase change is always shown; so is a heartbeat that makes the bar's clock move.
    if (bProgress || record.uiKind == PK_HEARTBEAT)
        Show(m_state.enPhase != enBefore);
}

void ProgressView::Message(const std::wstring& sLine)
{
    ClearBar();
    m_writer(sLine + L"\n");
    if (m_bTerminal && m_dLastShown >= 0)
        Show(true);
}

void ProgressView::Finish(double dNow)
{
    m_state.dElapsed = dNow - m_dStart;
    // The end record has been shown already; a plain log needs it once.
    if (m_bTerminal || !m_bEndShown)
        Show(true);
    if (m_bTerminal && m_bBarShown)
        m_writer(L"\n");
    m_bBarShown = false;
}

void ProgressView::Show(bool bForce)
{
    double dInterval = m_bTerminal ? kBarInterval : kPlainInterval;
    if (!bForce && m_dLastShown >= 0 && m_state.dElapsed - m_dLastShown < dInterval)
        return;
    m_dLastShown = m_state.dElapsed;
    m_bEndShown = m_state.enPhase == ProgressState::Finished || m_state.enPhase == ProgressState::Failed;
    if (!m_bTerminal) {
        m_writer(RenderPlainLine(m_state) + L"\n");
        return;
    }
    std::wstring sBar = RenderBar(m_state, m_uiWidth);
    m_writer(L"\r" + sBar + std::wstring(m_uiWidth - sBar.size(), L' ') + L"\r" + sBar);
    m_bBarShown = true;
}

void ProgressView::ClearBar()
{
    if (!m_bTerminal || !m_bBarShown)
        return;
    m_writer(L"\r" + std::wstring(m_uiWidth, L' ') + L"\r");
    m_bBarShown = false;
}

bool StdoutIsTerminal()
{
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD dwMode = 0;
    return hOut && hOut != INVALID_HANDLE_VALUE && GetFileType(hOut) == FILE_TYPE_CHAR && GetConsoleMode(hOut, &dwMode);
}

double NowSeconds()
{
    return static_cast<double>(GetTickCount64()) / 1000.0;
}

} // namespace refhost
