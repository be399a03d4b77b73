// Invariant checks of the fuzz targets: a broken invariant prints what broke
// and aborts, which libFuzzer records as a finding with its input.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzz_fail(const char *target, const char *what)
{
    fprintf(stderr, "%s invariant broken: %s\n", target, what);
    abort();
}

inline void fuzz_check(bool holds, const char *target, const char *what)
{
    if (!holds)
        fuzz_fail(target, what);
}
