// led-manager-standin: plays the LED manager on the system bus, for the
// system tests and the demo.
//
//   led-manager-standin [--control FILE] [--print-state]
//
// Owns "xyz.openbmc_project.corvane.lampkeeper" and serves the method
// SetHealthFault (input "b") of the interface of that name on
// /xyz/openbmc_project/corvane/lampkeeper. Prints "ready" once the name is
// owned. For every call it first prints what it received, then answers as
// the first line of the control file says; the file is read afresh on every
// call, so a test switches behaviour by rewriting it:
//   answer     an empty reply (also when there is no control file)
//   error      the D-Bus error org.freedesktop.DBus.Error.Failed
//   late MS    an empty reply after MS milliseconds; the stand-in stays
//              responsive meanwhile
// "Absent" is the stand-in stopped. What is received is printed as
// "SetHealthFault 1" or "SetHealthFault 0", or with --print-state as
// "health fault: ON" or "health fault: off"; stdout is flushed per line.
// Exits when the bus goes away.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace
{

constexpr const char* serviceName = "xyz.openbmc_project.corvane.lampkeeper";
constexpr const char* objectPath = "/xyz/openbmc_project/corvane/lampkeeper";
constexpr const char* interfaceName = "xyz.openbmc_project.corvane.lampkeeper";

struct Settings
{
    const char* controlFile = nullptr;
    bool printState = false;
};
Settings settings;

struct Answer
{
    std::string kind = "answer";
    std::uint64_t delayMs = 0;
};

Answer readControlFile()
{
    Answer answer;
    if (settings.controlFile == nullptr)
    {
        return answer;
    }
    std::ifstream file(settings.controlFile);
    std::string line;
    if (std::getline(file, line))
    {
        std::istringstream(line) >> answer.kind >> answer.delayMs;
    }
    return answer;
}

void record(bool fault)
{
    if (settings.printState)
    {
        std::printf("health fault: %s\n", fault ? "ON" : "off");
    }
    else
    {
        std::printf("SetHealthFault %d\n", fault ? 1 : 0);
    }
    std::fflush(stdout);
}

int sendLateReply(sd_event_source* source, std::uint64_t, void* userdata)
{
    auto* call = static_cast<sd_bus_message*>(userdata);
    sd_bus_reply_method_return(call, "");
    sd_bus_message_unref(call);
    sd_event_source_unref(source);
    return 0;
}

int onSetHealthFault(sd_bus_message* call, void*, sd_bus_error* error)
{
    int fault = 0;
    const int r = sd_bus_message_read_basic(call, 'b', &fault);
    if (r < 0)
    {
        return r;
    }
    record(fault != 0);

    const Answer answer = readControlFile();
    if (answer.kind == "error")
    {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED,
                                "stand-in told to fail");
    }
    if (answer.kind == "late")
    {
        // The reply is sent from a timer so that the bus keeps being served
        // (a second caller, a name query) while this one waits. Accuracy 1 us:
        // 0 would let sd-event delay it by up to 250 ms.
        sd_event_source* timer = nullptr;
        const int t = sd_event_add_time_relative(
            sd_bus_get_event(sd_bus_message_get_bus(call)), &timer,
            CLOCK_MONOTONIC, answer.delayMs * 1000, 1, sendLateReply,
            sd_bus_message_ref(call));
        if (t < 0)
        {
            sd_bus_message_unref(call);
        }
        return t < 0 ? t : 1;
    }
    return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable ledManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("SetHealthFault", "b", "", onSetHealthFault,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

int fail(const char* what, int r)
{
    std::fprintf(stderr, "led-manager-standin: %s: %s\n", what,
                 std::strerror(-r));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--control") == 0 && i + 1 < argc)
        {
            settings.controlFile = argv[++i];
        }
        else if (std::strcmp(argv[i], "--print-state") == 0)
        {
            settings.printState = true;
        }
        else
        {
            std::fprintf(stderr, "usage: led-manager-standin [--control FILE]"
                                 " [--print-state]\n");
            return 2;
        }
    }

    sd_event* event = nullptr;
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    int r = sd_event_default(&event);
    if (r < 0)
    {
        return fail("sd_event_default", r);
    }
    if ((r = sd_bus_open_system(&bus)) < 0)
    {
        return fail("sd_bus_open_system", r);
    }
    if ((r = sd_bus_add_object_vtable(bus, &slot, objectPath, interfaceName,
                                      ledManagerVtable, nullptr)) < 0)
    {
        return fail("sd_bus_add_object_vtable", r);
    }
    if ((r = sd_bus_request_name(bus, serviceName, 0)) < 0)
    {
        return fail("sd_bus_request_name", r);
    }
    sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL);
    sd_bus_set_exit_on_disconnect(bus, 1);
    std::printf("ready\n");
    std::fflush(stdout);

    r = sd_event_loop(event);
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
    sd_event_unref(event);
    return r < 0 ? fail("sd_event_loop", r) : 0;
}
