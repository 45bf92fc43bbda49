#include "main/inotify_records.hpp"
#include "property.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

namespace
{

// Walks the kernel layout with 64-bit offsets: a 16-byte header whose last
// 32-bit word is the name length, then that many name bytes.
std::size_t oracleTriggerCount(std::span<const std::byte> bytes)
{
    constexpr std::uint64_t headerSize = 16;
    constexpr std::uint64_t lenOffset = 12;
    std::size_t count = 0;
    std::uint64_t offset = 0;
    while (offset + headerSize <= bytes.size())
    {
        std::uint32_t len = 0;
        std::memcpy(&len, bytes.data() + offset + lenOffset, sizeof(len));
        const std::uint64_t nameStart = offset + headerSize;
        if (nameStart + len > bytes.size())
        {
            break;
        }
        const auto* name = reinterpret_cast<const char*>(bytes.data()) +
                           static_cast<std::size_t>(nameStart);
        const auto* nameEnd = std::find(name, name + len, '\0');
        if (std::string_view(name, static_cast<std::size_t>(nameEnd - name)) ==
            "redfish")
        {
            ++count;
        }
        offset = nameStart + len;
    }
    return count;
}

void checkWalk(std::span<const std::byte> bytes)
{
    std::size_t count = 0;
    tidewatch::forEachTriggerRecord(bytes, [&count] { ++count; });
    tidewatch::requireProperty(count == oracleTriggerCount(bytes),
                               "one trigger per record named redfish");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    // Exact-size heap copies, so ASan sees a read past the end; the second
    // starts one byte in, as the walk must not rely on the kernel's
    // alignment.
    const auto aligned = std::make_unique<std::byte[]>(size);
    std::memcpy(aligned.get(), data, size);
    checkWalk({aligned.get(), size});

    const auto shifted = std::make_unique<std::byte[]>(size + 1);
    std::memcpy(shifted.get() + 1, data, size);
    checkWalk({shifted.get() + 1, size});
    return 0;
}
