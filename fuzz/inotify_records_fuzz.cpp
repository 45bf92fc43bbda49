#include "main/inotify_records.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace std::string_view_literals;

// A record's bytes: its header with this name length, then `name`.
static std::string record(std::size_t nameLength, std::string_view name)
{
    const inotify_event header{1, IN_MODIFY, 0,
                               static_cast<std::uint32_t>(nameLength)};
    std::string bytes(sizeof(header), '\0');
    std::memcpy(bytes.data(), &header, sizeof(header));
    return bytes.append(name);
}

// Triggers in `front` and then the input, in an exact-size heap block (so
// that ASan sees a read past its end) one byte into it (as nothing promises
// the kernel's alignment).
static std::size_t triggers(const std::string& front, const std::uint8_t* data,
                            std::size_t size)
{
    const auto block = std::make_unique<std::byte[]>(1 + front.size() + size);
    std::memcpy(block.get() + 1, front.data(), front.size());
    std::memcpy(block.get() + 1 + front.size(), data, size);
    std::size_t count = 0;
    tidewatch::forEachTriggerRecord(
        std::span(block.get() + 1, front.size() + size), [&count] { ++count; });
    return count;
}

// In front of the input, a record named "redfish" adds exactly one trigger,
// one without a name (a watch removed) none, and one whose name would run
// past the end of what was read stops the walk at once.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    const std::size_t count = triggers("", data, size);
    if (triggers(record(8, "redfish\0"sv), data, size) != count + 1 ||
        triggers(record(0, ""), data, size) != count ||
        triggers(record(8 + size + 1, "redfish\0"sv), data, size) != 0)
    {
        std::abort(); // a finding: libFuzzer keeps the input
    }
    return 0;
}
