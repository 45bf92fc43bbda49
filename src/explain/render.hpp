#pragma once

#include "explain/report.hpp"

#include <string>

namespace tidewatch
{

// The report for a person at a console.
std::string renderText(const Explanation& explanation);

// The report as one JSON document for scripts.
std::string renderJson(const Explanation& explanation);

} // namespace tidewatch
