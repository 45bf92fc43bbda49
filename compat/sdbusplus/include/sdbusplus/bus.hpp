#pragma once

#include <systemd/sd-bus.h>

#include <sdbusplus/message.hpp>

#include <cstdint>
#include <type_traits>

namespace sdbusplus::bus
{

// Owns one reference to an sd-bus connection; may hold none when no
// connection could be had, which the first call then reports.
class bus
{
  public:
    bus(sd_bus* b, std::false_type) noexcept : connection(b)
    {}
    bus(const bus&) = delete;
    bus& operator=(const bus&) = delete;
    bus(bus&& other) noexcept : connection(other.connection)
    {
        other.connection = nullptr;
    }
    bus& operator=(bus&&) = delete;
    ~bus()
    {
        sd_bus_flush_close_unref(connection);
    }

    // Throws SdBusError("sd_bus_message_new_method_call") on failure,
    // including when this object holds no connection.
    message_t new_method_call(const char* service, const char* objectPath,
                              const char* interface, const char* method);

    // Waits for the reply; 0 selects sd-bus's default timeout. Throws
    // SdBusError("sd_bus_call") for a failed call or an error reply.
    message_t call(message_t& m, uint64_t timeoutMicroseconds);

    sd_bus* get() const noexcept
    {
        return connection;
    }

  private:
    sd_bus* connection;
};

// A reference to this thread's default system bus connection. sd-bus keeps
// the connection only while a reference lives, so after the last one is
// dropped the next call connects afresh.
bus new_default_system();

} // namespace sdbusplus::bus

namespace sdbusplus
{
using bus_t = bus::bus;
} // namespace sdbusplus
