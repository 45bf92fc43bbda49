#include "eventlog/entry.hpp"
#include "oracle.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using namespace tidewatch;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const bool critical = isCriticalEntry(line);
    requireProperty(critical == oracleIsCritical(line),
                    "critical exactly when its MessageId is registered so");
    // Arguments never change the verdict, so one more must not either.
    requireProperty(isCriticalEntry(line + ",extra") == critical,
                    "an added argument keeps the verdict");
    return 0;
}
