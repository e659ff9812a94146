// Loads CVEX.DLL the way the real host does: by name, through its two exports.
#pragma once
#include "credentials/crpl_credentials.h"
#include "plugin/crpl.h"
#include "support/handle.h"

#include <memory>
#include <string>

namespace refhost
{

class LoadedPlugin
{
public:
    // Loads the DLL from sPath; false with a reason when the library or an export is missing.
    bool Load(const std::wstring& sPath, std::wstring& sError);
    CRPL* Plugin() const { return m_pPlugin.get(); }
    CrplCredentials* Credentials() const { return m_pCredentials.get(); }
    // Deletes both objects (the host owns them), then unloads the library.
    ~LoadedPlugin();

private:
    velmora::unique_module m_hDll;
    std::unique_ptr<CRPL> m_pPlugin;
    std::unique_ptr<CrplCredentials> m_pCredentials;
};

} // namespace refhost
