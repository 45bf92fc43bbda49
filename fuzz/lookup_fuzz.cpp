#include "property.hpp"
#include "registries/registry.hpp"
#include "registry_oracle.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace
{

void checkLookup(std::string_view messageId)
{
    using namespace tidewatch;
    const RegistryMessage* found = findRegistryMessage(messageId);
    const RegistryRecord* row = oracleRow(messageId);
    requireProperty((found != nullptr) == (row != nullptr),
                    "found exactly when a registry holds the MessageId");
    requireProperty(row == nullptr || found == &row->message,
                    "the result is that row's own message");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    // An exact-size heap copy lets ASan see any read past the view.
    const auto bytes = std::make_unique<char[]>(size);
    std::memcpy(bytes.get(), data, size);
    checkLookup({bytes.get(), size});
    // A view that stops one byte short of the buffer: a lookup that reads on
    // into the last byte turns "...AccessDenie" + "d" into a false match.
    if (size > 0)
    {
        checkLookup({bytes.get(), size - 1});
    }
    return 0;
}
