// The size of one object of recover's listing, for the count of a filespace.
#include "plugin/cvex_impl.h"
#include "restore/restore_lines.h"

bool CVEXImpl::ParseFile(const std::wstring& sLine, ProgressRecord& progress)
{
    ListedObject object;
    if (sLine.empty() || !ParseListLine(sLine, object))
        return false;
    progress.ullCurrentSize = object.ullSize;
    progress.ullCurrentSize2 = object.ullSize;
    return true;
}
