#include "support/update_reg.h"

// The registry edits for the NetWorker client come with the client set-up; until then there
// is nothing to restore and the call succeeds.
bool UpdateReg::RenameMiniNT(bool)
{
    return true;
}
