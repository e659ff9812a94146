// The steps around two components: before and after "VSS SYSTEM BOOT:\" the hive capture is
// started and ended and the repair folder's hives moved into system32\config; after
// "VSS SYSTEM FILESET:\" the restored boot folders go to the Boot folder of the system (or EFI)
// partition.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/folders.h"
#include "restore/path_text.h"
#include "restore/win32_path.h"
#include "trace/trace_scope.h"

std::wstring CVEXImpl::RepairRegistryFolder() const
{
    return std::wstring(1, m_wcWinBOOT) + L":" + m_sWinDir + L"\\repair\\Backup\\BootableSystemState\\Registry\\";
}

bool CVEXImpl::PreVssSystemBoot(velmora::unique_handle_null& hThread)
{
    TraceScope scope(L"CVEXImpl::PreVssSystemBoot");
    const std::wstring sDirectory = RepairRegistryFolder();
    CvexTrace().Str(TL_INFO, scope.fn(), L"sDirectory", sDirectory);
    if (DWORD rc = MakeFolders(pathtext::Win32Path(sDirectory.substr(0, sDirectory.size() - 1))))
        CvexTrace().ApiFailure(scope.fn(), L"CreateParentDir failed", rc);
    if (!StartHiveCapture(sDirectory, hThread))
        return scope.Fail(L"Failed to create monitoring thread");
    return scope.End();
}

bool CVEXImpl::PostVssSystemBoot(velmora::unique_handle_null& hThread)
{
    TraceScope scope(L"CVEXImpl::PostVssSystemBoot");
    StopHiveCapture(hThread);
    CvexTrace().Int(TL_INFO, scope.fn(), L"uiHeldHives", HeldRegistryHives());
    if (!ReleaseRegistryHives())
        return scope.Fail(L"ReleaseRegistryHives failed");
    if (!MoveRegistryFilesRepair())
        return scope.Fail(L"MoveRegistryFilesRepair failed");
    return scope.End();
}

// The partition whose Boot folder receives the restored boot folders. Without a system partition
// of its own the boot files live on the Windows volume.
wchar_t CVEXImpl::BootFolderLetter() const
{
    if (m_bEFI && m_wcWinEFI != L'-')
        return m_wcWinEFI;
    return m_wcWinSYSTEM != L'-' ? m_wcWinSYSTEM : m_wcWinBOOT;
}

bool CVEXImpl::PostVssSystemFileset()
{
    TraceScope scope(L"CVEXImpl::PostVssSystemFileset");
    std::wstring sSystemDrive;
    if (!GetEnvVar(L"SystemDrive", sSystemDrive))
        return scope.Fail(L"GetEnvVar(SystemDrive) failed");
    std::vector<std::wstring> dirs;
    if (!GetDirList(sSystemDrive + L"\\", L"boot_restored-*", false, dirs))
        return scope.Fail(L"GetDirList failed");
    const std::wstring sVolume = std::wstring(1, BootFolderLetter()) + L":";
    const std::wstring sBoot = sVolume + L"\\Boot";
    for (const std::wstring& sDir : dirs) {
        if (!IsDirectory(pathtext::Win32Path(sBoot))) {
            CvexTrace().Line(TL_WARNING, scope.fn(), L"Boot folder missing");
            if (DWORD rc = MakeFolders(pathtext::Win32Path(sBoot))) {
                CvexTrace().ApiFailure(scope.fn(), L"CreateDirectory failed", rc);
                return scope.Fail(L"Boot folder not created");
            }
        }
        if (!MoveFolderContents(sDir, sBoot))
            return scope.Fail(L"Move failed");
        if (!RemoveDirectoryW(pathtext::Win32Path(sDir).c_str()))
            CvexTrace().ApiFailure(scope.fn(), L"RemoveDirectory failed", GetLastError());
    }
    const std::wstring sBootmgr = sBoot + L"\\bootmgr";
    if (GetFileAttributesW(pathtext::Win32Path(sBootmgr).c_str()) != INVALID_FILE_ATTRIBUTES &&
        !CrplMoveFile(sBootmgr, sVolume + L"\\bootmgr"))
        return scope.Fail(L"bootmgr not moved");
    return scope.End();
}

// Moves every file below a folder into the same place below another, folders made as needed.
bool CVEXImpl::MoveFolderContents(const std::wstring& sFrom, const std::wstring& sTo)
{
    std::vector<FileListEntry> files;
    if (!GetFileList(sFrom, L"*", true, files))
        return false;
    for (const FileListEntry& file : files) {
        std::wstring sRelative = file.sFolder.substr(std::min(sFrom.size(), file.sFolder.size()));
        if (!CrplMoveFile(pathtext::Join(file.sFolder, file.sName), pathtext::Join(sTo + sRelative, file.sName)))
            return false;
    }
    // The emptied subfolders go, deepest first.
    std::vector<std::wstring> dirs;
    if (GetDirList(sFrom, L"*", true, dirs))
        for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
            RemoveDirectoryW(pathtext::Win32Path(*it).c_str());
    return true;
}
