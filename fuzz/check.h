#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which and stop, so libFuzzer keeps the input.
#define CHECK(condition)                                                                           \
    if (!(condition)) {                                                                            \
        std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);     \
        std::abort();                                                                              \
    }
