// Marks the members that the module exports with their decorated names (copy operations and
// comparisons the host's own code calls).
#pragma once
#ifndef CVEX_EXPORT
#define CVEX_EXPORT __declspec(dllexport)
#endif
