#pragma once

#include <cstdio>
#include <cstdlib>

namespace tidewatch
{

// A broken property is a finding: say which one and stop with a crash so
// libFuzzer saves the input.
inline void requireProperty(bool holds, const char* property)
{
    if (!holds)
    {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

} // namespace tidewatch
