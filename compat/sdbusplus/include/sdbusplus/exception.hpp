#pragma once

#include <systemd/sd-bus.h>

#include <exception>
#include <string>

namespace sdbusplus::exception
{

// An sd-bus failure: the failing call's name, then the bus error's name and
// message where sd-bus gave them.
class SdBusError : public std::exception
{
  public:
    SdBusError(int error, const char* prefix);
    SdBusError(sd_bus_error* error, const char* prefix);

    const char* what() const noexcept override;
    int get_errno() const noexcept;

  private:
    int errorNumber;
    std::string text;
};

} // namespace sdbusplus::exception
