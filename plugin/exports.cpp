// The module's two undecorated exports.
#include "credentials/cvex_credentials.h"
#include "plugin/cvex.h"
#include "trace/trace.h"

#include <exception>

namespace
{
template <typename Make> auto MakeOrNull(const wchar_t* pFn, Make make) -> decltype(make())
{
    try {
        return make();
    } catch (const std::exception& e) {
        CvexTrace().Str(TL_ERROR, pFn, L"exception", e.what());
    } catch (...) {
        CvexTrace().Line(TL_ERROR, pFn, L"unknown exception");
    }
    return nullptr;
}
} // namespace

extern "C" __declspec(dllexport) CRPL* Factory()
{
    return MakeOrNull(L"Factory", []() -> CRPL* { return new CVEX(); });
}

extern "C" __declspec(dllexport) CrplCredentials* CredentialsFactory()
{
    return MakeOrNull(L"CredentialsFactory", []() -> CrplCredentials* { return new CvexCredentials(); });
}
