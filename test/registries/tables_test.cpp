#include "eventlog/entry.hpp"
#include "registries/registry.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

using Rows = std::span<const RegistryRecord>;

constexpr std::string_view capitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view decimalDigits = "0123456789";

bool isLettersAndDigits(std::string_view key)
{
    constexpr std::string_view lettersAndDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    return !key.empty() &&
           key.find_first_not_of(lettersAndDigits) == std::string_view::npos;
}

// A category code of 3 or 4 capitals, then a number of 3 or 4 digits.
bool isQuorKey(std::string_view key)
{
    const std::size_t letters =
        std::min(key.find_first_not_of(capitals), key.size());
    const std::size_t number = key.size() - letters;
    return letters >= 3 && letters <= 4 && number >= 3 && number <= 4 &&
           key.find_first_not_of(decimalDigits, letters) ==
               std::string_view::npos;
}

struct Table
{
    const char* name;
    Rows rows;
    bool sorted; // ascending byte order of keys
    bool (*isValidKey)(std::string_view);
};

const std::array<Table, 3> tables{{
    {"Base", baseRegistry, true, isLettersAndDigits},
    {"OpenBMC", openbmcRegistry, false, isLettersAndDigits},
    {"Quor", quorRegistry, true, isQuorKey},
}};

template <typename KeyOf>
auto countBy(Rows rows, KeyOf keyOf)
{
    std::map<std::invoke_result_t<KeyOf, const RegistryRecord&>, std::size_t>
        counts;
    for (const RegistryRecord& row : rows)
    {
        ++counts[keyOf(row)];
    }
    return counts;
}

std::string_view severityOf(const RegistryRecord& row)
{
    return row.message.severity;
}

std::size_t argCountOf(const RegistryRecord& row)
{
    return row.message.argCount;
}

// "number,string,...": the filled argument type slots, in order.
std::string argPatternOf(const RegistryRecord& row)
{
    std::string pattern;
    for (std::size_t slot = 0; slot < row.message.argCount; ++slot)
    {
        pattern += (slot == 0 ? "" : ",");
        pattern += row.message.argTypes.at(slot);
    }
    return pattern;
}

// "AMP Critical": the Quor category code (the key's leading capitals) and the
// row's severity.
std::string categoryAndSeverityOf(const RegistryRecord& row)
{
    const std::string_view key = row.key;
    return std::string(key.substr(0, key.find_first_not_of(capitals))) + " " +
           row.message.severity;
}

// The numbers n of every "%n" in the message.
std::set<std::size_t> placeholdersOf(std::string_view message)
{
    std::set<std::size_t> numbers;
    for (std::size_t at = message.find('%'); at != std::string_view::npos;
         at = message.find('%', at + 1))
    {
        std::size_t number = 0;
        const char* end = message.data() + message.size();
        if (std::from_chars(message.data() + at + 1, end, number).ec ==
            std::errc{})
        {
            numbers.insert(number);
        }
    }
    return numbers;
}

TEST(RegistryTables, CountRowsBySeverity)
{
    using Counts = std::map<std::string_view, std::size_t>;
    EXPECT_EQ(countBy(baseRegistry, severityOf),
              (Counts{{"Critical", 41}, {"Warning", 56}, {"OK", 7}}));
    EXPECT_EQ(countBy(openbmcRegistry, severityOf),
              (Counts{{"Critical", 76}, {"Warning", 56}, {"OK", 59}}));
    EXPECT_EQ(countBy(quorRegistry, severityOf),
              (Counts{{"Critical", 386}, {"Warning", 178}, {"OK", 405}}));
}

TEST(RegistryTables, HoldWellFormedRows)
{
    const std::set<std::string_view> severities{"OK", "Warning", "Critical"};
    const std::set<std::string_view> argTypes{"string", "number"};
    std::set<std::string_view> keys; // across all tables
    for (const Table& table : tables)
    {
        SCOPED_TRACE(table.name);
        for (const RegistryRecord& row : table.rows)
        {
            const RegistryMessage& message = row.message;
            ASSERT_NE(row.key, nullptr);
            SCOPED_TRACE(row.key);
            ASSERT_NE(message.description, nullptr);
            ASSERT_NE(message.message, nullptr);
            ASSERT_NE(message.severity, nullptr);
            ASSERT_NE(message.resolution, nullptr);
            EXPECT_TRUE(keys.insert(row.key).second) << "repeated key";
            EXPECT_TRUE(table.isValidKey(row.key));
            EXPECT_TRUE(severities.contains(message.severity));
            ASSERT_LE(message.argCount, message.argTypes.size());
            for (std::size_t slot = 0; slot < message.argTypes.size(); ++slot)
            {
                const char* type = message.argTypes.at(slot);
                if (slot < message.argCount)
                {
                    ASSERT_NE(type, nullptr) << "slot " << slot;
                    EXPECT_TRUE(argTypes.contains(type)) << "slot " << slot;
                }
                else
                {
                    EXPECT_EQ(type, nullptr) << "slot " << slot;
                }
            }
            std::set<std::size_t> expected;
            for (std::size_t n = 1; n <= message.argCount; ++n)
            {
                expected.insert(n);
            }
            EXPECT_EQ(placeholdersOf(message.message), expected);
        }
        if (table.sorted)
        {
            const auto unordered = std::ranges::adjacent_find(
                table.rows, [](const auto& a, const auto& b) {
                    return std::strcmp(a.key, b.key) >= 0;
                });
            EXPECT_EQ(unordered, table.rows.end())
                << unordered->key << " is not before the next key";
        }
    }
}

TEST(BaseRegistry, HasArgumentProfile)
{
    using Counts = std::map<std::size_t, std::size_t>;
    EXPECT_EQ(countBy(baseRegistry, argCountOf),
              (Counts{{0, 41}, {1, 33}, {2, 24}, {3, 6}}));
    std::vector<std::pair<std::string_view, std::size_t>> numberSlots;
    for (const RegistryRecord& row : baseRegistry)
    {
        for (std::size_t slot = 0; slot < row.message.argCount; ++slot)
        {
            if (std::string_view(row.message.argTypes.at(slot)) == "number")
            {
                numberSlots.emplace_back(row.key, slot);
            }
        }
    }
    EXPECT_EQ(numberSlots, (decltype(numberSlots){{"InvalidIndex", 0},
                                                  {"InvalidJSON", 0},
                                                  {"StringValueTooLong", 1}}));
}

TEST(OpenbmcRegistry, HasArgumentProfile)
{
    using Counts = std::map<std::string, std::size_t>;
    EXPECT_EQ(countBy(openbmcRegistry, argPatternOf),
              (Counts{{"", 60},
                      {"string", 57},
                      {"number", 8},
                      {"string,string", 13},
                      {"string,string,string", 3},
                      {"string,string,string,string", 1},
                      {"number,number,number", 32},
                      {"string,number,number", 8},
                      {"number,string,number,number", 3},
                      {"number,string,number,number,number", 4},
                      {"number,string,number,string,number", 2}}));
}

TEST(QuorRegistry, HasArgumentProfile)
{
    using Counts = std::map<std::size_t, std::size_t>;
    EXPECT_EQ(countBy(quorRegistry, argCountOf),
              (Counts{{0, 411},
                      {1, 448},
                      {2, 84},
                      {3, 19},
                      {4, 3},
                      {5, 2},
                      {6, 1},
                      {7, 1}}));
    for (const auto& [messageId, argCount] :
         {std::pair{"Quor.1.0.FSD9031", std::size_t{6}},
          std::pair{"Quor.1.0.PSU0800", std::size_t{7}}})
    {
        const RegistryMessage* message = findRegistryMessage(messageId);
        ASSERT_NE(message, nullptr) << messageId;
        EXPECT_EQ(message->argCount, argCount);
    }
    for (const RegistryRecord& row : quorRegistry)
    {
        for (std::size_t slot = 0; slot < row.message.argCount; ++slot)
        {
            EXPECT_STREQ(row.message.argTypes.at(slot), "string") << row.key;
        }
    }
}

TEST(QuorRegistry, HasTextProfile)
{
    const auto hasNoDescription = [](const RegistryRecord& row) {
        return std::string_view(row.message.description) == "None.";
    };
    const auto hasNoAction = [](const RegistryRecord& row) {
        return std::string_view(row.message.resolution) ==
               "No response action is required.";
    };
    const auto isOkWithNoAction = [&](const RegistryRecord& row) {
        return hasNoAction(row) && severityOf(row) == "OK";
    };
    EXPECT_EQ(std::ranges::count_if(quorRegistry, hasNoDescription), 309);
    EXPECT_EQ(std::ranges::count_if(quorRegistry, hasNoAction), 377);
    EXPECT_EQ(std::ranges::count_if(quorRegistry, isOkWithNoAction), 362);
}

struct CategoryCounts
{
    const char* category;
    std::size_t critical;
    std::size_t warning;
    std::size_t ok;
};

TEST(QuorRegistry, CountsRowsByCategoryAndSeverity)
{
    constexpr std::array<CategoryCounts, 41> categories{{
        {"AMP", 12, 8, 4},  {"ASR", 13, 0, 2},   {"BAT", 9, 5, 8},
        {"BEZL", 1, 1, 2},  {"BIOS", 1, 0, 1},   {"CBL", 7, 1, 0},
        {"CPU", 17, 7, 12}, {"CPUA", 1, 0, 0},   {"FAN", 10, 6, 8},
        {"FSD", 0, 1, 4},   {"HWC", 36, 13, 44}, {"LCS", 1, 2, 4},
        {"LNK", 1, 0, 1},   {"MEM", 46, 29, 46}, {"OSD", 1, 0, 3},
        {"OSE", 9, 0, 11},  {"PCI", 29, 13, 12}, {"PDR", 9, 8, 17},
        {"PFM", 1, 1, 2},   {"PST", 30, 1, 30},  {"PSU", 27, 8, 23},
        {"PSUA", 1, 0, 0},  {"PWR", 8, 9, 38},   {"RDU", 5, 5, 8},
        {"RED", 1, 1, 2},   {"RFL", 1, 2, 6},    {"RFLA", 1, 0, 0},
        {"RFM", 2, 4, 12},  {"RRDU", 3, 1, 4},   {"SEC", 17, 7, 20},
        {"SEL", 17, 4, 28}, {"SRV", 0, 3, 4},    {"SUP", 1, 0, 1},
        {"SWC", 16, 3, 10}, {"TMP", 22, 15, 13}, {"UEFI", 3, 0, 3},
        {"VFL", 2, 4, 11},  {"VFLA", 0, 0, 1},   {"VLT", 24, 16, 8},
        {"WNS", 1, 0, 1},   {"ZUN", 0, 0, 1},
    }};
    std::map<std::string, std::size_t> expected;
    for (const CategoryCounts& counts : categories)
    {
        const std::string category = counts.category;
        for (const auto& [severity, count] :
             {std::pair{" Critical", counts.critical},
              std::pair{" Warning", counts.warning},
              std::pair{" OK", counts.ok}})
        {
            if (count != 0)
            {
                expected[category + severity] = count;
            }
        }
    }
    EXPECT_EQ(countBy(quorRegistry, categoryAndSeverityOf), expected);
}

struct ContentCase
{
    const char* messageId;
    const char* severity; // null: no registered message
};

void PrintTo(const ContentCase& contentCase, std::ostream* out)
{
    *out << contentCase.messageId;
}

class RegistryContentTest : public testing::TestWithParam<ContentCase>
{};

TEST_P(RegistryContentTest, ResolvesAndJudgesEntry)
{
    const auto& [messageId, severity] = GetParam();
    const RegistryMessage* message = findRegistryMessage(messageId);
    if (severity == nullptr)
    {
        EXPECT_EQ(message, nullptr);
    }
    else
    {
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message->severity, severity);
    }
    const bool critical = severity != nullptr &&
                          std::string_view(severity) == "Critical";
    EXPECT_EQ(isCriticalEntry(std::string("1970-01-01T00:00:13.052207+00:00 ") +
                              messageId + ","),
              critical);
}

INSTANTIATE_TEST_SUITE_P(
    MessageIds, RegistryContentTest,
    testing::Values(
        ContentCase{"Base.1.8.InternalError", "Critical"},
        ContentCase{"Base.1.8.Created", "OK"},
        // Hardware trouble that alone never sets the health fault.
        ContentCase{"OpenBMC.0.1.PowerSupplyFailed", "Warning"},
        ContentCase{"OpenBMC.0.1.FanRedundancyLost", "Warning"},
        ContentCase{"OpenBMC.0.1.DriveError", "Warning"},
        ContentCase{"OpenBMC.0.1.ChassisIntrusionDetected", "Warning"},
        // Security-relevant states that do.
        ContentCase{"OpenBMC.0.1.ManufacturingModeEntered", "Critical"},
        ContentCase{"OpenBMC.0.1.AtScaleDebugConnected", "Critical"},
        ContentCase{"OpenBMC.0.1.SecurityUserRootEnabled", "Critical"},
        ContentCase{"Quor.1.0.PSU0001", "Critical"},
        ContentCase{"Quor.1.0.PSU0002", "Warning"},
        ContentCase{"Quor.1.0.PSU0000", "OK"},
        // Numbers are not widened to four digits.
        ContentCase{"Quor.1.0.FSD000", "OK"},
        ContentCase{"Quor.1.0.FSD0000", nullptr}));

} // namespace
} // namespace tidewatch
