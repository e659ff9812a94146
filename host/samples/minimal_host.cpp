// The smallest complete host: minimal_host.exe ANSWER-FILE, beside CVEX.DLL.
#include "credentials/crpl_credentials.h"
#include "plugin/crpl.h"

#include <cstdio>

static int Log(unsigned uiLevel, const wchar_t* pText, void*)
{
    std::wprintf(L"[%u] %ls\n", uiLevel, pText);
    return 0;
}

// 0: go on; 1 would ask the plug-in to end the running tool.
static unsigned Progress(ProgressRecord*, void*)
{
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    FreeConsole(); // the plug-in gives the client tools a console of its own
    HMODULE hDll = LoadLibraryW(L"CVEX.DLL");
    auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "Factory")));
    auto credFactory =
        reinterpret_cast<CredentialsFactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "CredentialsFactory")));
    if (argc < 2 || !factory || !credFactory)
        return 2;
    CRPL* p = factory();
    CrplCredentials* cred = credFactory(); // the answer-file calls are virtual
    p->SetLogMsgCallbackFn(&Log, nullptr);
    p->SetProgMsgCallbackFn(&Progress, nullptr);
    bool bOk = cred->GetCredentialsFromAnsFile(argv[1]) && cred->Check() && p->Init(cred);
    FileSpaceList list;
    bOk = bOk && p->GetFilespaceList(&list);
    for (FileSpace& fs : list)
        bOk = bOk && p->RestoreFilespace(&fs);
    bOk = bOk && p->CheckSystemState() && p->PrepareSystem();
    p->Fini(true);
    delete p;
    delete cred;
    FreeLibrary(hDll);
    std::wprintf(L"minimal host: %ls\n", bOk ? L"recovered" : L"failed");
    return bOk ? 0 : 1;
}
