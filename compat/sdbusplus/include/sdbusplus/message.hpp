#pragma once

#include <systemd/sd-bus.h>

#include <type_traits>

namespace sdbusplus::message
{

// Owns one reference to an sd-bus message.
class message
{
  public:
    // Takes over the caller's reference.
    message(sd_bus_message* m, std::false_type) noexcept : msg(m)
    {}
    message(const message&) = delete;
    message& operator=(const message&) = delete;
    message(message&& other) noexcept : msg(other.msg)
    {
        other.msg = nullptr;
    }
    message& operator=(message&&) = delete;
    ~message()
    {
        sd_bus_message_unref(msg);
    }

    // As sd-bus wants it for type 'b': an int holding 0 or 1.
    void append(bool value)
    {
        const int boolean = value ? 1 : 0;
        sd_bus_message_append_basic(msg, 'b', &boolean);
    }

    bool is_method_error() const
    {
        return sd_bus_message_is_method_error(msg, nullptr) > 0;
    }

    sd_bus_message* get() const noexcept
    {
        return msg;
    }

  private:
    sd_bus_message* msg;
};

} // namespace sdbusplus::message

namespace sdbusplus
{
using message_t = message::message;
} // namespace sdbusplus
