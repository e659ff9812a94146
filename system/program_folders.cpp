#include "system/program_folders.h"

#include "plugin/crpl_impl.h"
#include "support/handle.h"
#include "trace/trace_scope.h"

namespace
{

// The localised names of the program folder; an installation has at most one of them.
const wchar_t* const kLocalisedNames[] = {L"Program",    L"Programfiler", L"Programme",
                                          L"Programmer", L"Programmes",   L"Programmi"};

ProgramFolderRow Row(const wchar_t* pName, wchar_t wcDigit)
{
    std::wstring sShort = std::wstring(L"PROGRA~") + wcDigit;
    return {std::wstring(L":\\") + pName, sShort, sShort + L".TMP"};
}

struct FixedRow {
    const wchar_t* pName;
    wchar_t wcDigit;
};

std::vector<ProgramFolderRow> BuildTable(std::initializer_list<FixedRow> fixed, wchar_t wcLocalisedDigit)
{
    std::vector<ProgramFolderRow> rows;
    for (const FixedRow& f : fixed)
        rows.push_back(Row(f.pName, f.wcDigit));
    for (const wchar_t* pName : kLocalisedNames)
        rows.push_back(Row(pName, wcLocalisedDigit));
    return rows;
}

// Where one present folder stands while its names are changed.
enum class Step { Original, Temp, Final };

struct Folder {
    const ProgramFolderRow* pRow;
    std::wstring sPath;
    std::wstring sOriginal;
    Step enStep = Step::Original;
};

const wchar_t* const kFn = L"CRPLImpl::CorrectProgramFilesDirs";

// The table's folders that exist on the volume, with the short names they have now.
std::vector<Folder> PresentFolders(wchar_t wcDrive, const std::vector<ProgramFolderRow>& table, ShortNameSeam& seam)
{
    std::vector<Folder> folders;
    for (const ProgramFolderRow& row : table) {
        std::wstring sPath = std::wstring(1, wcDrive) + row.sLongName;
        if (!seam.Exists(sPath)) {
            CrplTrace().Str(TL_INFO, kFn, L"Not present", sPath);
            continue;
        }
        Folder f{&row, sPath, seam.ShortName(sPath)};
        CrplTrace().Str(TL_INFO, kFn, sPath.c_str(), f.sOriginal);
        folders.push_back(std::move(f));
    }
    return folders;
}

DWORD Rename(ShortNameSeam& seam, const Folder& f, const std::wstring& sName)
{
    DWORD dwError = seam.SetShortName(f.sPath, sName);
    if (dwError != ERROR_SUCCESS) {
        CrplTrace().Str(TL_ERROR, kFn, L"Short name not set", f.sPath + L" -> " + sName);
        CrplTrace().Int(TL_ERROR, kFn, L"dwError", dwError);
    }
    return dwError;
}

// Moves every folder that is at step `from` to step `to`; stops at the first failure and
// returns its code (the folder keeps its step).
DWORD RenameAll(ShortNameSeam& seam, std::vector<Folder>& folders, Step from, Step to)
{
    for (Folder& f : folders) {
        if (f.enStep != from)
            continue;
        DWORD dwError = Rename(seam, f, to == Step::Temp ? f.pRow->sTempName : f.pRow->sShortName);
        if (dwError != ERROR_SUCCESS)
            return dwError;
        f.enStep = to;
    }
    return ERROR_SUCCESS;
}

// Puts back the short names the folders had before: final names go back to the temporary
// ones first, so that no original name is still held by another folder of the table.
bool UndoRenames(ShortNameSeam& seam, std::vector<Folder>& folders)
{
    bool bUndone = true;
    for (Folder& f : folders) {
        if (f.enStep != Step::Final)
            continue;
        if (Rename(seam, f, f.pRow->sTempName) == ERROR_SUCCESS)
            f.enStep = Step::Temp;
        else
            bUndone = false;
    }
    for (Folder& f : folders) {
        if (f.enStep != Step::Temp)
            continue;
        if (Rename(seam, f, f.sOriginal) == ERROR_SUCCESS)
            f.enStep = Step::Original;
        else
            bUndone = false;
    }
    if (!bUndone)
        CrplTrace().Line(TL_ERROR, kFn, L"Undo incomplete");
    return bUndone;
}

} // namespace

const std::vector<ProgramFolderRow>& ProgramFolderTable(bool bIs64Bit, bool bIsCore)
{
    static const std::vector<ProgramFolderRow> kPrograMap32 =
        BuildTable({{L"Program Files", L'1'}, {L"ProgramData", L'2'}}, L'3');
    static const std::vector<ProgramFolderRow> kPrograMap64 =
        BuildTable({{L"Program Files", L'1'}, {L"Program Files (x86)", L'2'}, {L"ProgramData", L'3'}}, L'4');
    static const std::vector<ProgramFolderRow> kPrograMap64Core =
        BuildTable({{L"Program Files", L'2'}, {L"Program Files (x86)", L'3'}, {L"ProgramData", L'1'}}, L'4');
    if (!bIs64Bit)
        return kPrograMap32;
    return bIsCore ? kPrograMap64Core : kPrograMap64;
}

const wchar_t* ShortNameOutcomeText(ShortNameOutcome outcome)
{
    switch (outcome) {
    case ShortNameOutcome::Corrected: return L"corrected";
    case ShortNameOutcome::NothingPresent: return L"no program folders";
    case ShortNameOutcome::NotSupported: return L"not supported";
    case ShortNameOutcome::Failed: return L"failed";
    case ShortNameOutcome::SecondPassUndone: return L"failed, first pass undone";
    }
    return L"failed";
}

bool CRPLImpl::CorrectProgramFilesDirs(wchar_t wcDrive)
{
    Win32ShortNames seam;
    ShortNameOutcome outcome = ShortNameOutcome::Failed;
    bool bRc = CorrectProgramFilesDirs(wcDrive, seam, outcome);
    CrplTrace().Str(TL_INFO, kFn, L"outcome", ShortNameOutcomeText(outcome));
    return bRc;
}

// Two passes: every present folder first gets its temporary name, then its final one, so that
// two folders of the table can exchange their short names. Opening a folder for backup and
// renaming it need the restore privilege, held only for this.
bool CRPLImpl::CorrectProgramFilesDirs(wchar_t wcDrive, ShortNameSeam& seam, ShortNameOutcome& outcome)
{
    TraceScope scope(kFn, CrplTrace());
    CrplTrace().Char(TL_VERBOSE, kFn, L"wcDrive", wcDrive);
    CrplTrace().Bool(TL_VERBOSE, kFn, L"m_bIs64Bit", m_bIs64Bit);
    CrplTrace().Bool(TL_VERBOSE, kFn, L"m_bIsCore", m_bIsCore);
    const bool bPrivilege = SetPrivilege(SE_RESTORE_NAME, true);
    if (!bPrivilege)
        CrplTrace().Line(TL_WARNING, kFn, L"SetPrivilege(SE_RESTORE_NAME) failed)");
    velmora::scope_exit dropPrivilege([&] {
        if (bPrivilege)
            SetPrivilege(SE_RESTORE_NAME, false);
    });
    std::vector<Folder> folders = PresentFolders(wcDrive, ProgramFolderTable(m_bIs64Bit, m_bIsCore), seam);
    if (folders.empty()) {
        outcome = ShortNameOutcome::NothingPresent;
        return scope.End();
    }
    DWORD dwError = RenameAll(seam, folders, Step::Original, Step::Temp);
    if (dwError == ERROR_NOT_SUPPORTED && folders.front().enStep == Step::Original) {
        CrplTrace().Line(TL_WARNING, kFn, L"SetFileShortName not supported");
        outcome = ShortNameOutcome::NotSupported;
        return scope.Fail(L"not supported", TL_WARNING);
    }
    if (dwError != ERROR_SUCCESS) {
        UndoRenames(seam, folders);
        outcome = ShortNameOutcome::Failed;
        return scope.Fail(L"first pass failed");
    }
    dwError = RenameAll(seam, folders, Step::Temp, Step::Final);
    if (dwError != ERROR_SUCCESS) {
        outcome = UndoRenames(seam, folders) ? ShortNameOutcome::SecondPassUndone : ShortNameOutcome::Failed;
        return scope.Fail(L"second pass failed");
    }
    outcome = ShortNameOutcome::Corrected;
    return scope.End();
}

bool Win32ShortNames::UnderWine()
{
    static const bool bWine = [] {
        HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
        return hNtdll && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    }();
    return bWine;
}

bool Win32ShortNames::Exists(const std::wstring& sPath)
{
    return GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Win32ShortNames::ShortName(const std::wstring& sPath)
{
    // The directory entry carries the 8.3 name; it is empty when the folder has none.
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find find(FindFirstFileW(sPath.c_str(), &fd));
    if (!find) {
        DWORD dwError = GetLastError();
        CrplTrace().ApiFailure(L"Win32ShortNames::ShortName", L"FindFirstFile failed", dwError);
        return std::wstring();
    }
    return fd.cAlternateFileName;
}

DWORD Win32ShortNames::SetShortName(const std::wstring& sPath, const std::wstring& sShortName)
{
    const wchar_t* fn = L"Win32ShortNames::SetShortName";
    if (UnderWine())
        return ERROR_NOT_SUPPORTED;
    velmora::unique_file dir(CreateFileW(sPath.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!dir) {
        DWORD dwError = GetLastError();
        CrplTrace().ApiFailure(fn, L"CreateFile failed", dwError);
        return dwError;
    }
    if (!SetFileShortNameW(dir.get(), sShortName.c_str())) {
        DWORD dwError = GetLastError();
        CrplTrace().ApiFailure(fn, L"SetFileShortName failed", dwError);
        return dwError;
    }
    return ERROR_SUCCESS;
}
