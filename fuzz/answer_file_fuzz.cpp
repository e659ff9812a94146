// The answer file read through the profile API: every key comes back within its length limit,
// cut at a NUL of a damaged file, as the start of the key's whole value; a point in time that
// reads is one that exists.
#include "credentials/answer_file.h"
#include "credentials/point_in_time.h"
#include "fuzz_support.h"
#include "profile_model.h"

// The section name lives with the credentials object, which this build leaves out.
extern const wchar_t kAnsFileSection[] = L"QernBackupLocation";

namespace
{

const wchar_t kPath[] = L"X:\\answers.ini";

const struct {
    const wchar_t* pKey;
    size_t nMaxChars;
} kKeys[] = {
    {L"ServerName", 256},   {L"ServerIPAddress", 39},      {L"ClientName", 256}, {L"ClientIPAddress", 39},
    {L"ClientNetMask", 39}, {L"ClientDefaultGateway", 39}, {L"PointInTime", 19}, {L"ClientSubnetPrefixLength", 39},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzsupport::SetProfileText(kPath, pData, nSize);
    for (const auto& key : kKeys) {
        const std::wstring sValue = ansfile::ReadString(kPath, key.pKey, key.nMaxChars);
        FUZZ_CHECK(sValue.size() <= key.nMaxChars);
        FUZZ_CHECK(sValue.find(L'\0') == std::wstring::npos);
        const std::wstring sWhole = ansfile::ReadString(kPath, key.pKey, nSize + 1);
        FUZZ_CHECK(sWhole.compare(0, sValue.size(), sValue) == 0);
        FUZZ_CHECK(sValue.size() == key.nMaxChars || sValue == sWhole);
    }
    // The point in time as the credentials read it: at most 19 characters, then parsed.
    const std::wstring sPit = ansfile::ReadString(kPath, L"PointInTime", 19);
    SYSTEMTIME st = {};
    if (!sPit.empty() && pit::Parse(sPit, st) == nullptr) {
        FUZZ_CHECK(st.wDay >= 1 && st.wDay <= pit::DaysInMonth(st.wMonth, st.wYear));
        FUZZ_CHECK(pit::Format(st).size() >= 19);
    }
    // A prefix length the credentials take must fit in 8 bits; the reading itself never fails.
    (void)ansfile::ReadInt(kPath, L"ClientSubnetPrefixLength");
    return 0;
}
