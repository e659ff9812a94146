// The address parser of answer files and hosts entries. Whatever text it takes formats back to a
// text that parses to the same address, and an IPv4 text is taken only in its plain form, which
// is then exactly its own formatted text. The input also gives four bytes and sixteen bytes: the
// plain dotted quad of the four is taken as that address, while its zero-padded, short and
// hexadecimal forms and any text with a port are refused; the sixteen as an IPv6 address (with
// or without a scope) format to a text that parses back to them.
#include "fuzz_support.h"
#include "support/ip_address.h"

#include <cstring>

namespace
{

using velmora::ip_address;

ip_address Parse(const std::wstring& s)
{
    return ip_address(velmora::string(s));
}

bool Refused(const std::wstring& s)
{
    return !Parse(s).is_valid();
}

// Formats the address, and checks that the text is canonical: it parses to the same address and
// formats to itself. An address port never shows, with or without one given.
std::wstring CheckFormatsBack(const ip_address& a)
{
    const std::wstring sText = a.to_string();
    FUZZ_CHECK(!sText.empty());
    FUZZ_CHECK(sText.find_first_of(L"[]") == std::wstring::npos);
    const ip_address back = Parse(sText);
    FUZZ_CHECK(back.is_valid() && back == a && back.family() == a.family());
    FUZZ_CHECK(back.to_string() == sText);
    FUZZ_CHECK(a.to_string(htons(8080)) == sText + L":8080");
    return sText;
}

bool IsPlainDottedQuad(const std::wstring& s)
{
    int iFields = 0;
    size_t i = 0;
    for (;;) {
        size_t j = s.find(L'.', i);
        const std::wstring sField = s.substr(i, j == std::wstring::npos ? std::wstring::npos : j - i);
        if (sField.empty() || sField.size() > 3 || (sField.size() > 1 && sField[0] == L'0') ||
            sField.find_first_not_of(L"0123456789") != std::wstring::npos || std::stoi(sField) > 255)
            return false;
        ++iFields;
        if (j == std::wstring::npos)
            return iFields == 4;
        i = j + 1;
    }
}

void CheckText(const std::wstring& sText)
{
    const ip_address a = Parse(sText);
    if (!a.is_valid()) {
        FUZZ_CHECK(a.family() == ip_address::kInvalidFamily);
        FUZZ_CHECK(!(a == a) && a != Parse(L"0.0.0.0"));
        bool bThrew = false;
        try {
            (void)a.to_string();
        } catch (const velmora::NetworkError& e) {
            bThrew = e.code() == 10047;
        }
        FUZZ_CHECK(bThrew);
        return;
    }
    FUZZ_CHECK(a == a);
    const std::wstring sBack = CheckFormatsBack(a);
    if (sText.find(L':') == std::wstring::npos) {
        FUZZ_CHECK(a.family() == AF_INET);
        FUZZ_CHECK(IsPlainDottedQuad(sText));
        FUZZ_CHECK(sBack == sText);
        FUZZ_CHECK(Refused(sText + L":80"));
    } else {
        FUZZ_CHECK(a.family() == AF_INET6);
    }
    // The same text with a port is another thing than an address.
    FUZZ_CHECK(Refused(L"[" + sText + L"]:80"));
    FUZZ_CHECK(Refused(sText + std::wstring(1, L'\0') + L"1"));
}

void CheckQuad(const uint8_t (&b)[4])
{
    const std::wstring f[4] = {std::to_wstring(b[0]), std::to_wstring(b[1]), std::to_wstring(b[2]),
                               std::to_wstring(b[3])};
    const std::wstring sPlain = f[0] + L"." + f[1] + L"." + f[2] + L"." + f[3];
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, b, 4);
    const ip_address fromBytes(reinterpret_cast<const sockaddr&>(sa));
    const ip_address a = Parse(sPlain);
    FUZZ_CHECK(a.is_valid() && a.family() == AF_INET && a == fromBytes);
    FUZZ_CHECK(fromBytes.to_string() == sPlain);

    // Each field in turn zero-padded and in hexadecimal; the short forms of fewer fields.
    for (int i = 0; i < 4; ++i) {
        std::wstring padded[4] = {f[0], f[1], f[2], f[3]};
        padded[i] = L"0" + padded[i];
        FUZZ_CHECK(Refused(padded[0] + L"." + padded[1] + L"." + padded[2] + L"." + padded[3]));
        wchar_t wszHex[8] = {};
        std::swprintf(wszHex, 8, L"0x%x", b[i]);
        std::wstring hex[4] = {f[0], f[1], f[2], f[3]};
        hex[i] = wszHex;
        FUZZ_CHECK(Refused(hex[0] + L"." + hex[1] + L"." + hex[2] + L"." + hex[3]));
    }
    FUZZ_CHECK(Refused(f[0] + L"." + f[1] + L"." + f[2]));
    FUZZ_CHECK(Refused(f[0] + L"." + f[1]));
    FUZZ_CHECK(Refused(f[0]));
    FUZZ_CHECK(Refused(sPlain + L"." + f[0]));
    FUZZ_CHECK(Refused(sPlain + L":" + f[1]));
    FUZZ_CHECK(Refused(L" " + sPlain) && Refused(sPlain + L" "));
}

void CheckSixteen(const uint8_t (&b)[16], uint32_t uiScope)
{
    sockaddr_in6 sa = {};
    sa.sin6_family = AF_INET6;
    std::memcpy(&sa.sin6_addr, b, 16);
    sa.sin6_scope_id = uiScope;
    sa.sin6_port = htons(443); // a port the resolver gave: not part of the address
    const ip_address a(reinterpret_cast<const sockaddr&>(sa));
    FUZZ_CHECK(a.is_valid() && a.family() == AF_INET6);
    const std::wstring sText = CheckFormatsBack(a);
    FUZZ_CHECK((sText.find(L'%') != std::wstring::npos) == (uiScope != 0));
    // Another scope is another address.
    sa.sin6_scope_id = uiScope + 1;
    FUZZ_CHECK(ip_address(reinterpret_cast<const sockaddr&>(sa)) != a);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The whole input as one text, as UTF-8 and as one character per byte.
    const std::string sBytes(reinterpret_cast<const char*>(pData), nSize);
    CheckText(fuzzsupport::ToolText(sBytes));
    CheckText(std::wstring(pData, pData + nSize));
    if (nSize >= 4) {
        uint8_t quad[4];
        std::memcpy(quad, pData, 4);
        CheckQuad(quad);
    }
    if (nSize >= 20) {
        uint8_t sixteen[16];
        std::memcpy(sixteen, pData + 4, 16);
        CheckSixteen(sixteen, pData[0] % 4 == 0 ? 0u : pData[1]);
    }
    return 0;
}
