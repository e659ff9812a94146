// One entry of a directory walk.
#pragma once
#include "support/vstring.h"

struct FileInfo {
    velmora::string sPath; // the directory that holds the entry, without trailing backslash
    velmora::string sName; // the entry's own name
    bool bDirectory = false;
};
