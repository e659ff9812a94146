// The progress of one filespace restore as the reference host shows it: a bar redrawn in place
// on a console, plain lines now and then otherwise. The texts are plain functions of a state.
#pragma once
#include "hostapi/host_types.h"

#include <functional>
#include <string>

namespace refhost
{

struct ProgressState {
    enum Phase { Counting, Restoring, Finished, Failed };
    std::wstring sFilespace;
    Phase enPhase = Counting;
    unsigned uiCounted = 0; // objects to restore (grows while counting)
    unsigned long long ullCountedBytes = 0;
    unsigned uiRestored = 0; // objects restored so far
    unsigned long long ullRestoredBytes = 0;
    std::wstring sCurrent; // the object restored last
    double dElapsed = 0;   // seconds since the filespace started
    unsigned uiStarts = 0; // start records seen: the second one ends the count
};

// Folds one progress record of the plug-in into the state; false for a record that does not
// concern the filespace's progress (heartbeat, password request).
bool ApplyRecord(ProgressState& state, const ProgressRecord& record);

std::wstring FormatBytes(unsigned long long ullBytes); // "512 B", "1.5 KB", "3.2 MB", "4.0 GB"
std::wstring FormatDuration(double dSeconds);          // "00:07", "1:02:03"; "--:--" when unknown
// Seconds left at the present rate (bytes when there are any, else objects); negative: unknown.
double EstimatedSecondsLeft(const ProgressState& state);

// One console line of at most uiWidth characters: bar, percentage, counts, rate, times, file.
std::wstring RenderBar(const ProgressState& state, unsigned uiWidth);
// The same facts as a plain line for a log or a pipe.
std::wstring RenderPlainLine(const ProgressState& state);

// Shows the progress of one filespace at a time and the plug-in's messages above it.
class ProgressView
{
public:
    // Writes text as it is: lines end in "\n", the bar is redrawn after "\r".
    using Writer = std::function<void(const std::wstring&)>;
    ProgressView(bool bTerminal, Writer writer, unsigned uiWidth = 100)
        : m_bTerminal(bTerminal), m_writer(std::move(writer)), m_uiWidth(uiWidth)
    {
    }
    // Seconds between two plain lines.
    static constexpr double kPlainInterval = 2.0;
    // Seconds between two redraws of the bar.
    static constexpr double kBarInterval = 0.1;
    void Start(const std::wstring& sFilespace, double dNow);
    void OnRecord(const ProgressRecord& record, double dNow);
    void Message(const std::wstring& sLine);
    void Finish(double dNow);
    const ProgressState& State() const { return m_state; }

private:
    void Show(bool bForce);
    void ClearBar();
    bool m_bTerminal;
    Writer m_writer;
    unsigned m_uiWidth;
    ProgressState m_state;
    double m_dStart = 0;
    double m_dLastShown = -1;
    bool m_bBarShown = false;
    bool m_bEndShown = false;
};

// True when standard output is a console (a character device in console mode), not a pipe or file.
bool StdoutIsTerminal();
// Seconds since some fixed moment, for elapsed times.
double NowSeconds();

} // namespace refhost
