// The fixed 8.3 short names of the program folders of a restored Windows volume. A restore
// brings the folders back under whatever short names the file system handed out, and programs
// that stored "PROGRA~1"-style paths would then find the wrong folder.
#pragma once
#include "support/win.h"

#include <string>
#include <vector>

struct ProgramFolderRow {
    std::wstring sLongName;  // ":\Program Files": goes behind the drive letter
    std::wstring sShortName; // "PROGRA~1"
    std::wstring sTempName;  // "PROGRA~1.TMP": held between the two passes
};

// The rows for a kind of installation, in the order they are handled; built once per process.
const std::vector<ProgramFolderRow>& ProgramFolderTable(bool bIs64Bit, bool bIsCore);

// What the fix-up touches on the disk, so that its passes can be run against a fake volume.
class ShortNameSeam
{
public:
    virtual ~ShortNameSeam() = default;
    virtual bool Exists(const std::wstring& sPath) = 0;
    // The folder's current 8.3 name; empty when it has none.
    virtual std::wstring ShortName(const std::wstring& sPath) = 0;
    // Opens the folder for backup and sets its short name (empty removes it); ERROR_SUCCESS or
    // the Win32 code of the open or the rename.
    virtual DWORD SetShortName(const std::wstring& sPath, const std::wstring& sShortName) = 0;
};

// The real volume. Under Wine SetFileShortNameW ends the whole process, so there SetShortName
// calls nothing and answers ERROR_NOT_SUPPORTED.
class Win32ShortNames : public ShortNameSeam
{
public:
    bool Exists(const std::wstring& sPath) override;
    std::wstring ShortName(const std::wstring& sPath) override;
    DWORD SetShortName(const std::wstring& sPath, const std::wstring& sShortName) override;
    // Whether this process runs under Wine (ntdll exports wine_get_version).
    static bool UnderWine();
};

enum class ShortNameOutcome {
    Corrected,        // every present folder has its final short name
    NothingPresent,   // none of the table's folders exists
    NotSupported,     // the volume cannot set short names; nothing changed
    Failed,           // a rename failed; what could be put back was
    SecondPassUndone, // a final rename failed; every folder has its original name again
};

// The outcome as the recovery summary writes it.
const wchar_t* ShortNameOutcomeText(ShortNameOutcome outcome);
