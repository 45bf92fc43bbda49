#include "led/health_fault.hpp"

#include "log/journal.hpp"

#include <syslog.h>

#include <sdbusplus/bus.hpp>
#include <sdbusplus/exception.hpp>
#include <sdbusplus/message.hpp>

namespace tidewatch
{

namespace
{

constexpr const char* ledManagerService =
    "xyz.openbmc_project.corvane.lampkeeper";
constexpr const char* ledManagerPath =
    "/xyz/openbmc_project/corvane/lampkeeper";
constexpr const char* ledManagerInterface =
    "xyz.openbmc_project.corvane.lampkeeper";
constexpr const char* setHealthFaultMethod = "SetHealthFault";
constexpr const char* setFailedMessage =
    "Error while setting health fault status";

} // namespace

bool setHealthFault(bool fault)
{
    // No connection is kept between calls: a bus that went away is met here,
    // on the next call, rather than through a stale handle.
    auto bus = sdbusplus::bus::new_default_system();
    auto method =
        bus.new_method_call(ledManagerService, ledManagerPath,
                            ledManagerInterface, setHealthFaultMethod);
    method.append(fault);
    try
    {
        // Declared last so it is released first: reply, call, connection.
        auto reply = bus.call(method, 0);
        // An error reply makes the call throw before this is reached; kept
        // so that a call returning an error reply without failing still
        // counts as failed.
        if (reply.is_method_error())
        {
            logJournal(LOG_ERR, setFailedMessage);
            return false;
        }
    }
    catch (const sdbusplus::exception::SdBusError&)
    {
        logJournal(LOG_ERR, setFailedMessage);
        return false;
    }
    return true;
}

} // namespace tidewatch
