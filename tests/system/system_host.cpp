// Built by the fault programs; the host itself is tests/common/sandbox_host.cpp.
