#include "harness.hpp"
#include "service_fixture.hpp"

#include <syslog.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace systemtest
{
namespace
{

using Message = std::pair<int, std::string>;

std::vector<Message> journalMessages(pid_t pid)
{
    std::vector<Message> messages;
    for (JournalRecord& record : journalRecords(pid))
    {
        messages.emplace_back(std::stoi(record["PRIORITY"]), record["MESSAGE"]);
    }
    return messages;
}

const std::vector<Message> startedOnly = {{LOG_INFO, startMessage}};

void removeEventLog()
{
    for (const auto& entry : fs::directory_iterator(logDirectory))
    {
        if (entry.path().filename().string().starts_with("redfish"))
        {
            fs::remove(entry.path());
        }
    }
}

using FaultTest = ServiceFixture;

TEST_F(FaultTest, WithoutJournalSocketTheServiceWorksOnSilently)
{
    const fs::path socket = "/run/systemd/journal/socket";
    const fs::path hidden = "/run/systemd/journal/socket.hidden";
    // Renamed rather than removed: journald keeps the socket for later tests.
    fs::rename(socket, hidden);
    restore.emplace_back([=] { fs::rename(hidden, socket); });

    appendText("redfish", okLine);
    startWatching();
    appendText("redfish", criticalLine);
    settle();
    led->stop();
    fs::remove(logDirectory / "redfish");
    settle();
    led->start();
    createEmptyFile("redfish");
    settle();

    EXPECT_EQ(led->calls(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(journalMessages(service->pid()), std::vector<Message>{});
}

TEST_F(FaultTest, WithoutBusAtStartTheServiceEndsWithStatusZero)
{
    stopBus();
    restore.emplace_back(startBus);
    service.emplace(startService());

    EXPECT_EQ(service->waitForExit(), 0);
    EXPECT_EQ(journalMessages(service->pid()),
              (std::vector<Message>{{LOG_INFO, startMessage},
                                    {LOG_ERR, unknownExceptionMessage}}));
}

TEST_F(FaultTest, CallOutlastingTheBusTimeoutIsLoggedAndWatchingGoesOn)
{
    appendText("redfish", okLine);
    startWatching();
    // Longer than sd-bus's 25 s default: the service gives up first.
    led->setAnswer("late 30000");
    appendText("redfish", okLine);
    settle();
    led->setAnswer("answer");
    appendText("redfish", criticalLine);
    settle();

    EXPECT_EQ(led->calls(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(journalMessages(service->pid()),
              (std::vector<Message>{{LOG_INFO, startMessage},
                                    {LOG_ERR, setFailedMessage}}));
}

TEST_F(FaultTest, UnusualBytesGetTheVerdictOfTheirEntry)
{
    const std::string tenMegabytes(10 << 20, 'x');
    const std::string nulBytes(3, '\0');
    struct Case
    {
        const char* what;
        std::string content;
        bool fault;
    };
    const Case cases[] = {
        {"a 10 MB line without a newline", tenMegabytes, false},
        {"a critical entry after a 10 MB line",
         tenMegabytes + "\n" + criticalLine, true},
        {"a critical entry with 10 MB of argument and no newline",
         logTimestamp + "OpenBMC.0.1.CPUThermalTrip," + tenMegabytes, true},
        {"a critical entry after NUL bytes and invalid UTF-8",
         nulBytes + "\n\xff\xfe \xc3\x28\x80\n" + criticalLine, true},
        {"invalid UTF-8 around a critical MessageId",
         "\xff\xfe OpenBMC.0.1.CPUThermalTrip,\xc3\x28\n", true},
        {"a NUL ending a critical MessageId",
         logTimestamp + "OpenBMC.0.1.CPUThermalTrip" + nulBytes + ",1\n",
         false},
        {"invalid UTF-8 inside a critical MessageId",
         logTimestamp + "OpenBMC.0.1.CPU\xc3\x28ThermalTrip,1\n", false},
    };
    startWatching();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        removeEventLog();
        settle();
        const std::size_t before = led->calls().size();
        // Created, then written in one call: two triggers.
        appendText("redfish", c.content);
        settle();
        const std::vector<bool> calls = led->calls();
        ASSERT_EQ(calls.size(), before + 2);
        EXPECT_EQ(calls.back(), c.fault);
    }
    EXPECT_EQ(journalMessages(service->pid()), startedOnly);
}

TEST_F(FaultTest, RotationStormEndsWithTheServiceWatchingTheFinalLog)
{
    startWatching();
    std::atomic<bool> writerFailed = false;
    // Rotates, replaces and clears the log while the service evaluates it,
    // so that files vanish between its listing and its reading.
    std::thread writer([&writerFailed] {
        try
        {
            for (int round = 0; round < 1000; ++round)
            {
                appendText("redfish", round % 5 == 0 ? criticalLine : okLine);
                fs::rename(logDirectory / "redfish",
                           logDirectory / "redfish.1");
                createEmptyFile("redfish");
                appendText("redfish", warningLine);
                fs::rename(logDirectory / "redfish.1",
                           logDirectory / "redfish.2");
                fs::remove(logDirectory / "redfish.2");
                if (round % 3 == 0)
                {
                    fs::remove(logDirectory / "redfish");
                }
            }
        }
        catch (const std::exception&)
        {
            writerFailed = true;
        }
    });
    writer.join();
    ASSERT_FALSE(writerFailed);
    settle();

    // A quiet end: one trigger, on a log whose verdict is known.
    removeEventLog();
    appendText("redfish.1", criticalLine);
    settle();
    const std::size_t before = led->calls().size();
    createEmptyFile("redfish");
    settle();
    const std::vector<bool> calls = led->calls();
    ASSERT_EQ(calls.size(), before + 1);
    EXPECT_TRUE(calls.back());
    EXPECT_EQ(journalMessages(service->pid()), startedOnly);
}

TEST_F(FaultTest, QueueOverflowTriggersNothingUntilTheNextRedfishChange)
{
    std::size_t queueLimit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLimit;
    ASSERT_GT(queueLimit, 0U);
    appendText("redfish", okLine);
    startWatching();

    // Held in a call while the queue fills; long enough for the flood to
    // finish on a loaded machine, short of the 25 s call timeout.
    led->setAnswer("late 15000");
    appendText("redfish", okLine);
    ASSERT_TRUE(led->waitForCalls(2));
    led->setAnswer("answer");
    // Two names in turn, so that the kernel merges none of the records.
    for (std::size_t i = 0; i < queueLimit; ++i)
    {
        appendText(i % 2 == 0 ? "flood.a" : "flood.b", okLine);
    }
    // Lost in the overflow: only the next change of redfish shows it.
    appendText("redfish", criticalLine);
    settle();
    EXPECT_EQ(led->calls(), (std::vector<bool>{false, false}));

    appendText("redfish", okLine);
    settle();
    EXPECT_EQ(led->calls(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(journalMessages(service->pid()), startedOnly);
}

} // namespace
} // namespace systemtest
