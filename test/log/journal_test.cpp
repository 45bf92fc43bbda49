#include "log/journal.hpp"

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <sdbusplus/server/transaction.hpp>

#include <cstdint>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;

// On 32-bit ARM a 64-bit value passed for %llu in the wrong type shifts the
// arguments after it: the id must come out whole, the other fields intact.
TEST(LogJournal, SendsEveryFieldAndTheWhole64BitTransactionId)
{
    // Take journald's socket, in a private mount namespace of this process.
    if (unshare(CLONE_NEWNS) != 0)
    {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", 0, nullptr), 0);
    std::filesystem::create_directories("/run/systemd/journal");
    const int journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address{AF_UNIX, "/run/systemd/journal/socket"};
    ASSERT_EQ(bind(journal, reinterpret_cast<const sockaddr*>(&address),
                   sizeof(address)),
              0);
    const std::uint64_t id = sdbusplus::server::transaction::get_id();
    ASSERT_NE(id >> 32, 0U) << "an id this small cannot show a lost half";

    logJournal(LOG_ERR, "read() failed");
    std::string record(4096, '\0');
    const ssize_t size =
        recv(journal, record.data(), record.size(), MSG_DONTWAIT);
    record.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    close(journal);
    // One FIELD=value line per field.
    const std::string fields[] = {"PRIORITY=3", "MESSAGE=read() failed",
                                  "CODE_LINE=77", "CODE_FUNC=helper_log",
                                  "TRANSACTION_ID=" + std::to_string(id)};
    for (const std::string& field : fields)
    {
        EXPECT_THAT(record, testing::HasSubstr('\n' + field + '\n'));
    }
    EXPECT_THAT(record,
                testing::ContainsRegex("(^|\n)CODE_FILE=[^\n]*/usr/include/"
                                       "phosphor-logging/log\\.hpp\n"));
}

} // namespace
