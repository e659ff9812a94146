#include "simulator/tools/recover_restore.h"

#include "simulator/common/text.h"
#include "simulator/tools/recover_files.h"
#include "simulator/tools/recover_paths.h"

#include <map>
#include <set>

namespace nwsim
{
namespace
{

struct Placement {
    std::string sPrinted;     // the line recover prints for the object
    std::string sDestination; // where it is written
};

std::string SystemDrive()
{
    wchar_t wsz[16] = {};
    DWORD n = GetEnvironmentVariableW(L"SystemDrive", wsz, 16);
    return n > 0 && n < 16 ? Utf8(wsz) : std::string("C:");
}

class Restorer
{
public:
    Restorer(ToolRun& run, InputReader& input, const RestoreOptions& opts) : m_run(run), m_input(input), m_opts(opts) {}

    unsigned Run(const std::vector<Selected>& items)
    {
        Header(items);
        unsigned uIndex = 0, uDone = 0;
        for (const Selected& item : items) {
            m_run.out.Point("object:" + std::to_string(++uIndex));
            std::string sWhy;
            if (m_run.out.TakeSkip(sWhy)) {
                const std::string sPrinted = Place(item).sPrinted;
                m_run.out.SetPath(sPrinted);
                m_run.out.Line(sPrinted + ": " + sWhy);
                continue;
            }
            if (Restore(item))
                ++uDone;
        }
        if (m_run.cfg.bDeleteDirect && !m_opts.bCountOnly)
            DeleteDirectHives();
        Output& out = m_run.out;
        out.Noise("Received " + std::to_string(uDone) + " file(s) from NSR server `" + m_run.sServer + "'");
        out.Noise("Recover completion time: " + FormatCtime(LocalNow()));
        return uDone;
    }

private:
    void Header(const std::vector<Selected>& items)
    {
        Output& out = m_run.out;
        std::set<std::string> volumes;
        unsigned long long ullBytes = 0;
        for (const Selected& item : items) {
            volumes.insert(item.pSaveset->sVolume);
            ullBytes += item.object.bDirectory ? 0 : FileSize(m_run.DataFile(*item.pSaveset, item.object));
        }
        out.Noise(m_opts.sRelocateDir.empty()
                      ? "Recovering " + std::to_string(items.size()) + " file(s) into their original locations"
                      : "Recovering " + std::to_string(items.size()) + " file(s) into " + m_opts.sRelocateDir);
        out.Noise("Volumes needed (all on-line):");
        for (const std::string& v : volumes)
            out.Noise("\t" + v + " at rd=" + m_run.sServer + ":/nsr/dev/" + v);
        out.Noise("Total estimated disk space needed for recover is " + std::to_string((ullBytes + 1023) / 1024) +
                  " KB.");
        out.Noise("Requesting " + std::to_string(items.size()) + " file(s), this may take a while...");
        out.Noise("Recover start time: " + FormatCtime(LocalNow()));
        out.Blank();
    }

    // The staging folder of a writer saveset, created (and announced) before its first object.
    std::string StagingFor(const Selected& item)
    {
        const Saveset& s = *item.pSaveset;
        auto found = m_staging.find(s.sSsid);
        if (found != m_staging.end())
            return found->second;
        std::string sDrive = item.object.sPath.size() > 1 && item.object.sPath[1] == ':'
                                 ? item.object.sPath.substr(0, 2)
                                 : SystemDrive();
        std::string sFolder = m_opts.bCountOnly ? sDrive + "\\temp\\nsr_recover\\(count)"
                                                : MakeStagingFolder(sDrive, m_run.cfg.sOldStaging);
        m_staging[s.sSsid] = sFolder;
        std::string sWriter = s.sName.substr(0, s.sName.find(":\\"));
        if (s.sName.find("BOOT") != std::string::npos)
            m_run.out.Noise("Microsoft recommends simultaneous recovery of all system state writer components.");
        m_run.out.Line("Recovering Writer \"" + sWriter + "\" components ...");
        return sFolder;
    }

    bool IsDirectFile(const Selected& item, const Placement& place) const
    {
        return item.pSaveset->sKind == "writer" && !item.object.bDirectory && m_opts.sRelocateDir.empty() &&
               IsDirectObject(*item.pSaveset, place.sDestination);
    }

    bool HoldsOpen(const Placement& place) const
    {
        const Config& cfg = m_run.cfg;
        return cfg.uHoldMs > 0 && (cfg.sHoldFile == "*" || EqualsNoCase(cfg.sHoldFile, LeafName(place.sDestination)));
    }

    // The writer's clean-up: the hives it wrote to the direct folder go again. A plain delete, so
    // that a file another program holds open without delete sharing survives.
    void DeleteDirectHives()
    {
        for (const std::string& sPath : m_direct) {
            if (LeafName(sPath).find('.') == std::string::npos)
                DeleteFileW(Wide(sPath).c_str());
        }
    }

    bool Write(const Selected& item, const Placement& place, bool& bExisted, std::string& sError)
    {
        std::wstring sData = m_run.DataFile(*item.pSaveset, item.object);
        if (!IsDirectFile(item, place))
            return WriteObject(sData, item.object, place.sDestination, bExisted, sError);
        m_direct.push_back(place.sDestination);
        const std::string sLeaf = LeafName(place.sDestination);
        if (EqualsNoCase(m_run.cfg.sMissingHive, sLeaf)) {
            // Gone before anyone could hold it: nothing is left where recover says it wrote it.
            DeleteFileW(Wide(place.sDestination).c_str());
            return true;
        }
        if (EqualsNoCase(m_run.cfg.sEmptyHive, sLeaf))
            return WriteEmpty(place.sDestination, bExisted, sError);
        if (HoldsOpen(place))
            return WriteObjectHeld(sData, item.object, place.sDestination, m_run.cfg.uHoldMs, bExisted, sError);
        return WriteObject(sData, item.object, place.sDestination, bExisted, sError);
    }

    static bool WriteEmpty(const std::string& sDestination, bool& bExisted, std::string& sError)
    {
        const std::wstring sPath = Wide(sDestination);
        bExisted = GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        HANDLE h = CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            sError = "cannot create (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        CloseHandle(h);
        return true;
    }

    Placement Place(const Selected& item)
    {
        const Saveset& s = *item.pSaveset;
        std::string sPath = ExpandSystemDrive(item.object.sPath, SystemDrive());
        if (!m_opts.sRelocateDir.empty()) {
            std::string sDest = RelocatedPath(sPath, m_opts.sRelocateFrom, m_opts.sRelocateDir);
            return {sDest, sDest};
        }
        if (s.sKind == "writer" && sPath == item.object.sPath && !IsDirectObject(s, sPath))
            return {sPath, StagedPath(sPath, StagingFor(item))};
        return {sPath, sPath};
    }

    bool Restore(const Selected& item)
    {
        Placement place = Place(item);
        Output& out = m_run.out;
        out.SetPath(place.sPrinted);
        if (!m_opts.bCountOnly && !item.object.sPassword.empty() && !AskPassword(item.object, place.sPrinted))
            return false;
        if (!m_opts.bCountOnly) {
            bool bExisted = false;
            std::string sError;
            if (!Write(item, place, bExisted, sError)) {
                out.Line("recover: " + place.sPrinted + " cannot be recovered: " + sError);
                return false;
            }
            if (bExisted && !item.object.bDirectory)
                out.Line(place.sPrinted + ": file exists, overwriting");
        }
        out.Line(place.sPrinted);
        return true;
    }

    bool AskPassword(const StoreObject& o, const std::string& sShown)
    {
        const Config& cfg = m_run.cfg;
        DWORD dwTimeout = cfg.uPasswordTimeout ? cfg.uPasswordTimeout * 1000 : INFINITE;
        for (unsigned i = 0; i < (cfg.uPasswordAttempts ? cfg.uPasswordAttempts : 1); ++i) {
            m_run.out.Point("password");
            m_run.out.Prompt("Password for file " + sShown + ": ");
            std::string sAnswer;
            bool bTimedOut = false;
            bool bRead = m_input.ReadSecret(sAnswer, dwTimeout, bTimedOut);
            m_run.out.Line("");
            if (!bRead)
                break;
            if (sAnswer == o.sPassword)
                return true;
            m_run.out.Line("Incorrect password for file " + sShown);
        }
        m_run.out.Line("Skipping recover of password protected file " + sShown);
        return false;
    }

    ToolRun& m_run;
    InputReader& m_input;
    const RestoreOptions& m_opts;
    std::map<std::string, std::string> m_staging; // ssid -> staging folder
    std::vector<std::string> m_direct;            // files written to a direct folder
};

} // namespace

std::vector<Selected> SelectObjects(ToolRun& run, const Saveset& s, const std::string& sPath)
{
    std::vector<Selected> items;
    for (const StoreObject& o : run.Objects(s)) {
        if (sPath.empty() || PathWithin(o.sPath, sPath))
            items.push_back({&s, o});
    }
    return items;
}

unsigned RestoreObjects(ToolRun& run, InputReader& input, const std::vector<Selected>& items,
                        const RestoreOptions& opts)
{
    return Restorer(run, input, opts).Run(items);
}

} // namespace nwsim
