#pragma once

#include "registries/registry.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewatch::bench
{

// Generated event logs shaped like a BMC's: four files, "redfish.3" (read
// first) to "redfish" (read last), lines of 56 to 112 bytes (82 on average)
// with an RFC 3339 timestamp, a MessageId drawn evenly from every row of the
// built-in registries, and its arguments after commas. Every line is
// non-critical but the one optionally placed.
struct EventLogSet
{
    const char* name;
    std::size_t bytesPerFile;
};

inline constexpr EventLogSet typicalSet{"typical", 64 * 1024};
inline constexpr EventLogSet stressSet{"stress", 512 * 1024};
inline constexpr std::array<const char*, 4> walkOrder{
    "redfish.3", "redfish.2", "redfish.1", "redfish"};

// A MessageId's "Prefix.Major.Minor." and the row that gives its key.
using Message = std::pair<std::string_view, const RegistryRecord*>;

// Every row of the tables as they are, the critical ones apart.
inline const std::vector<Message>& messagePool(bool critical)
{
    static const auto pools = [] {
        std::array<std::vector<Message>, 2> byCriticality;
        for (const auto& [idPrefix, rows] :
             {std::pair<std::string_view, std::span<const RegistryRecord>>{
                  "Base.1.8.", baseRegistry},
              {"OpenBMC.0.1.", openbmcRegistry},
              {"Quor.1.0.", quorRegistry}})
        {
            for (const RegistryRecord& row : rows)
            {
                const std::string_view severity = row.message.severity;
                byCriticality
                    .at(severity == "Critical" || severity == "critical")
                    .push_back({idPrefix, &row});
            }
        }
        return byCriticality;
    }();
    return pools.at(critical);
}

// One line without its newline; the same arguments give the same line.
inline std::string makeEventLogLine(bool critical, unsigned seed)
{
    constexpr std::size_t shortest = 56;
    constexpr std::size_t longest = 112;
    std::mt19937 random(seed);
    const std::vector<Message>& pool = messagePool(critical);
    // Targets drawn evenly up to 108 average the platform's 82 bytes a line.
    std::uniform_int_distribution<std::size_t> targetLength(shortest, 108);
    for (;;)
    {
        const auto& [idPrefix, row] = pool[random() % pool.size()];
        const unsigned seconds = 13 + seed;
        std::array<char, 40> stamp{};
        std::snprintf(stamp.data(), stamp.size(),
                      "1970-01-%02uT%02u:%02u:%02u.%06u+00:00",
                      1 + seconds / 86400 % 28, seconds / 3600 % 24,
                      seconds / 60 % 60, seconds % 60,
                      static_cast<unsigned>(random() % 1000000));
        std::string line = std::string(stamp.data()) + ' ' +
                           std::string(idPrefix) + row->key + ',';
        const std::size_t argCount = row->message.argCount;
        const std::size_t target = targetLength(random);
        // Each argument needs a byte, and all but the last a comma.
        const std::size_t least = line.size() + 2 * argCount - 1;
        if (argCount == 0 ? line.size() < shortest || line.size() > longest
                          : least > longest)
        {
            continue;
        }
        std::size_t room = std::max(target, least) - line.size();
        for (std::size_t i = 0; i < argCount; ++i)
        {
            if (i > 0)
            {
                line += ',';
                --room;
            }
            // An even share of what the later arguments do not need.
            const std::size_t left = argCount - i - 1;
            const std::size_t length = (room - left) / (left + 1);
            const std::string_view alphabet =
                std::string_view(row->message.argTypes.at(i)) == "number"
                    ? "0123456789"
                    : "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                      "0123456789-_ :/";
            for (std::size_t c = 0; c < length; ++c)
            {
                line += alphabet[random() % alphabet.size()];
            }
            room -= length;
        }
        return line;
    }
}

struct WrittenSet
{
    std::size_t bytes;
    std::size_t lines;
};

// Writes the set into `directory`, each file just past its size; when
// `criticalLine` is given, that line of the walk (from 0) is critical.
inline WrittenSet writeEventLogSet(const std::filesystem::path& directory,
                                   const EventLogSet& set,
                                   std::optional<std::size_t> criticalLine)
{
    WrittenSet written{0, 0};
    for (const char* name : walkOrder)
    {
        std::ofstream file(directory / name, std::ios::binary);
        for (std::size_t fileBytes = 0; fileBytes < set.bytesPerFile;)
        {
            const std::string line =
                makeEventLogLine(written.lines == criticalLine,
                                 static_cast<unsigned>(written.lines));
            file << line << '\n';
            fileBytes += line.size() + 1;
            written.bytes += line.size() + 1;
            ++written.lines;
        }
    }
    return written;
}

} // namespace tidewatch::bench
