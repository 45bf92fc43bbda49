#pragma once

#include <cstdint>

namespace sdbusplus::server::transaction
{

// An id for this thread's records, fixed on first use from the time and the
// thread.
uint64_t get_id();

} // namespace sdbusplus::server::transaction
