#include <sdbusplus/bus.hpp>
#include <sdbusplus/exception.hpp>
#include <sdbusplus/message.hpp>
#include <sdbusplus/server/transaction.hpp>

#include <chrono>
#include <functional>
#include <thread>

namespace sdbusplus
{

namespace exception
{

SdBusError::SdBusError(int error, const char* prefix) : errorNumber(error)
{
    sd_bus_error busError{}; // SD_BUS_ERROR_NULL is C-only syntax
    sd_bus_error_set_errno(&busError, error);
    *this = SdBusError(&busError, prefix);
}

SdBusError::SdBusError(sd_bus_error* error, const char* prefix) :
    errorNumber(sd_bus_error_get_errno(error)), text(prefix)
{
    if (error->name != nullptr)
    {
        text.append(": ").append(error->name);
    }
    if (error->message != nullptr)
    {
        text.append(": ").append(error->message);
    }
    sd_bus_error_free(error);
}

const char* SdBusError::what() const noexcept
{
    return text.c_str();
}

int SdBusError::get_errno() const noexcept
{
    return errorNumber;
}

} // namespace exception

namespace bus
{

message_t bus::new_method_call(const char* service, const char* objectPath,
                               const char* interface, const char* method)
{
    sd_bus_message* m = nullptr;
    const int r = sd_bus_message_new_method_call(connection, &m, service,
                                                 objectPath, interface, method);
    if (r < 0)
    {
        throw exception::SdBusError(-r, "sd_bus_message_new_method_call");
    }
    return message_t(m, std::false_type());
}

message_t bus::call(message_t& m, uint64_t timeoutMicroseconds)
{
    sd_bus_error error{}; // SD_BUS_ERROR_NULL is C-only syntax
    sd_bus_message* reply = nullptr;
    const int r =
        sd_bus_call(connection, m.get(), timeoutMicroseconds, &error, &reply);
    if (r < 0)
    {
        throw exception::SdBusError(&error, "sd_bus_call");
    }
    return message_t(reply, std::false_type());
}

bus new_default_system()
{
    sd_bus* connection = nullptr;
    sd_bus_default_system(&connection);
    return bus(connection, std::false_type());
}

} // namespace bus

namespace server::transaction
{

uint64_t get_id()
{
    // Widen before mixing so the id keeps 64 bits where size_t has 32.
    thread_local const uint64_t id = [] {
        const auto now = static_cast<uint64_t>(
            std::chrono::system_clock::now().time_since_epoch().count());
        const auto thread = static_cast<uint64_t>(
            std::hash<std::thread::id>{}(std::this_thread::get_id()));
        return now ^ (thread << 32) ^ thread;
    }();
    return id;
}

} // namespace server::transaction

} // namespace sdbusplus
