// Finding the NetWorker client tools that the host placed in the recovery environment, learning
// their version and registering them there.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "plugin/cvex_impl.h"
#include "plugin/message_ids.h"
#include "support/handle.h"
#include "support/update_reg.h"
#include "trace/trace.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace
{

// Folders nested deeper than this are not walked: a link that points back up the tree would
// otherwise be followed until the stack runs out.
const unsigned kMaxWalkDepth = 32;

bool IsDirectory(const std::wstring& sPath)
{
    DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const wchar_t* pName)
{
    return std::wcscmp(pName, L".") == 0 || std::wcscmp(pName, L"..") == 0;
}

void TraceFindFirstFailure(const wchar_t* pFn, DWORD dwError)
{
    CTrace& trace = CvexTrace();
    if (dwError == ERROR_FILE_NOT_FOUND)
        trace.EndFail(pFn, L"FindFirstFile found no files");
    else if (dwError == ERROR_ACCESS_DENIED)
        trace.EndFail(pFn, L"FindFirstFile access denied");
    else {
        trace.ApiFailure(pFn, L"FindFirstFile", dwError);
        trace.EndFail(pFn, L"FindFirstFile failed");
    }
}

// Appends the entries of sPath to files, each directory straight before its own contents.
bool WalkFolder(const std::wstring& sPath, std::vector<FileInfo>& files, unsigned uiDepth)
{
    const wchar_t* fn = L"CVEXImpl::GetNetWorkerClientFiles";
    CTrace& trace = CvexTrace();
    trace.Start(fn);
    trace.Str(TL_VERBOSE, fn, L"sPath", sPath);
    if (sPath.empty()) {
        trace.EndFail(fn, L"Empty path argument");
        return false;
    }
    if (!IsDirectory(sPath)) {
        trace.EndFail(fn, L"Path is not a directory");
        return false;
    }
    WIN32_FIND_DATAW data{};
    velmora::unique_find search(FindFirstFileW((sPath + L"\\*").c_str(), &data));
    if (!search) {
        DWORD dwError = GetLastError();
        TraceFindFirstFailure(fn, dwError);
        return false;
    }
    do {
        if (IsDotEntry(data.cFileName))
            continue;
        FileInfo entry;
        entry.sPath = sPath;
        entry.sName = data.cFileName;
        entry.bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        files.push_back(entry);
        if (entry.bDirectory && uiDepth < kMaxWalkDepth)
            WalkFolder(sPath + L"\\" + entry.sName, files, uiDepth + 1);
        else if (entry.bDirectory)
            trace.Str(TL_WARNING, fn, L"Too deeply nested, not walked", entry.sName);
    } while (FindNextFileW(search.get(), &data));
    DWORD dwError = GetLastError();
    if (dwError != ERROR_NO_MORE_FILES)
        trace.ApiFailure(fn, L"FindNextFile failed", dwError);
    if (!FindClose(search.release())) {
        dwError = GetLastError();
        trace.ApiFailure(fn, L"FindClose", dwError);
        trace.EndFail(fn, L"FindClose failed");
        return false;
    }
    trace.End(fn);
    return true;
}

// The FileVersion string of a version resource, through its first translation or, without a
// translation table, through the default language and code page.
bool ReadFileVersionString(const std::vector<BYTE>& info, std::wstring& sRelease)
{
    WORD wLanguage = nwclient::kDefaultLanguage;
    WORD wCodePage = nwclient::kDefaultCodePage;
    WORD* pTranslation = nullptr;
    UINT uiBytes = 0;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation), &uiBytes) &&
        pTranslation && uiBytes >= 2 * sizeof(WORD)) {
        wLanguage = pTranslation[0];
        wCodePage = pTranslation[1];
    }
    wchar_t* pValue = nullptr;
    UINT uiChars = 0;
    if (!VerQueryValueW(info.data(), nwclient::FileVersionQuery(wLanguage, wCodePage).c_str(),
                        reinterpret_cast<void**>(&pValue), &uiChars) ||
        !pValue)
        return false;
    std::wstring sValue(pValue, uiChars);
    sValue.resize(std::min(sValue.find(L'\0'), sValue.size()));
    if (!sValue.empty())
        sRelease = sValue;
    return true;
}

bool CreateOneFolder(const wchar_t* pFn, const std::wstring& sFolder)
{
    if (CreateDirectoryW(sFolder.c_str(), nullptr))
        return true;
    DWORD dwError = GetLastError();
    // Something already there counts only when it is a directory.
    if (dwError == ERROR_ALREADY_EXISTS && IsDirectory(sFolder))
        return true;
    CvexTrace().Str(TL_ERROR, pFn, L"CreateDirectory failed", sFolder);
    CvexTrace().ApiFailure(pFn, L"CreateDirectory", dwError);
    return false;
}

} // namespace

bool nwclient::CreateFolders(const std::wstring& sBase, const std::vector<std::wstring>& folders)
{
    const wchar_t* fn = L"CVEXImpl::CreateNsrDirs";
    bool bAll = true;
    for (const std::wstring& sFolder : folders)
        bAll = CreateOneFolder(fn, sBase + sFolder) && bAll;
    return bAll;
}

bool CVEXImpl::GetNetWorkerClientFiles(const std::wstring& sPath, std::vector<FileInfo>& files)
{
    return WalkFolder(sPath, files, 0);
}

bool CVEXImpl::GetReleaseVersion(const FileInfo& file, std::wstring& sRelease, std::wstring& sVersion)
{
    const wchar_t* fn = L"CVEXImpl::GetReleaseVersion";
    CTrace& trace = CvexTrace();
    trace.Start(fn);
    std::wstring sProgram = file.sPath + L"\\" + file.sName;
    trace.Str(TL_VERBOSE, fn, L"sProgram", sProgram);
    DWORD dwType = 0;
    if (!GetBinaryTypeW(sProgram.c_str(), &dwType)) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetBinaryType", dwError);
        trace.EndFail(fn, L"GetBinaryType failed");
        return false;
    }
    SetLastErrorMsg(L"");
    trace.Int(TL_VERBOSE, fn, L"dwBinaryType", dwType);
    if (dwType != SCS_64BIT_BINARY) {
        LogStdMsg(ML_ERROR, MSG_CLIENT_NOT_64BIT);
        trace.EndFail(fn, L"Not a 64-bit program");
        return false;
    }
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeW(sProgram.c_str(), &dwHandle);
    if (dwSize == 0) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetFileVersionInfoSize", dwError);
        trace.EndFail(fn, L"GetFileVersionInfoSize failed");
        return false;
    }
    std::vector<BYTE> info(dwSize);
    if (!GetFileVersionInfoW(sProgram.c_str(), 0, dwSize, info.data())) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetFileVersionInfo", dwError);
        trace.EndFail(fn, L"GetFileVersionInfo failed");
        return false;
    }
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uiBytes = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uiBytes) || !pFixed ||
        uiBytes < sizeof(VS_FIXEDFILEINFO)) {
        trace.EndFail(fn, L"VerQueryValue failed");
        return false;
    }
    sVersion = nwclient::VersionText(pFixed->dwProductVersionMS, pFixed->dwProductVersionLS);
    trace.Str(TL_VERBOSE, fn, L"sVersion", sVersion);
    if (!ReadFileVersionString(info, sRelease)) {
        trace.EndFail(fn, L"VerQueryValue(FileVersion) failed");
        return false;
    }
    trace.Str(TL_VERBOSE, fn, L"sRelease", sRelease);
    trace.End(fn);
    return true;
}

bool CVEXImpl::GetNetWorkerClientVersion(std::wstring& sVersion)
{
    const wchar_t* fn = L"CVEXImpl::GetNetWorkerClientVersion";
    CTrace& trace = CvexTrace();
    trace.ReadLevelFromFile();
    trace.Start(fn);
    SetLastErrorMsg(L"");
    StopNsrExecDaemon();
    std::wstring sFolder(nwclient::kClientFolder);
    sFolder.pop_back();
    std::vector<FileInfo> files;
    if (!GetNetWorkerClientFiles(sFolder, files)) {
        LogStdMsg(ML_ERROR, MSG_NO_VALID_CLIENT_BINARIES);
        trace.EndFail(fn, L"GetNetWorkerClientFiles failed");
        return false;
    }
    nwclient::ClientFindings found;
    for (const FileInfo& file : files) {
        if (file.sName == nwclient::kDaemonName) {
            found.bDaemonFound = true;
            if (!GetReleaseVersion(file, found.sRelease, found.sVersion)) {
                found.bReleaseFailed = true;
                break;
            }
        } else if (file.sName == L"recover.exe") {
            found.bRecoverFound = true;
        } else if (file.bDirectory && file.sName == L"en") {
            trace.Line(TL_VERBOSE, fn, L"Found en directory");
        } else if (file.bDirectory && file.sName == L"nsr") {
            trace.Line(TL_VERBOSE, fn, L"Found nsr\\bin directory");
        }
    }
    if (const wchar_t* pReason = nwclient::ClientUnusableReason(found)) {
        LogStdMsg(ML_ERROR, MSG_NO_VALID_CLIENT_BINARIES);
        trace.EndFail(fn, pReason);
        return false;
    }
    sVersion = found.sVersion;
    if (!UpdateReg::SetupRegistry(nwclient::kClientFolder, found.sRelease, found.sVersion)) {
        LogStdMsg(ML_ERROR, MSG_NO_VALID_CLIENT_BINARIES);
        trace.EndFail(fn, L"UpdateReg::SetupRegistry failed");
        return false;
    }
    if (!CreateNsrDirs()) {
        LogStdMsg(ML_ERROR, MSG_CREATE_NSR_DIRS_FAILED);
        trace.EndFail(fn, L"CreateNsrDirs failed");
        return false;
    }
    trace.Str(TL_INFO, fn, L"sVersion", sVersion);
    trace.End(fn);
    return true;
}

bool CVEXImpl::CreateNsrDirs()
{
    const wchar_t* fn = L"CVEXImpl::CreateNsrDirs";
    CvexTrace().Start(fn);
    if (!nwclient::CreateFolders(nwclient::kClientFolder, nwclient::NsrDirectories())) {
        CvexTrace().EndFail(fn, L"Failed to create one or more NSR directory");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}

bool CVEXImpl::SetNetWorkerClientEnv()
{
    const wchar_t* fn = L"CVEXImpl::SetNetWorkerClientEnv";
    CTrace& trace = CvexTrace();
    trace.Start(fn);
    if (m_sRecoverNetWorkerClientDir.empty()) {
        trace.EndFail(fn, L"NetWorker client directory not set");
        return false;
    }
    std::wstring sPath;
    if (!GetEnvVar(L"Path", sPath)) {
        trace.EndFail(fn, L"GetEnvVar(Path) failed");
        return false;
    }
    std::wstring sNewPath = nwclient::ClientSearchPath(sPath, m_sRecoverNetWorkerClientDir);
    trace.Str(TL_VERBOSE, fn, L"sNewPath", sNewPath);
    if (!SetEnvironmentVariableW(L"PATH", sNewPath.c_str())) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"SetEnvironmentVariable", dwError);
        trace.EndFail(fn, L"SetEnvironmentVariable(PATH) failed");
        return false;
    }
    trace.End(fn);
    return true;
}
