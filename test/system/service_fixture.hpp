#pragma once

#include "harness.hpp"

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace systemtest
{

// One service and one LED manager per test, on an empty /var/log. Whatever
// a test takes away from the sandbox it registers in `restore`.
class ServiceFixture : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(insideSandbox())
            << "run through scripts/sandbox: these tests replace /var/log";
        resetLogDirectory();
        led.emplace();
    }

    void TearDown() override
    {
        finishService();
        led.reset();
        for (const auto& undo : restore)
        {
            undo();
        }
    }

    void startWatching()
    {
        service.emplace(startService());
        settle();
    }

    // Waits until the service has handled everything changed so far.
    void settle()
    {
        if (!waitUntilWatching(*service))
        {
            throw std::runtime_error("the service is not watching /var/log");
        }
    }

    void finishService()
    {
        if (service)
        {
            service->stop();
            EXPECT_EQ(service->output(), "")
                << "the service writes to the journal only";
            service.reset();
        }
    }

    std::optional<LedManager> led;
    std::optional<Process> service;
    std::vector<std::function<void()>> restore;
};

} // namespace systemtest
