#pragma once

namespace tidewatch
{

// Asks the LED manager to set (true) or clear (false) the health fault.
// A failed or refused call is logged and returns false. Failing to connect
// or to create the call throws: sdbusplus::exception::SdBusError, or
// std::logic_error from the binding when the bus drops the connection while
// it connects.
bool setHealthFault(bool fault);

} // namespace tidewatch
