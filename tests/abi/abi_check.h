// The ABI host's own checks: a failed check prints where it was (the open scopes) and what
// differed, and counts; the program's exit code says whether any failed.
#pragma once
#include <string>

namespace abicheck
{

// Names the case being checked in every failure printed while it is open.
class Scope
{
public:
    explicit Scope(std::string sName);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

bool True(bool bCondition, const char* pWhat);
bool Equal(unsigned long long ullGot, unsigned long long ullWant, const char* pWhat);
bool Equal(const std::wstring& sGot, const std::wstring& sWant, const char* pWhat);
bool StartsWith(const std::wstring& sText, const std::wstring& sPrefix, const char* pWhat);
// A text the module produced for the host: present and not the "nothing failed" answer.
bool IsReason(const std::wstring& sText, const char* pWhat);

int Checks();
int Failures();

// A printable excerpt of a text: its length and its start, non-ASCII characters as \uXXXX.
std::string Describe(const std::wstring& s);

} // namespace abicheck
