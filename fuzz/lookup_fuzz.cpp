#include "oracle.hpp"
#include "registries/registry.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using namespace tidewatch;
    // An exact-size heap copy lets ASan see any read past the view. The
    // second view stops one byte short: a lookup that reads on into that
    // byte turns "...AccessDenie" + "d" into a false match.
    const auto bytes = std::make_unique<char[]>(size);
    std::memcpy(bytes.get(), data, size);
    for (const std::size_t length : {size, size > 0 ? size - 1 : 0})
    {
        const std::string_view messageId(bytes.get(), length);
        const RegistryRecord* row = oracleRow(messageId);
        requireProperty(findRegistryMessage(messageId) ==
                            (row ? &row->message : nullptr),
                        "finds the very row the MessageId names, or none");
    }
    return 0;
}
