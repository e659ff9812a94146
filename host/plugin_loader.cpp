#include "host/plugin_loader.h"

namespace refhost
{

namespace
{
template <typename Fn> Fn Export(HMODULE hDll, const char* pName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hDll, pName)));
}
} // namespace

bool LoadedPlugin::Load(const std::wstring& sPath, std::wstring& sError)
{
    m_hDll.reset(LoadLibraryW(sPath.c_str()));
    if (!m_hDll) {
        sError = L"LoadLibrary(" + sPath + L") failed with error " + std::to_wstring(GetLastError());
        return false;
    }
    auto factory = Export<FactoryFn>(m_hDll.get(), "Factory");
    auto credentialsFactory = Export<CredentialsFactoryFn>(m_hDll.get(), "CredentialsFactory");
    if (!factory || !credentialsFactory) {
        sError = L"CVEX.DLL does not export Factory and CredentialsFactory";
        return false;
    }
    m_pPlugin.reset(factory());
    m_pCredentials.reset(credentialsFactory());
    if (!m_pPlugin || !m_pCredentials) {
        sError = L"a factory of CVEX.DLL returned no object";
        return false;
    }
    return true;
}

LoadedPlugin::~LoadedPlugin()
{
    m_pCredentials.reset();
    m_pPlugin.reset();
}

} // namespace refhost
