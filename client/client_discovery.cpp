// Finding the NetWorker client tools that the host placed in the recovery environment, learning
// their version and registering them there.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "client/file_info.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "support/traced/update_reg.h"
#include "trace/trace_scope.h"

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

bool FindFirstFailed(TraceScope& scope, DWORD dwError)
{
    if (dwError == ERROR_FILE_NOT_FOUND)
        return scope.Fail(L"FindFirstFile found no files");
    if (dwError == ERROR_ACCESS_DENIED)
        return scope.Fail(L"FindFirstFile access denied");
    scope.trace().ApiFailure(scope.fn(), L"FindFirstFile", dwError);
    return scope.Fail(L"FindFirstFile failed");
}

// Appends the entries of sPath to files, each directory straight before its own contents.
bool WalkFolder(const std::wstring& sPath, std::vector<FileInfo>& files, unsigned uiDepth)
{
    const wchar_t* fn = L"CVEXImpl::GetNetWorkerClientFiles";
    CTrace& trace = CvexTrace();
    TraceScope scope(fn);
    trace.Str(TL_VERBOSE, fn, L"sPath", sPath);
    if (sPath.empty())
        return scope.Fail(L"Empty path argument");
    if (!IsDirectory(sPath))
        return scope.Fail(L"Path is not a directory");
    WIN32_FIND_DATAW data{};
    velmora::unique_find search(FindFirstFileW((sPath + L"\\*").c_str(), &data));
    if (!search) {
        DWORD dwError = GetLastError();
        return FindFirstFailed(scope, dwError);
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
        return scope.Fail(L"FindClose failed");
    }
    return scope.End();
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

bool nwclient::FolderIsWritable(const std::wstring& sFolder)
{
    DWORD dwAttributes = GetFileAttributesW(sFolder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    const std::wstring sProbe = sFolder + L"\\cvex-write-probe.tmp";
    velmora::unique_file probe(CreateFileW(sProbe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(probe);
}

bool CVEXImpl::GetNetWorkerClientFiles(const std::wstring& sPath, std::vector<FileInfo>& files)
{
    return WalkFolder(sPath, files, 0);
}

bool CVEXImpl::GetReleaseVersion(const FileInfo& file, std::wstring& sRelease, std::wstring& sVersion)
{
    const wchar_t* fn = L"CVEXImpl::GetReleaseVersion";
    CTrace& trace = CvexTrace();
    TraceScope scope(fn);
    std::wstring sProgram = file.sPath + L"\\" + file.sName;
    trace.Str(TL_VERBOSE, fn, L"sProgram", sProgram);
    DWORD dwType = 0;
    if (!GetBinaryTypeW(sProgram.c_str(), &dwType)) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetBinaryType", dwError);
        return scope.Fail(L"GetBinaryType failed");
    }
    SetLastErrorMsg(L"");
    trace.Int(TL_VERBOSE, fn, L"dwBinaryType", dwType);
    if (dwType != SCS_64BIT_BINARY) {
        LogStdMsg(ML_ERROR, MSG_CLIENT_NOT_64BIT);
        return scope.Fail(L"Not a 64-bit program");
    }
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeW(sProgram.c_str(), &dwHandle);
    if (dwSize == 0) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetFileVersionInfoSize", dwError);
        return scope.Fail(L"GetFileVersionInfoSize failed");
    }
    std::vector<BYTE> info(dwSize);
    if (!GetFileVersionInfoW(sProgram.c_str(), 0, dwSize, info.data())) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"GetFileVersionInfo", dwError);
        return scope.Fail(L"GetFileVersionInfo failed");
    }
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uiBytes = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uiBytes) || !pFixed ||
        uiBytes < sizeof(VS_FIXEDFILEINFO)) {
        return scope.Fail(L"VerQueryValue failed");
    }
    sVersion = nwclient::VersionText(pFixed->dwProductVersionMS, pFixed->dwProductVersionLS);
    trace.Str(TL_VERBOSE, fn, L"sVersion", sVersion);
    if (!ReadFileVersionString(info, sRelease))
        return scope.Fail(L"VerQueryValue(FileVersion) failed");
    trace.Str(TL_VERBOSE, fn, L"sRelease", sRelease);
    return scope.End();
}

bool CVEXImpl::GetNetWorkerClientVersion(std::wstring& sVersion)
{
    const wchar_t* fn = L"CVEXImpl::GetNetWorkerClientVersion";
    CTrace& trace = CvexTrace();
    trace.ReadLevelFromFile();
    TraceScope scope(fn);
    SetLastErrorMsg(L"");
    StopNsrExecDaemon();
    std::wstring sFolder(nwclient::kClientFolder);
    sFolder.pop_back();
    std::vector<FileInfo> files;
    if (!GetNetWorkerClientFiles(sFolder, files)) {
        LogStdMsg(ML_ERROR, MSG_NO_VALID_CLIENT_BINARIES);
        return scope.Fail(L"GetNetWorkerClientFiles failed");
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
        return scope.Fail(pReason);
    }
    sVersion = found.sVersion;
    if (!UpdateReg::SetupRegistry(nwclient::kClientFolder, found.sRelease, found.sVersion)) {
        LogStdMsg(ML_ERROR, MSG_NO_VALID_CLIENT_BINARIES);
        return scope.Fail(L"UpdateReg::SetupRegistry failed");
    }
    if (!CreateNsrDirs()) {
        LogStdMsg(ML_ERROR, MSG_CREATE_NSR_DIRS_FAILED);
        return scope.Fail(L"CreateNsrDirs failed");
    }
    trace.Str(TL_INFO, fn, L"sVersion", sVersion);
    return scope.End();
}

bool CVEXImpl::CreateNsrDirs()
{
    const wchar_t* fn = L"CVEXImpl::CreateNsrDirs";
    TraceScope scope(fn);
    if (!nwclient::CreateFolders(nwclient::kClientFolder, nwclient::NsrDirectories()))
        return scope.Fail(L"Failed to create one or more NSR directory");
    return scope.End();
}

bool CVEXImpl::SetNetWorkerClientEnv()
{
    const wchar_t* fn = L"CVEXImpl::SetNetWorkerClientEnv";
    CTrace& trace = CvexTrace();
    TraceScope scope(fn);
    if (m_sRecoverNetWorkerClientDir.empty())
        return scope.Fail(L"NetWorker client directory not set");
    std::wstring sPath;
    if (!GetEnvVar(L"Path", sPath))
        return scope.Fail(L"GetEnvVar(Path) failed");
    std::wstring sNewPath = nwclient::ClientSearchPath(sPath, m_sRecoverNetWorkerClientDir);
    trace.Str(TL_VERBOSE, fn, L"sNewPath", sNewPath);
    if (!SetEnvironmentVariableW(L"PATH", sNewPath.c_str())) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"SetEnvironmentVariable", dwError);
        return scope.Fail(L"SetEnvironmentVariable(PATH) failed");
    }
    return scope.End();
}
