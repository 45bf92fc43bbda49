#include "event_log_sets.hpp"

#include "registries/registry.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <span>
#include <string_view>

namespace tidewatch::bench
{

namespace
{

constexpr std::size_t shortestLine = 56;
constexpr std::size_t longestLine = 112;
// Targets drawn evenly from here average the platform's 82 bytes a line.
constexpr std::size_t longestTarget = 108;

struct Message
{
    std::string_view idPrefix; // "Prefix.Major.Minor."
    const RegistryRecord* row;
};

struct MessagePools
{
    std::vector<Message> critical;
    std::vector<Message> other;
};

// Every row of the built-in tables, so the lines follow the tables as they
// are, however many rows they hold.
const MessagePools& messagePools()
{
    static const MessagePools pools = [] {
        MessagePools result;
        const auto take = [&result](std::string_view idPrefix,
                                    std::span<const RegistryRecord> table) {
            for (const RegistryRecord& row : table)
            {
                const std::string_view severity = row.message.severity;
                auto& pool = severity == "Critical" || severity == "critical"
                                 ? result.critical
                                 : result.other;
                pool.push_back({idPrefix, &row});
            }
        };
        take("Base.1.8.", baseRegistry);
        take("OpenBMC.0.1.", openbmcRegistry);
        take("Quor.1.0.", quorRegistry);
        return result;
    }();
    return pools;
}

std::string timestamp(unsigned seed, std::mt19937& random)
{
    std::array<char, 40> text{};
    const unsigned seconds = 13 + seed;
    std::snprintf(
        text.data(), text.size(), "1970-01-%02uT%02u:%02u:%02u.%06u+00:00",
        1 + seconds / 86400 % 28, seconds / 3600 % 24, seconds / 60 % 60,
        seconds % 60, static_cast<unsigned>(random() % 1000000));
    return text.data();
}

void appendArgument(std::string& line, const char* type, std::size_t length,
                    std::mt19937& random)
{
    constexpr std::string_view digits = "0123456789";
    constexpr std::string_view text = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN"
                                      "OPQRSTUVWXYZ0123456789-_ :/";
    const std::string_view alphabet =
        std::string_view(type) == "number" ? digits : text;
    for (std::size_t i = 0; i < length; ++i)
    {
        line += alphabet[random() % alphabet.size()];
    }
}

} // namespace

std::string makeEventLogLine(bool critical, unsigned seed)
{
    std::mt19937 random(seed);
    const MessagePools& pools = messagePools();
    const auto& pool = critical ? pools.critical : pools.other;
    std::uniform_int_distribution<std::size_t> targetLength(
        shortestLine, longestTarget);
    for (;;)
    {
        const Message& message = pool[random() % pool.size()];
        std::string line =
            timestamp(seed, random) + ' ' + std::string(message.idPrefix) +
            message.row->key + ',';
        const std::size_t argCount = message.row->message.argCount;
        const std::size_t target = targetLength(random);
        // Each argument needs at least one byte and all but the last a comma.
        const std::size_t shortest = line.size() + 2 * argCount - 1;
        if (argCount == 0
                ? line.size() < shortestLine || line.size() > longestLine
                : shortest > longestLine)
        {
            continue;
        }
        std::size_t room = std::max(target, shortest) - line.size();
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
            appendArgument(line, message.row->message.argTypes[i], length,
                           random);
            room -= length;
        }
        return line;
    }
}

WrittenSet writeEventLogSet(const std::filesystem::path& directory,
                            const EventLogSet& set,
                            std::optional<std::size_t> criticalLine)
{
    WrittenSet written{0, 0};
    for (const char* name : walkOrder)
    {
        std::ofstream file(directory / name, std::ios::binary);
        // Like the rotated files on a BMC, each one overshoots its size.
        for (std::size_t fileBytes = 0; fileBytes < set.bytesPerFile;)
        {
            const bool critical = written.lines == criticalLine;
            const std::string line = makeEventLogLine(
                critical, static_cast<unsigned>(written.lines));
            file << line << '\n';
            fileBytes += line.size() + 1;
            written.bytes += line.size() + 1;
            ++written.lines;
        }
    }
    return written;
}

} // namespace tidewatch::bench
