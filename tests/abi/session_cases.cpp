#include "tests/abi/session_cases.h"

#include "tests/abi/abi_check.h"
#include "tests/abi/credentials_cases.h"
#include "tests/abi/crpl_cases.h"
#include "tests/abi/filespace_cases.h"

#include <cstdio>

using namespace rawabi;
using abicheck::Scope;

namespace abisession
{
namespace
{

const size_t kHostRecords = 1000;

bool Init(void* pPlugin, void* pCredentials)
{
    const bool bInit = Slot<InitFn>(pPlugin, kInit)(pPlugin, pCredentials);
    if (!bInit)
        std::printf("Init failed: %s\n", abicheck::Describe(abicases::LastError(pPlugin)).c_str());
    return abicheck::True(bInit, "Init");
}

void RestoreOne(void* pPlugin, FileSpaceList& list, abichannel::HostChannel& channel)
{
    const std::wstring sName = abifs::AddedName(1);
    Scope scope("RestoreFilespace " + abicheck::Describe(sName));
    FileSpace* pFs = nullptr;
    for (FileSpace& fs : list)
        pFs = (!pFs && fs.sFsName == sName) ? &fs : pFs;
    if (!abicheck::True(pFs != nullptr, "listed"))
        return;
    channel.progress.clear();
    abicheck::True(Slot<RestoreFn>(pPlugin, kRestoreFilespace)(pPlugin, pFs), "restored");
    const std::wstring sFile = sName + L"\\nwsim-added.dat";
    abicheck::True(channel.HasProgress(PK_PASS_START, sName), "progress: pass start with the name");
    abicheck::True(channel.HasProgress(PK_OBJECT_RESTORED, sFile), "progress: the file restored");
    abicheck::True(channel.HasProgressKind(PK_PASS_FINISHED), "progress: pass finished");
    abicheck::True(GetFileAttributesW(sFile.c_str()) != INVALID_FILE_ATTRIBUTES, "the file is on D:");
}

} // namespace

void Run(void* pPlugin, FactoryFn credentialsFactory, const std::wstring& sFolder, size_t nAdded,
         abichannel::HostChannel& channel)
{
    Scope scope("session");
    void* pCredentials = credentialsFactory();
    const std::wstring sAnswers = abicred::WriteAnswerFile(sFolder, L"abi_session.ini", abicred::kSessionAnswers);
    if (abicheck::True(abicred::LoadAnswers(pCredentials, sAnswers), "answers loaded") && Init(pPlugin, pCredentials)) {
        FileSpaceList list = abifs::Prefilled(kHostRecords);
        abicheck::True(Slot<ListFn>(pPlugin, kGetFilespaceList)(pPlugin, &list), "GetFilespaceList");
        abifs::CheckPrefilled(list, kHostRecords);
        abifs::CheckAppended(list, kHostRecords, nAdded);
        abicheck::True(Slot<NoArgFn>(pPlugin, kCheckSystemState)(pPlugin), "CheckSystemState");
        RestoreOne(pPlugin, list, channel);
        abicheck::True(Slot<FiniFn>(pPlugin, kFini)(pPlugin, true), "Fini");
    }
    DeleteFileW(sAnswers.c_str());
    abicheck::True(Slot<DeletingDtorFn>(pCredentials, kCredDestructor)(pCredentials, 1) == pCredentials,
                   "credentials deleted");
}

} // namespace abisession
