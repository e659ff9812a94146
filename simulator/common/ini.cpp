#include "simulator/common/ini.h"

#include "simulator/common/text.h"
#include "support/handle.h"

namespace nwsim
{

std::string UnquoteValue(const std::string& sRaw)
{
    std::string s = Trim(sRaw);
    if (s.size() >= 2 && s.front() == '"') {
        size_t close = s.find('"', 1);
        if (close != std::string::npos)
            return s.substr(1, close - 1);
    }
    size_t comment = s.find(" ;");
    if (comment != std::string::npos)
        s = Trim(s.substr(0, comment));
    return s;
}

IniFile IniFile::Parse(const std::string& sText)
{
    IniFile ini;
    ini.m_sections.push_back({}); // keys before the first section
    for (const std::string& raw : Lines(sText)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close != std::string::npos)
                ini.m_sections.push_back({Trim(line.substr(1, close - 1)), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        ini.m_sections.back().entries.emplace_back(Trim(line.substr(0, eq)), UnquoteValue(line.substr(eq + 1)));
    }
    return ini;
}

bool ReadWholeFile(const std::wstring& sPath, std::string& sData)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    sData.clear();
    char buf[65536];
    DWORD dwRead = 0;
    while (ReadFile(file.get(), buf, sizeof(buf), &dwRead, nullptr) && dwRead > 0)
        sData.append(buf, dwRead);
    return true;
}

IniFile IniFile::Load(const std::wstring& sPath, bool& bFound)
{
    std::string sData;
    bFound = ReadWholeFile(sPath, sData);
    return Parse(bFound ? sData : std::string());
}

const IniSection* IniFile::Find(const std::string& sSection) const
{
    for (const IniSection& section : m_sections) {
        if (EqualsNoCase(section.sName, sSection))
            return &section;
    }
    return nullptr;
}

std::string IniFile::Get(const std::string& sSection, const std::string& sKey, const std::string& sDefault) const
{
    // A key may appear in several sections of the same name (a file with knobs appended): the last wins.
    const std::string* pFound = nullptr;
    for (const IniSection& section : m_sections) {
        if (!EqualsNoCase(section.sName, sSection))
            continue;
        for (const auto& [key, value] : section.entries) {
            if (EqualsNoCase(key, sKey))
                pFound = &value;
        }
    }
    return pFound ? *pFound : sDefault;
}

long long IniFile::GetInt(const std::string& sSection, const std::string& sKey, long long llDefault) const
{
    unsigned long long ull = 0;
    if (!ParseUnsigned(Get(sSection, sKey), ull) || ull > 0x7fffffffULL)
        return llDefault;
    return static_cast<long long>(ull);
}

bool IniFile::GetBool(const std::string& sSection, const std::string& sKey, bool bDefault) const
{
    std::string v = Lower(Get(sSection, sKey));
    if (v == "yes" || v == "1" || v == "true" || v == "on")
        return true;
    if (v == "no" || v == "0" || v == "false" || v == "off")
        return false;
    return bDefault;
}

} // namespace nwsim
