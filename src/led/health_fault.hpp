#pragma once

namespace tidewatch
{

// Asks the LED manager to set (true) or clear (false) the health fault.
// A failed or refused call is logged and returns false; only a call that
// cannot be created at all (no bus connection) throws
// sdbusplus::exception::SdBusError.
bool setHealthFault(bool fault);

} // namespace tidewatch
