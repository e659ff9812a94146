#include "simulator/tools/recover_paths.h"

#include "simulator/common/text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace nwsim
{

std::string NormalizePath(const std::string& sPath)
{
    bool bTrailing = !sPath.empty() && sPath.back() == '\\';
    std::vector<std::string> parts = Split(sPath, '\\');
    std::vector<std::string> out;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p == "." || (p.empty() && i > 0))
            continue;
        if (p == "..") {
            if (out.size() > 1)
                out.pop_back();
            continue;
        }
        out.push_back(p);
    }
    std::string result;
    for (size_t i = 0; i < out.size(); ++i)
        result += (i ? "\\" : "") + out[i];
    if (out.size() == 1 || bTrailing)
        result += "\\";
    return result;
}

std::string ParentFolder(const std::string& sPath)
{
    std::string s = sPath;
    while (s.size() > 3 && s.back() == '\\')
        s.pop_back();
    if (s.size() <= 3)
        return s.size() >= 2 && s[1] == ':' ? s.substr(0, 2) + "\\" : s;
    size_t slash = s.rfind('\\');
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

std::string LeafName(const std::string& sPath)
{
    std::string s = sPath;
    while (s.size() > 1 && s.back() == '\\')
        s.pop_back();
    size_t slash = s.rfind('\\');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string RelocatedPath(const std::string& sObjectPath, const std::string& sParent, const std::string& sDir)
{
    std::string sRel = PathWithin(sObjectPath, sParent)
                           ? sObjectPath.substr(std::min(sParent.size(), sObjectPath.size()))
                           : sObjectPath.substr(std::min<size_t>(3, sObjectPath.size()));
    while (!sRel.empty() && sRel.front() == '\\')
        sRel.erase(0, 1);
    std::string sBase = sDir;
    if (sBase.empty() || sBase.back() != '\\')
        sBase += "\\";
    return NormalizePath(sBase + sRel);
}

std::string StagedPath(const std::string& sObjectPath, const std::string& sStagingFolder)
{
    size_t root = sObjectPath.find(":\\");
    std::string sRel = root == std::string::npos ? sObjectPath : sObjectPath.substr(root + 2);
    std::string sBase = sStagingFolder;
    if (sBase.empty() || sBase.back() != '\\')
        sBase += "\\";
    return sBase + sRel;
}

bool IsDirectObject(const Saveset& s, const std::string& sObjectPath)
{
    if (s.sDirect.empty() || sObjectPath.size() < 3 || sObjectPath[1] != ':')
        return false;
    return PathWithin(sObjectPath.substr(2), s.sDirect);
}

std::string ExpandSystemDrive(const std::string& sPath, const std::string& sSystemDrive)
{
    const std::string kVar = "%SystemDrive%";
    return StartsWithNoCase(sPath, kVar) ? sSystemDrive + sPath.substr(kVar.size()) : sPath;
}

std::string SavesetListLine(const Saveset& s)
{
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%8d %c %12llu %s %s ", 1, 'd', s.ullSize, FormatSlashDate(s.saveTime).c_str(),
                  FormatHourMinute(s.saveTime).c_str());
    return buf + s.sName;
}

std::string ObjectListLine(const StoreObject& o, unsigned long long ullSize)
{
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%8d %c %12llu %s %s ", 1, o.bDirectory ? 'd' : '-', o.bDirectory ? 0ULL : ullSize,
                  FormatSlashDate(o.mtime).c_str(), FormatHourMinute(o.mtime).c_str());
    return buf + o.sPath;
}

std::string LongListLine(const StoreObject& o, unsigned long long ullSize)
{
    bool bReadOnly = o.sAttributes.find('R') != std::string::npos;
    std::string sPerm = o.bDirectory ? "drwxrwxrwx" : bReadOnly ? "-r--r--r--" : "-rw-rw-rw-";
    char buf[128];
    std::snprintf(buf, sizeof(buf), "%s %3d %-8s %-8s %10llu %s ", sPerm.c_str(), 1, "SYSTEM", "SYSTEM",
                  o.bDirectory ? 0ULL : ullSize, FormatLsTime(o.mtime).c_str());
    return buf + LeafName(o.sPath) + (o.bDirectory ? "\\" : "");
}

} // namespace nwsim
