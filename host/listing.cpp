#include "host/listing.h"

#include "support/vstring.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>

namespace refhost
{
namespace
{

std::wstring LastError(CRPL& plugin)
{
    std::wstring s;
    plugin.GetLastErrorMsg(s);
    return s;
}

std::wstring BackupTime(const FileSpace& fs)
{
    if (!fs.bFsTimeValid)
        return L"-";
    wchar_t wsz[32] = {};
    std::swprintf(wsz, 32, L"%04d-%02d-%02d %02d:%02d", fs.tmFsTime.tm_year + 1900, fs.tmFsTime.tm_mon + 1,
                  fs.tmFsTime.tm_mday, fs.tmFsTime.tm_hour, fs.tmFsTime.tm_min);
    return wsz;
}

std::wstring Marks(unsigned long ulFlags)
{
    std::wstring s;
    if (ulFlags & FS_BOOT_VOLUME)
        s += L"BOOT ";
    if (ulFlags & FS_SYSTEM_VOLUME)
        s += L"SYSTEM/EFI ";
    return s.empty() ? L"-" : s.substr(0, s.size() - 1);
}

std::wstring Pad(std::wstring s, size_t n)
{
    if (s.size() < n)
        s.append(n - s.size(), L' ');
    return s;
}

std::wstring OrDash(const std::wstring& s)
{
    return s.empty() ? L"-" : s;
}

} // namespace

Listing RunListing(CRPL& plugin)
{
    Listing listing;
    listing.bListed = plugin.GetFilespaceList(&listing.filespaces);
    if (!listing.bListed) {
        listing.sListError = LastError(plugin);
        return listing;
    }
    std::wstring sProperty;
    if (plugin.GetModuleProperty(kSystemStateProperty, sProperty) == 0)
        listing.components = ParseComponents(sProperty);
    listing.bSystemStateChecked = true;
    listing.bSystemStateComplete = plugin.CheckSystemState();
    if (!listing.bSystemStateComplete)
        listing.sCheckError = LastError(plugin);
    return listing;
}

std::wstring FlagNames(unsigned long ulFlags)
{
    static const struct {
        unsigned long ulBit;
        const wchar_t* pName;
    } kFlags[] = {{FS_NEEDED_TO_START, L"needed to start"},
                  {FS_BOOT_VOLUME, L"boot volume"},
                  {FS_SYSTEM_VOLUME, L"system volume"},
                  {FS_MOUNTED_FOLDER, L"mounted folder"}};
    std::wstring s;
    for (const auto& flag : kFlags)
        if (ulFlags & flag.ulBit)
            s += (s.empty() ? L"" : L", ") + std::wstring(flag.pName);
    return s;
}

std::wstring ComponentName(unsigned uiType)
{
    static const wchar_t* kNames[] = {L"SHAREPOINT",
                                      L"ASR",
                                      L"SYSTEM DB",
                                      L"SYSTEM FILES",
                                      L"SYSTEM STATE",
                                      L"VSS ASR DISK:\\",
                                      L"VSS OTHER:\\",
                                      L"VSS SYSTEM BOOT:\\",
                                      L"VSS SYSTEM FILESET:\\",
                                      L"VSS SYSTEM SERVICES:\\",
                                      L"VSS USER DATA:\\",
                                      L"DISASTER_RECOVERY:\\",
                                      L"APPLICATIONS:\\",
                                      L"SYSTEM COMPONENTS:\\",
                                      L"VSS:/",
                                      L"WINDOWS ROLES AND FEATURES:\\"};
    if (uiType >= 1 && uiType <= 16)
        return kNames[uiType - 1];
    return L"type " + std::to_wstring(uiType);
}

std::vector<SystemStateComponent> ParseComponents(const std::wstring& sProperty)
{
    std::vector<SystemStateComponent> components;
    std::wistringstream in(sProperty);
    std::wstring sLine;
    while (std::getline(in, sLine)) {
        size_t tab = sLine.find(L'\t');
        if (tab == 0 || tab == std::wstring::npos || tab > 2)
            continue;
        if (sLine.find_first_not_of(L"0123456789") != tab)
            continue;
        SystemStateComponent c;
        c.uiType = static_cast<unsigned>(std::stoul(sLine.substr(0, tab)));
        c.sBackupTime = sLine.substr(tab + 1);
        if (!c.sBackupTime.empty() && c.sBackupTime.back() == L'\r')
            c.sBackupTime.pop_back();
        components.push_back(c);
    }
    return components;
}

std::vector<std::wstring> FormatListing(const Listing& listing)
{
    std::vector<std::wstring> lines;
    if (!listing.bListed) {
        lines.push_back(L"Listing: failed (" + listing.sListError + L")");
        return lines;
    }
    lines.push_back(L"Filespaces: " + std::to_wstring(listing.filespaces.size()));
    lines.push_back(Pad(L"  Name", 26) + Pad(L"Letter", 7) + Pad(L"Path", 20) + Pad(L"Type", 7) +
                    Pad(L"Backup time", 18) + Pad(L"Marks", 17) + L"Flags");
    for (const FileSpace& fs : listing.filespaces)
        lines.push_back(L"  " + Pad(fs.sFsName, 24) + Pad(std::wstring(1, fs.wcFsDriveLetter), 7) +
                        Pad(OrDash(fs.sFsPath), 20) + Pad(OrDash(fs.sFsType), 7) + Pad(BackupTime(fs), 18) +
                        Pad(Marks(fs.ulFsFlags), 17) + std::to_wstring(fs.ulFsFlags) + L" (" +
                        OrDash(FlagNames(fs.ulFsFlags)) + L")");
    lines.push_back(L"System-state components: " + std::to_wstring(listing.components.size()));
    for (const SystemStateComponent& c : listing.components)
        lines.push_back(L"  " + Pad(std::to_wstring(c.uiType), 4) + Pad(ComponentName(c.uiType), 32) + c.sBackupTime);
    if (listing.bSystemStateChecked)
        lines.push_back(std::wstring(L"System state: ") +
                        (listing.bSystemStateComplete ? L"complete" : L"incomplete (" + listing.sCheckError + L")"));
    return lines;
}

std::string ListingJson(const Listing& listing)
{
    using velmora::to_utf8;
    nlohmann::json doc;
    doc["listed"] = listing.bListed;
    if (!listing.bListed)
        doc["error"] = to_utf8(listing.sListError);
    doc["filespaces"] = nlohmann::json::array();
    for (const FileSpace& fs : listing.filespaces) {
        nlohmann::json f;
        f["name"] = to_utf8(fs.sFsName);
        f["letter"] = to_utf8(std::wstring(1, fs.wcFsDriveLetter));
        f["path"] = to_utf8(fs.sFsPath);
        f["type"] = to_utf8(fs.sFsType);
        f["flags"] = fs.ulFsFlags;
        f["flag_names"] = to_utf8(FlagNames(fs.ulFsFlags));
        f["backup_time"] = fs.bFsTimeValid ? nlohmann::json(to_utf8(BackupTime(fs))) : nlohmann::json();
        f["boot"] = (fs.ulFsFlags & FS_BOOT_VOLUME) != 0;
        f["system_or_efi"] = (fs.ulFsFlags & FS_SYSTEM_VOLUME) != 0;
        doc["filespaces"].push_back(f);
    }
    doc["system_state"] = nlohmann::json::array();
    for (const SystemStateComponent& c : listing.components)
        doc["system_state"].push_back(
            {{"type", c.uiType}, {"name", to_utf8(ComponentName(c.uiType))}, {"backup_time", to_utf8(c.sBackupTime)}});
    if (listing.bSystemStateChecked) {
        doc["system_state_complete"] = listing.bSystemStateComplete;
        if (!listing.bSystemStateComplete)
            doc["system_state_message"] = to_utf8(listing.sCheckError);
    }
    // A name that is not valid UTF-16 must not make the report fail.
    return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace refhost
