#include "explain/report.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

TEST(FillMessage, FillsArgumentsAndKeepsMissingPlaceholders)
{
    const std::vector<std::string_view> two{"CPU1 Temp", "%3"};
    EXPECT_EQ(fillMessage("Sensor %1 reading of %2 is above %3.", two),
              "Sensor CPU1 Temp reading of %3 is above %3.");
    const std::vector<std::string_view> three{"a", "b\xff", "c"};
    EXPECT_EQ(fillMessage("%2%1, 100%", three), "b\uFFFDa, 100%");
}

TEST(CleanText, ReplacesInvalidBytesAndCutsOnCharacterBoundary)
{
    const std::string fits(textLimit, 'x');
    const std::string replaced = "\uFFFD";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"ts \u20AC\U0010FFFF", "ts \u20AC\U0010FFFF"},
        {"a\xff"
         "b\x80",
         "a" + replaced + "b" + replaced},
        {"\xe2\x82", replaced + replaced},                // truncated
        {"\xc0\xaf", replaced + replaced},                // overlong
        {"\xed\xa0\x80", replaced + replaced + replaced}, // surrogate
        {"\xf4\x90\x80\x80", replaced + replaced + replaced + replaced},
        {fits, fits},
        {fits + "y", fits + std::string(cutMark)},
        {fits.substr(1) + "\u20AC", fits.substr(1) + std::string(cutMark)},
        {fits.substr(1) + "\xff", fits.substr(1) + std::string(cutMark)},
    };
    for (const auto& [text, clean] : cases)
    {
        EXPECT_EQ(cleanText(text), clean) << text;
    }
    EXPECT_EQ(forConsole("A\r\x1b[0m"), "A\u240D\u241B[0m");
}

} // namespace
} // namespace tidewatch
