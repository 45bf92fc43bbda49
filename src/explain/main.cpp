// tidewatch-explain: says whether the service would set the health fault
// now, and why, by running its own scan over the event log.

#include "eventlog/scan.hpp"
#include "explain/report.hpp"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace
{

constexpr std::string_view usage =
    "Usage: tidewatch-explain [--json] [--all] [DIRECTORY]\n"
    "Judges the event log in DIRECTORY (default /var/log) as tidewatch would\n"
    "now, and says why the health fault would be set or clear.\n"
    "  --json  one JSON document instead of text\n"
    "  --all   also every judged line with its outcome\n"
    "Exit status: 0 the fault would be clear, 1 it would be set, 2 error.\n";

constexpr int errorStatus = 2;

int fail(const std::string& cause)
{
    std::cerr << "tidewatch-explain: "
              << tidewatch::forConsole(tidewatch::cleanText(cause)) << '\n';
    return errorStatus;
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    bool everyJudgedLine = false;
    std::optional<std::filesystem::path> directory;
    for (int i = 1; i < argc; ++i)
    {
        const std::string_view argument = argv[i];
        if (argument == "--help")
        {
            std::cout << usage;
            return 0;
        }
        if (argument == "--json")
        {
            json = true;
        }
        else if (argument == "--all")
        {
            everyJudgedLine = true;
        }
        else if (argument.starts_with('-'))
        {
            return fail(
                "unknown option " + std::string(argument) + " (see --help)");
        }
        else if (directory)
        {
            return fail("more than one directory: " + directory->string() +
                        ", " + std::string(argument));
        }
        else
        {
            directory = argument;
        }
    }

    try
    {
        const auto explanation = tidewatch::explainEventLog(
            directory.value_or(tidewatch::logDirectory()), everyJudgedLine);
        if (json)
        {
            std::cout << tidewatch::renderJson(explanation).dump(2) << '\n';
        }
        else
        {
            std::cout << tidewatch::renderText(explanation);
        }
        return explanation.healthFault ? 1 : 0;
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        return fail("cannot list " + error.path1().string() + ": " +
                    error.code().message());
    }
    catch (const std::exception& error)
    {
        return fail(error.what());
    }
}
