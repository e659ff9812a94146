// The decisions of the system-state restore that need no tool: which routine restores each kind
// of component and which messages its failures give, the command lines of recover and mminfo, how
// a line of their output is read, which savesets are chosen, and where staged files belong.
// Plain functions over text.
#pragma once
#include "catalogue/catalogue_types.h"

#include <string>
#include <vector>

namespace systemrules
{

enum class Routine {
    Skip,             // not restored, and not a failure
    Vss,              // two recover passes by saveset name
    Nmm,              // by SSID, the savesets the media database names
    DisasterRecovery, // by SSID, the "OSSR_" savesets, each onto its volume
};

// Steps that follow a successful restore of a component, in this order.
enum PostStep : unsigned {
    POST_MOVE_NSR_HIVES = 1,    // the "_NSR" hives of system32\config take their names
    POST_BOOT = 2,              // hive capture ended, hives released, repair folder moved
    POST_FILESET = 4,           // the restored boot folders go to the Boot folder
    POST_MOVE_SYSTEM_FILES = 8, // staged writer files go to their places
};

struct ComponentRow {
    unsigned eType;
    Routine routine;
    const wchar_t* pSaveset; // the name given to recover or looked for in the report
    DWORD dwCountGroup;      // trace groups of the two passes
    DWORD dwRestoreGroup;
    unsigned uiRestoreFailed; // message when the restore fails
    unsigned uiPostSteps;     // PostStep bits
    unsigned uiPostFailed;    // message when a post-step fails
};

// The row of a type code; a row with Routine::Skip for codes that are not restored.
const ComponentRow& FindComponent(unsigned eType);
// The label of a component's line in the summary file.
const wchar_t* DumpLabel(unsigned eType);

// The port query runs for recovery clients from 8.2.2 on.
bool NeedsPortQuery(unsigned short usMajor, unsigned short usMinor, unsigned short usSP);

// <recover> [-n] -a -iY -s "<server>" -c "<client>" [-t "<pit>"] -N"<saveset>"
std::wstring VssCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer, const std::wstring& sClient,
                            const std::wstring& sPointInTime, const std::wstring& sSaveset, bool bCount);
// <recover> [-n] -a -iY -s "<server>" -S <ssid> [-d "<target>\.."]; sTarget empty for NMM.
std::wstring SsidCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer, const std::wstring& sSsid,
                             const std::wstring& sTarget, bool bCount);
// "C:\" -> "C:\..", "D:\Data" -> "D:\Data\..".
std::wstring ParentOfTarget(const std::wstring& sTarget);

// What a line of a system-state pass is before the filespace restore's own reading applies.
enum class SystemLine {
    Writer,    // "Recovering Writer ...": the staging folder now exists
    Ignored,   // "ASR: ", the compressed attribute, the simultaneous-recovery advice
    NoSession, // recover could not open a session with the server: busy, refused, unreachable
    NoSaveset, // recover found no saveset of that name or id: nothing of the component is there
    NoObjects, // recover says the saveset holds no objects: an empty saveset, restored in full
    Restore,   // read as a line of a filespace restore
};
SystemLine ClassifySystemLine(const std::wstring& sLine);
// The message of a NoSession line: 131 for a busy server, 108 for one that did not answer in
// time, 106 for one that could not be called, else 163.
unsigned NoSessionMessage(const std::wstring& sLine);

// The staged copy of a restored object: everything up to and including the first ":\" of the
// line replaced by the staging folder (which ends in "\"); empty when the line holds no ":\".
std::wstring StagedCopy(const std::wstring& sLine, const std::wstring& sStaging);
// Savesets whose objects recover writes to their own paths: sized from the line itself.
bool RestoresInPlace(const std::wstring& sSaveset);

// Where a folder of the staging root belongs: the part after the staging subfolder, behind the
// Windows letter ("<root>\RecoverWriter-1\Windows\x" -> "C:\Windows\x", the subfolder itself ->
// "C:\"). False for a folder that is not below the root.
bool StagedFolderDestination(const std::wstring& sStagingRoot, const std::wstring& sFolder, wchar_t wcLetter,
                             std::wstring& sDestination);
// "SYSTEM_NSR" -> "SYSTEM": the first "_NSR" removed; false when the path holds none.
bool WithoutNsrSuffix(const std::wstring& sPath, std::wstring& sWithout);
// A file of the saved configuration's folder (sMarker "\BOOT\" or "\SYSTEM\") at its place on
// the volume: "C:\QERNCFG\BOOT\x\y" -> "<letter>:\x\y". False when the marker is missing.
bool ConfigFileDestination(const std::wstring& sPath, const wchar_t* pMarker, wchar_t wcLetter,
                           std::wstring& sDestination);

// Of the report lines that matched (every line, in report order), per saveset name the newest
// whose save time is not after the point in time (any time when pPit is null), in the order
// the names first appear.
std::vector<SsidInfo> ChooseSavesets(const std::vector<SsidInfo>& lines, const SYSTEMTIME* pPit);

} // namespace systemrules
