// The host's side of the operation benchmarks inside a sandbox machine: CVEX.DLL loaded by name
// and driven through its exported interface as the host drives it, with messages dropped and the
// progress records counted; the machine's trace settings and its drives.
#pragma once
#include "plugin/crpl.h"

#include <string>

namespace bench
{

// One module object with its credentials, initialised against the machine's server.
class PluginHost
{
public:
    PluginHost();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the module, makes the objects and runs Init; false with the reason in Error().
    bool Start();
    bool List(FileSpaceList& list);
    // Restores the filespace; the host aborts at the first restored object when asked to.
    bool Restore(FileSpace fs, bool bAbortAtFirstObject = false);
    std::wstring Error();

    unsigned ObjectsRestored() const { return m_uiObjectsRestored; }
    unsigned ObjectsCounted() const { return m_uiObjectsCounted; }

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext);
    static unsigned Progress(ProgressRecord* pRecord, void* pContext);

    CRPL* m_pPlugin = nullptr;
    CrplCredentials* m_pCredentials = nullptr;
    unsigned m_uiObjectsRestored = 0;
    unsigned m_uiObjectsCounted = 0;
    bool m_bAbortAtFirstObject = false;
};

// While it lives, module objects made read the given trace.ini of the host folder; the original
// is put back at the end.
class TraceSettings
{
public:
    explicit TraceSettings(const char* pIni);
    ~TraceSettings();
    TraceSettings(const TraceSettings&) = delete;
    TraceSettings& operator=(const TraceSettings&) = delete;

private:
    std::string m_sSavedIni;
};

// The trace of the module as it ships: without a trace.ini it writes Error, Warning and Info
// lines (level 3), not the Verbose ones that the machine's trace.ini asks for.
extern const char kShippedTraceIni[];

// While it lives, the module objects made trace every command line and typed answer (trace.ini
// of the host folder rewritten; the original put back at the end). Text() is the module's whole
// trace log.
class CommandTrace
{
public:
    CommandTrace();
    ~CommandTrace();
    CommandTrace(const CommandTrace&) = delete;
    CommandTrace& operator=(const CommandTrace&) = delete;
    std::wstring Text() const;

private:
    TraceSettings m_settings;
};

// Removes everything on a drive of the machine (from the Linux side: much faster than Wine) and
// waits until the drive is empty; false when it is not empty after dwSeconds.
bool EmptyDrive(wchar_t wcLetter, unsigned long dwSeconds);

} // namespace bench
