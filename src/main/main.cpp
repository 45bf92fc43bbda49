#include "eventlog/names.hpp"
#include "eventlog/scan.hpp"
#include "led/health_fault.hpp"
#include "log/journal.hpp"
#include "main/inotify_records.hpp"

#include <sys/inotify.h>
#include <syslog.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace
{

constexpr const char* startMessage =
    "Starting xyz.openbmc_project.corvane.tidewatch";
constexpr const char* unknownExceptionMessage =
    "Unknown exception in xyz.openbmc_project.corvane.tidewatch";
constexpr std::uint32_t watchMask = IN_MODIFY | IN_CREATE | IN_DELETE;
constexpr std::size_t eventBufferSize = 32768;

constexpr int exitOnError = 0;
constexpr int exitInotifyInitFailed = 1;
constexpr int exitAddWatchFailed = 2;

void evaluateAndSignal()
{
    tidewatch::setHealthFault(tidewatch::hasCriticalEvent());
}

// The inotify instance once created, and its one watch: the watch
// is removed, then the instance closed, when the loop is left.
class InotifyWatch
{
  public:
    explicit InotifyWatch(int fd) noexcept : descriptor(fd) {}
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;
    ~InotifyWatch()
    {
        if (watch >= 0)
        {
            inotify_rm_watch(descriptor, watch);
        }
        close(descriptor);
    }

    // Watches the directory; false when the kernel refuses.
    bool add(const std::filesystem::path& directory, std::uint32_t mask)
    {
        watch = inotify_add_watch(descriptor, directory.c_str(), mask);
        return watch >= 0;
    }

  private:
    int descriptor;
    int watch = -1;
};

[[noreturn]] void watchLoop(int descriptor)
{
    // Only the bytes a read returns are looked at.
    alignas(inotify_event) std::array<std::byte, eventBufferSize> buffer;
    while (true)
    {
        const ssize_t count = read(descriptor, buffer.data(), buffer.size());
        if (count < 0)
        {
            tidewatch::logJournal(LOG_ERR, "read() failed");
            continue;
        }
        tidewatch::forEachTriggerRecord(
            std::span(buffer).first(static_cast<std::size_t>(count)),
            evaluateAndSignal);
    }
}

} // namespace

int main()
{
    tidewatch::logJournal(LOG_INFO, startMessage);

    // A failure here (no bus yet, /var/log missing) means the fault
    // indication could not be brought in line with the log. Ending with the
    // same record as the loop lets systemd start the service afresh, which
    // retries exactly that, instead of watching on with an unknown state.
    try
    {
        evaluateAndSignal();
    }
    catch (...)
    {
        tidewatch::logJournal(LOG_ERR, unknownExceptionMessage);
        return exitOnError;
    }

    const int descriptor = inotify_init();
    if (descriptor < 0)
    {
        tidewatch::logJournal(LOG_ERR, "inotify_init() failed");
        return exitInotifyInitFailed;
    }
    InotifyWatch inotify(descriptor);
    if (!inotify.add(tidewatch::logDirectory(), watchMask))
    {
        tidewatch::logJournal(LOG_ERR, "inotify_add_watch() failed");
        return exitAddWatchFailed;
    }

    try
    {
        watchLoop(descriptor);
    }
    catch (...)
    {
        tidewatch::logJournal(LOG_ERR, unknownExceptionMessage);
    }
    return exitOnError;
}
