// The fault matrix: one row per (fault, phase) of an operation, what the host must see when the
// simulated tools or the server misbehave there, and the fault knobs that make them misbehave.
// Plain data and text functions, so that the table can be printed and checked outside a machine.
#pragma once
#include <array>
#include <string>
#include <vector>

namespace faultmatrix
{

enum class Phase {
    Init,    // the recover session that proves the connection
    Listing, // the filespace listing's session ("ll -S")
    Config,  // the fetch of the saved configuration (recover -a of QERNCFG items)
    Count,   // the count pass of a filespace restore ("list -l" in a session)
    Restore, // the restore pass (recover -a)
    // PrepareSystem over a store that holds one component of a kind: the count (recover -a -n)
    // and the restore (recover -a) of that component, the first of each in the preparation.
    VssCount, // a component saved through the writers (VSS OTHER)
    VssRestore,
    LegacyCount, // a legacy system-state saveset ("SYSTEM FILES")
    LegacyRestore,
    NmmCount, // the first NMM saveset of the walk, by its id
    NmmRestore,
    DrCount, // the disaster-recovery ("OSSR_") saveset, by its id
    DrRestore,
};

// The phases of PrepareSystem.
bool IsSystemPhase(Phase phase);

enum class Fault {
    Line,         // the tool prints a line: a preset of the simulator or a quoted text
    ServerRefuse, // the server resets every connection at once
    ServerBusy,   // the server answers every session "busy"
    ServerSlow,   // the server waits before it answers a session
    ServerDrop,   // the server drops the tool's connection after N of its output lines
    ExitNonZero,  // the tool exits with code 1 without a word
    Crash,        // the tool prints half a line and dies with 0xC0000005
    Hang,         // the tool stays silent for a while
    Password,     // the tool asks for a password with console input switched off, as recover does
};

// Where the fault strikes within the tool's output: its first line, a middle one, its last.
enum Position { kStart = 0, kMiddle = 1, kLast = 2 };
constexpr unsigned kPositions = 3;

// What the host must see after one run of the operation.
struct Expect {
    std::vector<unsigned> ids; // ids of the warnings and errors, in order of arrival
    bool bResult = true;       // what the operation returned
    // A part of the last-error text; nullptr: the run records no error (the text stays as it was).
    const wchar_t* pLastError = nullptr;
    unsigned uiBoundSeconds = 30; // the operation ended within this
    bool bRun = true;             // false: the position is not run (see the row's note)
};

struct Row {
    Phase phase;
    Fault fault;
    const wchar_t* pArgument; // the preset or text of a line; empty for the other faults
    std::array<Expect, kPositions> at;
    const wchar_t* pNote;            // why the host sees what it sees, briefly
    const wchar_t* pCondition = L""; // a condition of the knob ("once"), before the phase's own
    // The fault strikes the media database report (mminfo) that the phase's component is looked
    // up in, not recover.
    bool bReport = false;
};

// The same expectation at every position.
std::array<Expect, kPositions> Same(const Expect& e);

const std::vector<Row>& Rows();

// The [faults] entries (value parts) that make the fault strike at a position of a phase;
// uiMiddle is the number of the middle object or line of that phase's tool output.
std::vector<std::wstring> FaultKnobs(const Row& row, Position pos, unsigned uiMiddle);
// The [server] knobs of a server fault at a position (empty for the others).
std::vector<std::pair<std::wstring, std::wstring>> ServerKnobs(const Row& row, Position pos, unsigned uiMiddle);

// The order in which the rows run: a permutation of 0..n-1 that only the seed decides.
std::vector<size_t> ShuffledOrder(size_t n, unsigned long long ullSeed);
// The seed: "--seed N" on the command line, else CVEX_FAULT_SEED, else the clock.
unsigned long long SeedFrom(const std::wstring& sCommandLine, const char* pEnvironment, unsigned long long ullClock);

const wchar_t* PhaseName(Phase phase);
// "line `ddcl`", "server busy", "tool crashes", ...
std::wstring FaultName(const Row& row);
std::wstring PositionName(Position pos);
// The table as markdown, one line per row (positions that differ shown each).
std::string Markdown(const std::vector<Row>& rows);

} // namespace faultmatrix
