// Profile-file ("INI") text parsed into sections of key/value pairs. Used for nwsim.ini and the
// store manifest. Section names and keys compare without regard to case; values keep their case.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace nwsim
{

struct IniSection {
    std::string sName;
    std::vector<std::pair<std::string, std::string>> entries; // in file order, keys as written
};

class IniFile
{
public:
    // Lines starting with ";" or "#" are comments; " ;" starts a trailing comment unless the value
    // is quoted. A value in double quotes keeps its blanks. Lines that are neither a section, a
    // key nor a comment are ignored.
    static IniFile Parse(const std::string& sText);
    static IniFile Load(const std::wstring& sPath, bool& bFound);

    const IniSection* Find(const std::string& sSection) const; // the first section of that name
    std::string Get(const std::string& sSection, const std::string& sKey, const std::string& sDefault = {}) const;
    long long GetInt(const std::string& sSection, const std::string& sKey, long long llDefault) const;
    bool GetBool(const std::string& sSection, const std::string& sKey, bool bDefault) const;
    const std::vector<IniSection>& Sections() const { return m_sections; }

private:
    std::vector<IniSection> m_sections;
};

std::string UnquoteValue(const std::string& sRaw);
// The whole file as bytes; false when it cannot be read.
bool ReadWholeFile(const std::wstring& sPath, std::string& sData);

} // namespace nwsim
