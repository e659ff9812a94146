// The fault programs build the shared sandbox host from here, with their own names for its folders.
#define CVEX_SANDBOX_STORES CVEX_RESTORE_STORES
#define CVEX_STORE_VERIFIER CVEX_RESTORE_HELPER
#include "tests/common/sandbox_host.cpp"
