// A property a fuzz target checks: when it does not hold, the run stops with what was wrong.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace {

inline void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

}  // namespace
