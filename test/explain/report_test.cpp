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
    const std::vector<std::string_view> arguments{"CPU1 Temp", "%3\xff"};
    EXPECT_EQ(fillMessage("Sensor %1 reading of %2 is above %3, 100%.",
                          arguments),
              "Sensor CPU1 Temp reading of %3\uFFFD is above %3, 100%.");
}

TEST(CleanText, ReplacesInvalidUtf8AndCutsOnCharacterBoundary)
{
    const std::string fit(textLimit, 'x');
    const std::string cut = fit.substr(1) + std::string(cutMark);
    const std::vector<std::pair<std::string, std::string>> cases{
        {"ts \u20AC\U0010FFFF", "ts \u20AC\U0010FFFF"},
        {"x\xffz\xe2\x82z\xed\xa0", "x\uFFFDz\uFFFDz\uFFFD\uFFFD"},
        {fit, fit},
        {fit + "y", fit + std::string(cutMark)},
        {fit.substr(1) + "\u20AC", cut},
        {fit.substr(1) + "\xff", cut},
    };
    for (const auto& [text, clean] : cases)
    {
        EXPECT_EQ(cleanText(text), clean) << text;
    }
    EXPECT_EQ(forConsole("A\r\x1b[0m\x7f"), "A\u240D\u241B[0m\u2421");
}

} // namespace
} // namespace tidewatch
