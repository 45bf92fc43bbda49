#pragma once

namespace tidewatch
{

// Writes one structured journal record. A record that cannot be written is
// lost: logging must never stop the service.
void logJournal(int priority, const char* message);

} // namespace tidewatch
