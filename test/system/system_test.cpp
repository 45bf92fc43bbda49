#include "config.h"

#include "harness.hpp"
#include "service_fixture.hpp"

#include <syslog.h>

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace systemtest
{
namespace
{

// Long enough to change /var/log while the service waits for the reply.
const std::string heldReply = "late 2000";

std::string repeated(const std::string& line, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
    {
        text += line;
    }
    return text;
}

struct Record
{
    int priority;
    std::string message;
};

bool isUnsigned64(const std::string& text)
{
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Checks every field the service writes, and that it writes no other.
void expectJournal(pid_t pid, const std::vector<Record>& expected)
{
    const std::vector<JournalRecord> records = journalRecords(pid);
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        JournalRecord fields = records[i];
        EXPECT_TRUE(isUnsigned64(fields["TRANSACTION_ID"]))
            << fields["TRANSACTION_ID"];
        fields.erase("TRANSACTION_ID");
        // libsystemd adds the program name to every record it sends.
        if (fields["SYSLOG_IDENTIFIER"] == "tidewatch")
        {
            fields.erase("SYSLOG_IDENTIFIER");
        }
        const JournalRecord wanted = {
            {"CODE_FILE", std::string(TIDEWATCH_SYSROOT
                                      "/usr/include/phosphor-logging/log.hpp")},
            {"CODE_LINE", "77"},
            {"CODE_FUNC", "helper_log"},
            {"PRIORITY", std::to_string(expected[i].priority)},
            {"MESSAGE", expected[i].message},
        };
        EXPECT_EQ(fields, wanted) << "record " << i;
    }
}

using SystemTest = ServiceFixture;

using LogFiles = std::vector<std::pair<std::string, std::string>>;

TEST_F(SystemTest, StartUpSignalsTheEvaluationOfTheLogOnDisk)
{
    struct Case
    {
        const char* what;
        LogFiles files;
        bool fault;
    };
    const Case cases[] = {
        {"empty log directory", {}, false},
        {"warnings and OK entries", {{"redfish", warningLine + okLine}}, false},
        {"a critical entry", {{"redfish", okLine + criticalLine}}, true},
        {"a critical entry read as line 999 of the walk",
         {{"redfish.2", repeated(okLine, 600)},
          {"redfish.1", repeated(okLine, 399)},
          {"redfish", criticalLine}},
         true},
        {"a critical entry read as line 1100 of the walk",
         {{"redfish.2", repeated(okLine, 600)},
          {"redfish.1", repeated(okLine, 500)},
          {"redfish", criticalLine}},
         false},
        {"redfish.10 walked after 1000 lines of redfish.2",
         {{"redfish.10", criticalLine}, {"redfish.2", repeated(okLine, 1000)}},
         false},
    };
    std::vector<bool> calls;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        resetLogDirectory();
        for (const auto& [name, text] : c.files)
        {
            appendText(name, text);
        }
        startWatching();
        calls.push_back(c.fault);
        EXPECT_EQ(led->calls(), calls);
        expectJournal(service->pid(), {{LOG_INFO, startMessage}});
        finishService();
    }
}

TEST_F(SystemTest, OnlyChangesOfRedfishItselfTrigger)
{
    struct Case
    {
        std::string what;
        bool redfishExists;
        std::function<void()> change;
        std::size_t evaluations;
    };
    const auto rotate = [] {
        fs::rename(logDirectory / "redfish", logDirectory / "redfish.1");
    };
    std::vector<Case> cases =
        {
            {"creating redfish", false, [] { createEmptyFile("redfish"); }, 1},
            {"modifying redfish", true, [] { appendText("redfish", okLine); },
             1},
            {"deleting redfish", true,
             [] { fs::remove(logDirectory / "redfish"); }, 1},
            {"renaming redfish to redfish.1", true, rotate, 0},
            {"creating redfish after renaming it", true,
             [&rotate] {
        rotate();
        createEmptyFile("redfish");
             },
             1},
    };
    for (const char* name :
         {"redfish.1", "redfish.tmp", "Redfish", "redfis", "messages"})
    {
        cases.push_back(
            {std::string("creating, modifying, deleting ") + name, false,
             [name] {
            createEmptyFile(name);
            appendText(name, criticalLine);
            fs::remove(logDirectory / name);
             },
             0});
    }

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        resetLogDirectory();
        if (c.redfishExists)
        {
            appendText("redfish", okLine);
        }
        std::vector<bool> calls = led->calls();
        startWatching();
        calls.push_back(false);
        c.change();
        settle();
        calls.insert(calls.end(), c.evaluations, false);
        EXPECT_EQ(led->calls(), calls);

        // A change that does trigger, with the other answer: the service
        // still watches, and nothing else was queued ahead of it.
        appendText("redfish.9", criticalLine);
        if (fs::exists(logDirectory / "redfish"))
        {
            appendText("redfish", okLine);
        }
        else
        {
            createEmptyFile("redfish");
        }
        settle();
        calls.push_back(true);
        EXPECT_EQ(led->calls(), calls);
        expectJournal(service->pid(), {{LOG_INFO, startMessage}});
        finishService();
    }
}

TEST_F(SystemTest, EveryRedfishRecordOfOneReadIsEvaluated)
{
    appendText("redfish", okLine);
    startWatching();
    led->setAnswer(heldReply);
    appendText("redfish", okLine);
    ASSERT_TRUE(led->waitForCalls(2));

    // Queued while the service waits for the reply, then read at once.
    led->setAnswer("answer");
    appendText("redfish", okLine);
    createEmptyFile("messages");
    appendText("redfish", okLine);
    appendText("redfish.1", criticalLine);
    fs::remove(logDirectory / "redfish");
    settle();

    EXPECT_EQ(led->calls(),
              (std::vector<bool>{false, false, true, true, true}));
    expectJournal(service->pid(), {{LOG_INFO, startMessage}});
}

TEST_F(SystemTest, FailedCallsAreLoggedAndWatchingGoesOn)
{
    struct Case
    {
        const char* what;
        std::function<void(LedManager&)> fail;
        std::function<void(LedManager&)> recover;
        std::vector<bool> calls;
    };
    const Case cases[] = {
        {"LED manager absent",
         [](LedManager& m) { m.stop(); },
         [](LedManager& m) { m.start(); },
         {true}},
        {"LED manager answering with an error",
         [](LedManager& m) { m.setAnswer("error"); },
         [](LedManager& m) { m.setAnswer("answer"); },
         {false, false, true, true}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        resetLogDirectory();
        appendText("redfish", okLine);
        led.emplace();
        c.fail(*led);
        startWatching();
        appendText("redfish", okLine);
        settle();
        appendText("redfish", criticalLine);
        settle();
        c.recover(*led);
        appendText("redfish", okLine);
        settle();

        EXPECT_EQ(led->calls(), c.calls);
        expectJournal(service->pid(), {{LOG_INFO, startMessage},
                                       {LOG_ERR, setFailedMessage},
                                       {LOG_ERR, setFailedMessage},
                                       {LOG_ERR, setFailedMessage}});
        finishService();
    }
}

TEST_F(SystemTest, VanishedLogDirectoryEndsTheServiceWithStatusZero)
{
    appendText("redfish", okLine);
    startWatching();
    led->setAnswer(heldReply);
    appendText("redfish", okLine);
    ASSERT_TRUE(led->waitForCalls(2));

    // The deletion of redfish is queued while the service waits for the
    // reply, and evaluated once the directory is gone.
    fs::remove_all(logDirectory);

    EXPECT_EQ(service->waitForExit(), 0);
    EXPECT_EQ(led->calls(), (std::vector<bool>{false, false}));
    expectJournal(service->pid(), {{LOG_INFO, startMessage},
                                   {LOG_ERR, unknownExceptionMessage}});
}

TEST_F(SystemTest, LostBusEndsTheServiceWithStatusZero)
{
    appendText("redfish", okLine);
    startWatching();
    stopBus();
    restore.emplace_back(startBus);
    appendText("redfish", okLine);

    EXPECT_EQ(service->waitForExit(), 0);
    EXPECT_EQ(led->calls(), std::vector<bool>{false});
    expectJournal(service->pid(), {{LOG_INFO, startMessage},
                                   {LOG_ERR, unknownExceptionMessage}});
}

TEST_F(SystemTest, MissingLogDirectoryAtStartEndsTheServiceWithStatusZero)
{
    fs::remove(logDirectory);
    service.emplace(startService());

    EXPECT_EQ(service->waitForExit(), 0);
    EXPECT_EQ(led->calls(), std::vector<bool>{});
    expectJournal(service->pid(), {{LOG_INFO, startMessage},
                                   {LOG_ERR, unknownExceptionMessage}});
}

TEST_F(SystemTest, InotifyFailuresEndTheServiceAfterTheStartUpCall)
{
    struct Case
    {
        const char* limit;
        const char* message;
        int status;
    };
    const Case cases[] = {
        {"max_inotify_instances", "inotify_init() failed", 1},
        {"max_inotify_watches", "inotify_add_watch() failed", 2},
    };
    std::vector<bool> calls;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.limit);
        service.emplace(startService(withoutInotify(c.limit)));
        EXPECT_EQ(service->waitForExit(), c.status);
        calls.push_back(false);
        EXPECT_EQ(led->calls(), calls);
        expectJournal(service->pid(),
                      {{LOG_INFO, startMessage}, {LOG_ERR, c.message}});
        finishService();
    }
}

} // namespace
} // namespace systemtest
