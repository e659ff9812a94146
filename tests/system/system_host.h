// The shared sandbox host under the name the fault programs still use.
#pragma once
#include "tests/common/sandbox_host.h"

using SystemHost = SandboxHost;
