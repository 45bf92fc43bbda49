#include "eventlog/entry.hpp"
#include "registries/registry.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;
using namespace std::string_view_literals;

// Each MessageId names a message of this severity, or none; its entry is
// critical exactly when the severity is "Critical".
TEST(FindRegistryMessage, ResolvesTheWholePrefixAndKeyOnly)
{
    const std::pair<std::string_view, std::vector<std::string_view>> cases[] = {
        // Any version, even an empty one; fields after the key ignored.
        {"Critical",
         {"Base.1.8.AccessDenied", "Base.9.99.AccessDenied",
          "Base.1..AccessDenied", "Base.1.8.AccessDenied.Extra",
          "OpenBMC.0.1.SystemPowerOnFailed",
          "OpenBMC.0.1.ManufacturingModeEntered", "Quor.1.0.AMP0301",
          "Quor.1.0.PSU0001"}},
        {"Warning",
         {"OpenBMC.0.1.ADDDCCorrectable", "OpenBMC.0.1.PowerSupplyFailed",
          "Quor.1.0.AMP0300"}},
        {"OK", {"Base.1.8.Success", "Quor.1.0.AMP0305", "Quor.1.0.FSD000"}},
        // No fallback to another registry; prefix and key compared whole
        // and byte for byte; fewer than four fields.
        {"none",
         {"OpenBMC.0.1.AccessDenied", "Quor.1.0.AccessDenied",
          "base.1.8.AccessDenied", "Bases.1.8.AccessDenied",
          "Bas.1.8.AccessDenied", "OpenBMc.0.1.SystemPowerOnFailed",
          "Base.1.8.Accessdenied", "Base.1.8.AccessDenie",
          "Base.1.8.AccessDeniedX", "Base.1.8.AccessDenied ",
          "Base.1.8.AccessDenied\0"sv, "Base.1.8.Access.Denied",
          "Quor.1.0.AMP300", "Quor.1.0.FSD0000", ".1.8.AccessDenied",
          "Base.1.8.", "Base.AccessDenied", ""}},
    };
    for (const auto& [severity, messageIds] : cases)
    {
        for (const std::string_view messageId : messageIds)
        {
            const RegistryMessage* message = findRegistryMessage(messageId);
            EXPECT_EQ(std::string_view(message ? message->severity : "none"),
                      severity)
                << messageId;
            EXPECT_EQ(isCriticalEntry("ts " + std::string(messageId)),
                      severity == "Critical")
                << messageId;
        }
    }
    // A view ends where its length says, not at a NUL.
    constexpr std::string_view id = "Base.1.8.AccessDeniedX";
    EXPECT_EQ(findRegistryMessage(id.substr(0, 21)), &baseRegistry[0].message);
    EXPECT_EQ(findRegistryMessage(id.substr(0, 20)), nullptr);
}

// Rows per severity (Critical, Warning, OK): per table, and per category
// (the key's leading capitals) of the Quor table.
TEST(RegistryTables, CountRowsPerSeverity)
{
    constexpr std::array<std::string_view, 3> severities{"Critical", "Warning",
                                                         "OK"};
    std::map<std::string_view, std::array<int, 3>> counts;
    const auto count = [&](std::string_view group, const RegistryRecord& row) {
        const auto severity =
            std::ranges::find(severities, row.message.severity);
        ++counts[group].at(
            static_cast<std::size_t>(severity - severities.begin()));
    };
    for (const RegistryRecord& row : baseRegistry)
    {
        count("Base", row);
    }
    for (const RegistryRecord& row : openbmcRegistry)
    {
        count("OpenBMC", row);
    }
    for (const RegistryRecord& row : quorRegistry)
    {
        const std::string_view key = row.key;
        count("Quor", row);
        count(key.substr(0, key.find_first_of("0123456789")), row);
    }
    const std::tuple<std::string_view, int, int, int> expected[] = {
        {"Base", 41, 56, 7}, {"OpenBMC", 76, 56, 59}, {"Quor", 386, 178, 405},
        {"AMP", 12, 8, 4},   {"ASR", 13, 0, 2},       {"BAT", 9, 5, 8},
        {"BEZL", 1, 1, 2},   {"BIOS", 1, 0, 1},       {"CBL", 7, 1, 0},
        {"CPU", 17, 7, 12},  {"CPUA", 1, 0, 0},       {"FAN", 10, 6, 8},
        {"FSD", 0, 1, 4},    {"HWC", 36, 13, 44},     {"LCS", 1, 2, 4},
        {"LNK", 1, 0, 1},    {"MEM", 46, 29, 46},     {"OSD", 1, 0, 3},
        {"OSE", 9, 0, 11},   {"PCI", 29, 13, 12},     {"PDR", 9, 8, 17},
        {"PFM", 1, 1, 2},    {"PST", 30, 1, 30},      {"PSU", 27, 8, 23},
        {"PSUA", 1, 0, 0},   {"PWR", 8, 9, 38},       {"RDU", 5, 5, 8},
        {"RED", 1, 1, 2},    {"RFL", 1, 2, 6},        {"RFLA", 1, 0, 0},
        {"RFM", 2, 4, 12},   {"RRDU", 3, 1, 4},       {"SEC", 17, 7, 20},
        {"SEL", 17, 4, 28},  {"SRV", 0, 3, 4},        {"SUP", 1, 0, 1},
        {"SWC", 16, 3, 10},  {"TMP", 22, 15, 13},     {"UEFI", 3, 0, 3},
        {"VFL", 2, 4, 11},   {"VFLA", 0, 0, 1},       {"VLT", 24, 16, 8},
        {"WNS", 1, 0, 1},    {"ZUN", 0, 0, 1},
    };
    EXPECT_EQ(counts.size(), std::size(expected));
    for (const auto& [group, critical, warning, ok] : expected)
    {
        EXPECT_EQ(counts[group], (std::array{critical, warning, ok})) << group;
    }
}

} // namespace
