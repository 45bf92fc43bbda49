// tidewatch-explain: says whether the service would set the health fault
// now, and why, walking the event log with the service's own walk.

#include "eventlog/names.hpp"
#include "explain/render.hpp"
#include "explain/report.hpp"
#include "explain/text.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace
{

// Around the default directory, which is the service's own.
constexpr std::string_view usageHead =
    "Usage: tidewatch-explain [--json] [--all] [DIRECTORY]\n"
    "Judges the event log in DIRECTORY (default ";
constexpr std::string_view usageTail =
    ") as tidewatch would\n"
    "now and says why: --json as one JSON document, --all with every judged\n"
    "line. Exit status: 0 the health fault would be clear, 1 set, 2 error.\n";

int fail(const std::string& cause)
{
    std::cerr << "tidewatch-explain: "
              << tidewatch::forConsole(tidewatch::cleanText(cause)) << '\n';
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto given = [&arguments](std::string_view option) {
        return std::ranges::count(arguments, option) > 0;
    };
    if (given("--help"))
    {
        std::cout << usageHead << tidewatch::logDirectory().native()
                  << usageTail;
        return 0;
    }
    std::vector<std::string> directories;
    for (const std::string& argument : arguments)
    {
        if (argument.starts_with('-') && argument != "--json" &&
            argument != "--all")
        {
            return fail("unknown option " + argument + " (see --help)");
        }
        if (!argument.starts_with('-'))
        {
            directories.push_back(argument);
        }
    }
    if (directories.size() > 1)
    {
        return fail("more than one directory: " + directories[0] + ", " +
                    directories[1]);
    }

    try
    {
        const auto explanation = tidewatch::explainEventLog(
            directories.empty() ? tidewatch::logDirectory()
                                : std::filesystem::path(directories[0]),
            given("--all"));
        std::cout << (given("--json") ? tidewatch::renderJson(explanation)
                                      : tidewatch::renderText(explanation));
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
