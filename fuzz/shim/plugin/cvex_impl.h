// Native stand-in for the implementation object in the fuzz build: only its static text parser.
#pragma once
#include <string>

class CVEXImpl
{
public:
    static bool ParseRecoverMsg(const std::wstring& sLine, std::wstring& sText);
};
