// The Linux program's shared parts that stand without a display server: the
// pace of the ticks and the helper that grabs the desktop.
#include "linux/DesktopGrab.h"
#include "linux/TickClock.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

TEST(VelunorTickClock, KeepsThePaceThroughLateTicksButNeverBurstsAfterAStop)
{
    CTickClock clock;
    clock.Start(1000);
    EXPECT_FALSE(clock.Due(1059));
    EXPECT_EQ(clock.Wait(1059), 1);
    ASSERT_TRUE(clock.Due(1060));
    // Taken 25 ms late: the next is still due on the 60 ms grid.
    clock.Took(1085);
    EXPECT_EQ(clock.Wait(1085), 35);
    // Taken after a stop of seconds: one tick, then the pace from there.
    ASSERT_TRUE(clock.Due(5000));
    clock.Took(5000);
    EXPECT_FALSE(clock.Due(5059));
    EXPECT_TRUE(clock.Due(5060));
    EXPECT_EQ(CTickClock::kTickMs, 60);
}

TEST(VelunorGrabHelper, ReportsGrabbedFailedAndStopped)
{
    std::string reason;
    EXPECT_EQ(RunGrabHelper({"true"}, -1, 5, reason), GrabResult::Grabbed);

    EXPECT_EQ(RunGrabHelper({"false"}, -1, 5, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "false failed");
    EXPECT_EQ(RunGrabHelper({"velunor-no-such-helper"}, -1, 5, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "velunor-no-such-helper was not found");

    // Too slow: ended at its time.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunGrabHelper({"sleep", "30"}, -1, 1, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "sleep took too long");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    // A readable stop descriptor (a signal came) ends the wait at once.
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(write(stop[1], "x", 1), 1);
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(RunGrabHelper({"sleep", "30"}, stop[0], 60, reason), GrabResult::Stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));

    // A helper that ignores SIGTERM and has started a program of its own:
    // both are gone just as soon after the signal, and nothing of them is
    // left running.
    char marker[] = "/tmp/velunor-helper.XXXXXX";
    const int markerFd = mkstemp(marker);
    ASSERT_GE(markerFd, 0);
    close(markerFd);
    int later[2];
    ASSERT_EQ(pipe(later), 0);
    std::thread signal([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(write(later[1], "x", 1), 1);
    });
    const std::string script = std::string("trap '' TERM; sleep 31 & echo $! >") + marker + "; wait";
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(RunGrabHelper({"sh", "-c", script}, later[0], 60, reason), GrabResult::Stopped);
    // Half a second to the signal, then a moment to end them.
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2500));
    signal.join();
    std::ifstream written(marker);
    pid_t child = 0;
    written >> child;
    unlink(marker);
    ASSERT_GT(child, 0) << "the helper did not start its program";
    // Dead, or a zombie its new parent has not reaped yet.
    const std::string stat = "/proc/" + std::to_string(child) + "/stat";
    std::string state;
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(stat);
        std::string pid, name;
        state.clear();
        in >> pid >> name >> state;
        if (state.empty() || state == "Z")
            break;
        usleep(10000);
    }
    EXPECT_TRUE(state.empty() || state == "Z") << "the helper's own program " << child << " is left: " << state;
    close(later[0]);
    close(later[1]);
    close(stop[0]);
    close(stop[1]);
}
