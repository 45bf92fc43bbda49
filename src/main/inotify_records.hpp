#pragma once

#include "eventlog/names.hpp"

#include <sys/inotify.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tidewatch
{

// Calls onTrigger, in record order, once for every inotify record in
// `records` (the bytes one read returned) whose name is exactly
// eventLogName: only changes of the current event log file matter. Records
// without a name (queue overflow, watch removed) are passed over, and a
// record that would run past the end stops the walk.
template <typename OnTrigger>
void forEachTriggerRecord(std::span<const std::byte> records,
                          OnTrigger&& onTrigger)
{
    constexpr std::size_t headerSize = sizeof(inotify_event);
    std::size_t offset = 0;
    while (offset < records.size() && records.size() - offset >= headerSize)
    {
        const std::byte* record = records.data() + offset;
        // Copied out rather than cast: nothing promises the caller's buffer
        // keeps the kernel's alignment.
        std::uint32_t nameLength = 0;
        std::memcpy(&nameLength, record + offsetof(inotify_event, len),
                    sizeof(nameLength));
        if (nameLength > records.size() - offset - headerSize)
        {
            return;
        }
        // The kernel NUL-pads the name. A copy of one byte more than the
        // trigger tells whether the name up to its first NUL is exactly the
        // trigger; a record without a name copies nothing.
        std::array<char, eventLogName.size() + 1> name{};
        const std::size_t copied =
            std::min<std::size_t>(nameLength, name.size());
        std::memcpy(name.data(), record + headerSize, copied);
        if (std::string_view(name.data(), strnlen(name.data(), copied)) ==
            eventLogName)
        {
            onTrigger();
        }
        offset += headerSize + nameLength;
    }
}

} // namespace tidewatch
