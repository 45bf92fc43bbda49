#include "main/inotify_records.hpp"
#include "oracle.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using namespace tidewatch;
    // Exact-size heap copies, so ASan sees a read past the end; the second
    // starts one byte into its block, as the walk must not rely on the
    // kernel's alignment.
    for (const std::size_t shift : {0U, 1U})
    {
        const auto block = std::make_unique<std::byte[]>(shift + size);
        const std::span<std::byte> bytes(block.get() + shift, size);
        std::memcpy(bytes.data(), data, size);
        std::size_t count = 0;
        forEachTriggerRecord(bytes, [&count] { ++count; });
        requireProperty(count == oracleTriggerCount(bytes),
                        "one trigger per record named exactly redfish");
    }
    return 0;
}
