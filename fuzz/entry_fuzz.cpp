#include "../bench/literal_design.hpp"
#include "eventlog/entry.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// The judge, given a line whole or in pieces as reading cuts it, agrees with
// the plain whole-line test; an added argument changes nothing. The input as
// a MessageId, in an exact-size heap copy, lets ASan see a lookup that reads
// past its view.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using namespace tidewatch;
    const auto copy = std::make_unique<char[]>(size);
    std::memcpy(copy.get(), data, size);
    findRegistryMessage(std::string_view(copy.get(), size));
    // The line from the front of the input, the pieces' lengths from its
    // back; once the input runs out every piece is one byte.
    FuzzedDataProvider input(data, size);
    const std::string line = input.ConsumeRandomLengthString(size);
    const bool critical = literalIsCriticalEntry(line);
    LineJudge judge;
    for (std::string_view rest = line; !rest.empty();)
    {
        const auto piece = input.ConsumeIntegralInRange<std::size_t>(1, 64);
        judge.feed(rest.substr(0, piece));
        rest.remove_prefix(std::min(piece, rest.size()));
    }
    if (isCriticalMessage(judge.finish().message) != critical ||
        isCriticalEntry(line) != critical ||
        isCriticalEntry(line + ",extra") != critical)
    {
        std::abort(); // a finding: libFuzzer keeps the input
    }
    return 0;
}
