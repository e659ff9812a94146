// UpdateReg: edits of the recovery environment's registry, so that the NetWorker client tools
// run there and the restored Windows starts cleanly. Every operation is static, reports failure
// by its result (the reason goes to the CRPL trace) and never throws.
#pragma once
#include <string>

class UpdateReg
{
public:
    // Registers the NetWorker client installed at sPath ("X:\PROGRA~1\Legato\nsr\") with its
    // release text and version text.
    static bool SetupRegistry(const std::wstring& sPath, const std::wstring& sRelease, const std::wstring& sVersion);

    // The registered client's version, and its tool folder ("Path" with "bin" appended).
    static bool GetNetWorkerClientVersion(std::wstring& sVersion);
    static bool GetNetWorkerClientDir(std::wstring& sDir);
    // The same of the client that made the backup, from the information LoadNwInfo restored.
    static bool GetOrigNetWorkerClientVersion(std::wstring& sVersion);
    static bool GetOrigNetWorkerClientDir(std::wstring& sDir);
    // Restores the saved file "NWInfo" of the folder sPath into the key read by the two above.
    // Done once per process; later calls succeed at once.
    static bool LoadNwInfo(const std::wstring& sPath);

    static bool ChangeHostname(const std::wstring& sHostname);
    // The configured DNS domain, or the one DHCP gave.
    static bool GetDomain(bool bUseDhcp, std::wstring& sDomain);
    static bool ChangeSystemSetupInProgress();
    static bool DeletePendingFileRenameOperations();

    // Hides (true) or restores (false) the recovery environment's MiniNT key. Only a key that
    // exists is hidden and only a hidden key is restored, so that a machine that never had
    // the key does not get one.
    static bool RenameMiniNT(bool bHide);

    // Lets tests load the information again in the same process.
    static void ForgetNwInfoForTesting();
};

// Hides the MiniNT key for the life of the object, while the NetWorker tools run, and restores
// it on every way out. A failure is traced and not reported further.
class MiniNTBodge
{
public:
    MiniNTBodge();
    ~MiniNTBodge();
    MiniNTBodge(const MiniNTBodge&) = delete;
    MiniNTBodge& operator=(const MiniNTBodge&) = delete;
};
