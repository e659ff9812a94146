// The tools' view of the simulated backup store (format in simulator/README.md).
#pragma once
#include "simulator/common/datetime.h"

#include <optional>
#include <string>
#include <vector>

namespace nwsim
{

struct StoreObject {
    bool bDirectory = false;
    std::string sAttributes; // letters R H S A D C; "-" or empty for none
    DateTime mtime;
    std::string sPassword; // empty: not protected
    std::string sPath;     // as backed up: C:\a\b, folders end in "\"; may start with %SystemDrive%
};

struct Saveset {
    std::string sSsid;
    std::string sClient;
    std::string sName;
    std::string sKind = "filesystem"; // filesystem | writer | legacy | nmm | dr
    std::string sRoot;                // the path the saveset covers
    std::string sLevel = "full";
    DateTime saveTime;
    std::string sVolume;
    std::vector<std::string> clones; // read-only clone volumes holding a copy
    std::string sMedia;
    std::string sFlags;
    unsigned long long ullSize = 0;
    bool bBrowse = true;
    std::string sDirect; // writer savesets: objects below this folder bypass the staging folder
};

struct StoreClient {
    std::string sName;
    std::vector<std::string> addresses;
    std::string sVersion;
};

struct StoreManifest {
    std::string sServerName;
    std::string sServerVersion;
    std::string sServerBuild;
    std::vector<StoreClient> clients;
    std::vector<Saveset> savesets;
};

// Parses the manifest text; false with sError for a manifest without a [server] section.
bool ParseManifest(const std::string& sText, StoreManifest& manifest, std::string& sError);
// Parses one object list; malformed lines are skipped and counted in nBadLines.
std::vector<StoreObject> ParseObjects(const std::string& sText, int& nBadLines);

const StoreClient* FindClient(const StoreManifest& m, const std::string& sName);
// The client's savesets, oldest first.
std::vector<const Saveset*> ClientSavesets(const StoreManifest& m, const std::string& sClient);
// Browsable savesets at a point in time: per name the newest one not after it (all when no time).
std::vector<const Saveset*> BrowseView(const StoreManifest& m, const std::string& sClient,
                                       const std::optional<DateTime>& pit);
// The browsable saveset whose root holds the path (the longest root wins).
const Saveset* SavesetForPath(const StoreManifest& m, const std::string& sClient, const std::string& sPath,
                              const std::optional<DateTime>& pit);
// By name: the name itself or the name followed by ":\"; newest not after the point in time.
const Saveset* SavesetByName(const StoreManifest& m, const std::string& sClient, const std::string& sName,
                             const std::optional<DateTime>& pit);
const Saveset* SavesetBySsid(const StoreManifest& m, const std::string& sSsid);

// Path of an object's data below the store folder: "data\<ssid>\C\a\b".
std::string DataRelativePath(const std::string& sSsid, const std::string& sObjectPath);
// True when sPath is sFolder itself or lies below it (without regard to case).
bool PathWithin(const std::string& sPath, const std::string& sFolder);

} // namespace nwsim
