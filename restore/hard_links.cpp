// Sections of hard-linked names: names that a restore brought back as nothing are recreated as
// links to a name that is there.
#include "hostapi/message_ids.h"
#include "plugin/crpl_impl.h"
#include "restore/file_op_failure.h"
#include "restore/link_section.h"
#include "restore/win32_path.h"
#include "support/handle.h"
#include "trace/trace.h"

bool CRPLImpl::ProcessSection(const std::wstring& sSection, LinkEntries& entries)
{
    const wchar_t* fn = L"CRPLImpl::ProcessSection";
    CrplTrace().Start(fn);
    CrplTrace().Str(TL_VERBOSE, fn, L"sSection", sSection);
    if (sSection.empty())
        return FileOpFailed(*this, fn, L"Invalid section name", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    for (LinkEntry& e : entries) {
        if (!e.pPath)
            continue;
        DWORD dwAttributes = GetFileAttributesW(pathtext::Win32Path(e.pPath).c_str());
        // A folder in the place of a name is no file to link to, and cannot be replaced by one.
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CrplTrace().Str(TL_WARNING, fn, L"Exists as a directory!", e.pPath);
        e.bExists = dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    const linksection::SectionCounts counts = linksection::CountSection(entries);
    if (counts.nMissing == 0) {
        CrplTrace().Line(TL_INFO, fn, L"Section complete - no action necessary");
        CrplTrace().End(fn);
        return true;
    }
    if (counts.nPresent == 0)
        return FileOpFailed(*this, fn, L"No targets exist - no action possible", MSG_CREATE_FILE_FAILED,
                            ERROR_FILE_NOT_FOUND);
    bool bRc = FixHardLinks(sSection, entries);
    CrplTrace().End(fn);
    return bRc;
}

bool CRPLImpl::FixHardLinks(const std::wstring& sSection, LinkEntries& entries)
{
    const wchar_t* fn = L"CRPLImpl::FixHardLinks";
    CrplTrace().Start(fn);
    if (sSection.empty())
        return FileOpFailed(*this, fn, L"Invalid section", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    if (entries.size() < 2)
        return FileOpFailed(*this, fn,
                            entries.empty() ? L"Empty Hard-Link section" : L"Hard-Link section with only one element",
                            MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    auto target = linksection::FindTarget(entries);
    if (target == entries.end())
        return FileOpFailed(*this, fn, L"No existing targets", MSG_CREATE_FILE_FAILED, ERROR_FILE_NOT_FOUND);
    bool bPrivilege = SetPrivilege(SE_RESTORE_NAME, true);
    if (!bPrivilege)
        CrplTrace().Line(TL_WARNING, fn, L"SetPrivilege(SeRestorePrivilege) failed");
    velmora::scope_exit dropPrivilege([&] {
        if (bPrivilege)
            SetPrivilege(SE_RESTORE_NAME, false);
    });
    const std::wstring sTarget = target->get().pPath;
    bool bErrors = false;
    for (LinkEntry& e : entries) {
        if (!e.pPath || e.bExists)
            continue;
        if (linksection::IsPendingDelete(e.pPath)) {
            CrplTrace().Str(TL_INFO, fn, L"Skipping hardlink :", e.pPath);
        } else if (MyCreateHardLink(e.pPath, sTarget)) {
            CrplTrace().Str(TL_INFO, fn, L"Created hardlink :", e.pPath);
            e.bExists = true;
        } else {
            CrplTrace().Str(TL_ERROR, fn, L"CreateHardLink failed", e.pPath);
            bErrors = true;
        }
    }
    if (bErrors) {
        CrplTrace().EndFail(fn, L"With errors");
        return false;
    }
    CrplTrace().End(fn);
    return true;
}
