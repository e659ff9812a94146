// Filespace records that cross the boundary: the host's std::vector<FileSpace>, grown by the
// module's GetFilespaceList, and records the host hands to RestoreFilespace.
#pragma once
#include "hostapi/host_types.h"

#include <string>

namespace abifs
{

// A record whose every field depends on the seed; the name has n characters ("D:\..." from 3 on).
FileSpace MakeFileSpace(size_t nNameChars, unsigned uiSeed);
bool Same(const FileSpace& a, const FileSpace& b);
// n records with names of every test length in turn, the vector's capacity exactly n: whatever
// the module appends makes it reallocate the host's buffer.
FileSpaceList Prefilled(size_t n);
// The first n records are still what Prefilled(n) made.
void CheckPrefilled(const FileSpaceList& list, size_t n);
} // namespace abifs
