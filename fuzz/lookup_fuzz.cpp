#include "registries/registry.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using tidewatch::findRegistryMessage;
    // An exact-size heap copy lets ASan see any read past the view.
    const auto bytes = std::make_unique<char[]>(size);
    std::memcpy(bytes.get(), data, size);
    const std::string_view messageId(bytes.get(), size);
    const auto* found = findRegistryMessage(messageId);
    // With no field after the key, the last byte belongs to the key: a view
    // one byte short names another row or none (a lookup reading on past a
    // view would find "...AccessDenie" + "d"), and a field added after the
    // key changes nothing.
    if (std::count(messageId.begin(), messageId.end(), '.') == 3 &&
        ((found != nullptr &&
          findRegistryMessage(messageId.substr(0, size - 1)) == found) ||
         findRegistryMessage(std::string(messageId) + ".x") != found))
    {
        std::abort(); // a finding: libFuzzer keeps the input
    }
    return 0;
}
