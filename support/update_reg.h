// UpdateReg: edits of the recovery environment's registry for the NetWorker client.
#pragma once

class UpdateReg
{
public:
    // Hides (true) or restores (false) the recovery environment's MiniNT key.
    static bool RenameMiniNT(bool bHide);
};
