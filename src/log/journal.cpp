#include "config.h"

#include "log/journal.hpp"

#include <systemd/sd-journal.h>

#include <sdbusplus/server/transaction.hpp>

namespace tidewatch
{

namespace
{

// The location fields are those of the platform's logging helper, so these
// records sort with every other daemon's in journal filters.
constexpr const char* codeFile =
    "CODE_FILE=" TIDEWATCH_SYSROOT "/usr/include/phosphor-logging/log.hpp";
constexpr const char* codeLine = "CODE_LINE=77";
constexpr const char* codeFunc = "helper_log";

} // namespace

void logJournal(int priority, const char* message)
{
    // %llu wants unsigned long long, which is not uint64_t's type on every
    // target; convert explicitly so 32-bit ARM passes all 64 bits.
    const auto transactionId = static_cast<unsigned long long>(
        sdbusplus::server::transaction::get_id());
    // The journal takes the record's fields as variable arguments.
    sd_journal_send_with_location( // NOLINT(cppcoreguidelines-pro-type-vararg)
        codeFile, codeLine, codeFunc, "PRIORITY=%d", priority, "MESSAGE=%s",
        message, "TRANSACTION_ID=%llu", transactionId, nullptr);
}

} // namespace tidewatch
