// The saved configuration summary "disrec.ini": whatever it holds, the machine read from it has
// letters A to Z or "-", and either an error with its note or the volumes the recovery needs.
#include "catalogue/saved_config.h"
#include "fuzz_support.h"
#include "hostapi/message_ids.h"
#include "support/win.h"

namespace
{

const wchar_t kPath[] = L"X:\\HALVOCFG\\QERNCFG\\disrec.ini";

bool IsLetter(wchar_t wc)
{
    return wc == L'-' || (wc >= L'A' && wc <= L'Z');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzsupport::SetProfileText(kPath, pData, nSize);
    const catalogue::SavedMachine m = catalogue::ReadSavedMachine(kPath);
    FUZZ_CHECK(IsLetter(m.wcBoot) && IsLetter(m.wcSystem) && IsLetter(m.wcEfi));
    FUZZ_CHECK(m.sWinDir.size() < MAX_PATH && m.sComputerName.size() < MAX_PATH);
    FUZZ_CHECK(!m.bEfi || !m.bCopySystem);
    FUZZ_CHECK(m.bEfi || m.wcEfi == L'-');
    if (m.uiError != 0) {
        FUZZ_CHECK(m.uiError == MSG_NO_BOOT_LETTER || m.uiError == MSG_NO_SYSTEM_LETTER ||
                   m.uiError == MSG_NO_WINDOWS_DIRECTORY || m.uiError == MSG_NO_SYSTEM_RESERVED_LETTER);
        FUZZ_CHECK(!m.sNote.empty());
        return 0;
    }
    FUZZ_CHECK(m.wcBoot != L'-');
    if (m.bEfi) {
        FUZZ_CHECK(m.wcEfi != L'-' && m.wcSystem == L'-');
    } else if (m.wcSystem == L'-') {
        FUZZ_CHECK(m.uiWarning == MSG_NO_SYSTEM_LETTER && !m.bCopySystem && !m.sNote.empty());
    } else {
        FUZZ_CHECK(m.uiWarning == 0 && m.bCopySystem);
    }
    return 0;
}
