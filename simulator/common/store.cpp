#include "simulator/common/store.h"

#include "simulator/common/ini.h"
#include "simulator/common/text.h"

#include <algorithm>

namespace nwsim
{
namespace
{

std::string WithSlash(const std::string& s)
{
    return !s.empty() && s.back() == '\\' ? s : s + "\\";
}

Saveset ReadSaveset(const IniSection& section)
{
    Saveset s;
    s.sSsid = Trim(section.sName.substr(8));
    for (const auto& [key, value] : section.entries) {
        std::string k = Lower(key);
        unsigned long long ull = 0;
        if (k == "client")
            s.sClient = value;
        else if (k == "name")
            s.sName = value;
        else if (k == "kind")
            s.sKind = Lower(value);
        else if (k == "root")
            s.sRoot = value;
        else if (k == "level")
            s.sLevel = value;
        else if (k == "savetime")
            ParseStoreTime(value, s.saveTime);
        else if (k == "volume")
            s.sVolume = value;
        else if (k == "media")
            s.sMedia = value;
        else if (k == "flags")
            s.sFlags = value;
        else if (k == "size" && ParseUnsigned(value, ull))
            s.ullSize = ull;
        else if (k == "browse")
            s.bBrowse = !EqualsNoCase(value, "no");
        else if (k == "direct")
            s.sDirect = value;
        else if (k == "clones") {
            for (const std::string& c : Split(value, ','))
                if (!Trim(c).empty())
                    s.clones.push_back(Trim(c));
        }
    }
    if (s.sRoot.empty())
        s.sRoot = s.sName;
    return s;
}

bool NameMatches(const std::string& sSaveset, const std::string& sAsked)
{
    return sSaveset == sAsked || sSaveset == sAsked + ":\\";
}

} // namespace

bool ParseManifest(const std::string& sText, StoreManifest& m, std::string& sError)
{
    IniFile ini = IniFile::Parse(sText);
    if (!ini.Find("server")) {
        sError = "the store manifest has no [server] section";
        return false;
    }
    m = {};
    m.sServerName = ini.Get("server", "name", "nwsrv");
    m.sServerVersion = ini.Get("server", "version", "19.4.0.1");
    m.sServerBuild = ini.Get("server", "build", "1");
    for (const IniSection& section : ini.Sections()) {
        if (StartsWithNoCase(section.sName, "client ")) {
            StoreClient c;
            c.sName = Trim(section.sName.substr(7));
            c.sVersion = ini.Get(section.sName, "version");
            for (const std::string& a : Split(ini.Get(section.sName, "addresses"), ','))
                if (!Trim(a).empty())
                    c.addresses.push_back(Trim(a));
            m.clients.push_back(c);
        } else if (StartsWithNoCase(section.sName, "saveset ")) {
            m.savesets.push_back(ReadSaveset(section));
        }
    }
    return true;
}

std::vector<StoreObject> ParseObjects(const std::string& sText, int& nBadLines)
{
    std::vector<StoreObject> objects;
    nBadLines = 0;
    for (const std::string& raw : Lines(sText)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        // kind attributes date time password path (the path is the rest and may hold blanks)
        std::vector<std::string> f;
        size_t pos = 0;
        for (int i = 0; i < 5 && pos != std::string::npos; ++i) {
            size_t end = line.find(' ', pos);
            f.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
            pos = end == std::string::npos ? end : line.find_first_not_of(' ', end);
        }
        StoreObject o;
        if (f.size() != 5 || pos == std::string::npos || (f[0] != "d" && f[0] != "f") ||
            !ParseStoreTime(f[2] + " " + f[3], o.mtime)) {
            ++nBadLines;
            continue;
        }
        o.bDirectory = f[0] == "d";
        o.sAttributes = f[1] == "-" ? "" : f[1];
        o.sPassword = f[4] == "-" ? "" : f[4];
        o.sPath = line.substr(pos);
        objects.push_back(o);
    }
    return objects;
}

const StoreClient* FindClient(const StoreManifest& m, const std::string& sName)
{
    for (const StoreClient& c : m.clients) {
        if (EqualsNoCase(c.sName, sName) ||
            std::find(c.addresses.begin(), c.addresses.end(), sName) != c.addresses.end())
            return &c;
    }
    return nullptr;
}

std::vector<const Saveset*> ClientSavesets(const StoreManifest& m, const std::string& sClient)
{
    const StoreClient* client = FindClient(m, sClient);
    std::vector<const Saveset*> result;
    for (const Saveset& s : m.savesets) {
        if (client && EqualsNoCase(s.sClient, client->sName))
            result.push_back(&s);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Saveset* a, const Saveset* b) { return a->saveTime < b->saveTime; });
    return result;
}

std::vector<const Saveset*> BrowseView(const StoreManifest& m, const std::string& sClient,
                                       const std::optional<DateTime>& pit)
{
    std::vector<const Saveset*> view;
    for (const Saveset* s : ClientSavesets(m, sClient)) {
        if (!s->bBrowse || (pit && !(s->saveTime <= *pit)))
            continue;
        auto same = std::find_if(view.begin(), view.end(), [&](const Saveset* v) { return v->sName == s->sName; });
        if (same != view.end())
            *same = s; // newer, as the list is oldest first
        else
            view.push_back(s);
    }
    return view;
}

const Saveset* SavesetForPath(const StoreManifest& m, const std::string& sClient, const std::string& sPath,
                              const std::optional<DateTime>& pit)
{
    const Saveset* best = nullptr;
    for (const Saveset* s : BrowseView(m, sClient, pit)) {
        if (s->sKind != "filesystem" || !PathWithin(sPath, s->sRoot))
            continue;
        if (!best || s->sRoot.size() > best->sRoot.size())
            best = s;
    }
    return best;
}

const Saveset* SavesetByName(const StoreManifest& m, const std::string& sClient, const std::string& sName,
                             const std::optional<DateTime>& pit)
{
    const Saveset* found = nullptr;
    for (const Saveset* s : ClientSavesets(m, sClient)) {
        if (NameMatches(s->sName, sName) && (!pit || s->saveTime <= *pit))
            found = s;
    }
    return found;
}

const Saveset* SavesetBySsid(const StoreManifest& m, const std::string& sSsid)
{
    for (const Saveset& s : m.savesets) {
        if (s.sSsid == sSsid)
            return &s;
    }
    return nullptr;
}

std::string DataRelativePath(const std::string& sSsid, const std::string& sObjectPath)
{
    std::string rel = sObjectPath.size() > 1 && sObjectPath[1] == ':' ? sObjectPath.substr(0, 1) + sObjectPath.substr(2)
                                                                      : sObjectPath;
    rel.erase(std::remove(rel.begin(), rel.end(), '%'), rel.end());
    while (!rel.empty() && rel.back() == '\\')
        rel.pop_back();
    while (!rel.empty() && rel.front() == '\\')
        rel.erase(0, 1);
    return "data\\" + sSsid + "\\" + rel;
}

bool PathWithin(const std::string& sPath, const std::string& sFolder)
{
    std::string path = Lower(WithSlash(sPath));
    std::string folder = Lower(WithSlash(sFolder));
    return path.compare(0, folder.size(), folder) == 0;
}

} // namespace nwsim
