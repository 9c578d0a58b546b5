// The Linux program's shared parts that stand without a display server: the
// pace of the ticks, the event loop with GLib's sources in it, and the
// helper that grabs the desktop.
#include "linux/DesktopGrab.h"
#include "linux/EventLoop.h"
#include "linux/GLibSources.h"
#include "linux/TickPace.h"

#include <glib-unix.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

TEST(VelunorTickPace, KeepsThePaceWithoutBurstsHoldsAfterItsTicksAndLogsEach)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* log = open_memstream(&text, &size);
    ASSERT_NE(log, nullptr);
    CTickPace pace(3, log);
    pace.Start(1000);
    EXPECT_FALSE(pace.Due(1059));
    EXPECT_EQ(pace.Next(), 1060);
    // Taken 25 ms late: the next is still due on the 60 ms grid.
    ASSERT_TRUE(pace.Due(1085));
    pace.Took(1085, "HEADLESS-1");
    EXPECT_EQ(pace.Next(), 1120);
    // Taken after a stop of seconds: one tick, then the pace from there.
    ASSERT_TRUE(pace.Due(5000));
    pace.Took(5000);
    EXPECT_FALSE(pace.Due(5059));
    ASSERT_TRUE(pace.Due(5060));
    pace.Took(5060);
    // Held after three: no tick, nothing to wake for.
    EXPECT_FALSE(pace.Due(9000));
    EXPECT_EQ(pace.Next(), kNever);
    std::fclose(log);
    EXPECT_STREQ(text, "velunor: tick 1 1085 HEADLESS-1\nvelunor: tick 2 5000\nvelunor: tick 3 5060\n");
    std::free(text);
}

namespace {

// poll's stand-in: what the loop asked for, answered with the events given.
struct PollCall {
    std::vector<pollfd> asked;
    int timeout = 0;
    std::map<int, short> answer;
} g_standIn;

int StandInPoll(pollfd* fds, nfds_t count, int timeout)
{
    g_standIn.asked.assign(fds, fds + count);
    g_standIn.timeout = timeout;
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i)
        ready += (fds[i].revents = g_standIn.answer[fds[i].fd]) != 0;
    g_standIn.answer.clear();
    return ready;
}

// A handler's owner: the events it saw, and a descriptor it unwatches.
struct Owner {
    std::vector<short> seen;
    CEventLoop* loop = nullptr;
    int unwatch = -1;
};

void Record(void* data, short revents)
{
    Owner& owner = *static_cast<Owner*>(data);
    owner.seen.push_back(revents);
    if (owner.unwatch >= 0)
        owner.loop->Unwatch(owner.unwatch);
}

} // namespace

TEST(VelunorEventLoop, WaitsForTheEarliestDeadlineRunsTheReadyHandlersAndEndsOnTheStopDescriptor)
{
    CEventLoop loop(9, StandInPoll);
    Owner a{{}, &loop}, b;
    loop.Watch(3, POLLIN, Record, &a);
    loop.Watch(4, POLLIN, Record, &b);
    loop.SetEvents(4, POLLIN | POLLOUT);
    // The earliest of the deadlines counts; a handler gets its own events.
    loop.WakeBy(1100);
    loop.WakeBy(1020);
    loop.WakeBy(kNever);
    g_standIn.answer = {{4, POLLOUT}};
    loop.Wait(1000);
    ASSERT_EQ(g_standIn.asked.size(), 3u);
    EXPECT_EQ(g_standIn.asked[0].fd, 9);
    EXPECT_EQ(g_standIn.asked[2].events, POLLIN | POLLOUT);
    EXPECT_EQ(g_standIn.timeout, 20);
    EXPECT_TRUE(a.seen.empty());
    EXPECT_EQ(b.seen, std::vector<short>{POLLOUT});
    // Deadlines last one wait; one passed already does not wait at all.
    loop.Wait(1000);
    EXPECT_EQ(g_standIn.timeout, -1);
    loop.WakeBy(900);
    loop.Wait(1000);
    EXPECT_EQ(g_standIn.timeout, 0);

    // A handler that unwatches another descriptor, ready in the same wait:
    // that one's handler does not run, and it is not waited on again.
    a.unwatch = 4;
    g_standIn.answer = {{3, POLLIN}, {4, POLLIN}};
    loop.Wait(1000);
    EXPECT_EQ(a.seen, std::vector<short>{POLLIN});
    EXPECT_EQ(b.seen.size(), 1u);
    EXPECT_TRUE(loop.Running());

    // The stop descriptor ends the loop before any handler.
    g_standIn.answer = {{9, POLLIN}, {3, POLLIN | POLLHUP}};
    loop.Wait(1000);
    EXPECT_EQ(g_standIn.asked.size(), 2u);
    EXPECT_FALSE(loop.Running());
    EXPECT_EQ(a.seen.size(), 1u);
}

namespace {

// poll itself, with what it was asked and answered; a wait without a
// deadline gives up after 5 s instead of holding the test.
struct RealPoll {
    int timeout = 0;
    int ready = 0;
    std::atomic<bool> polling{false};
} g_real;

int RealPoll(pollfd* fds, nfds_t count, int timeout)
{
    g_real.timeout = timeout;
    g_real.polling = true;
    g_real.ready = poll(fds, count, timeout < 0 ? 5000 : timeout);
    return g_real.ready;
}

void Round(CEventLoop& loop, CGLibSources& sources)
{
    sources.Prepare(MonotonicMs());
    loop.Wait(MonotonicMs());
    sources.Dispatch();
}

gboolean Count(gpointer counter)
{
    ++*static_cast<int*>(counter);
    return G_SOURCE_REMOVE;
}

gboolean TakeByte(gint fd, GIOCondition, gpointer counter)
{
    char byte;
    if (read(fd, &byte, 1) == 1)
        ++*static_cast<int*>(counter);
    return G_SOURCE_CONTINUE;
}

// The decoder's limits for a small frame, with a deadline of `seconds`.
DecoderLimits Within(int seconds)
{
    DecoderLimits limits = DecoderLimitsFor(64, 48);
    limits.deadlineMs = seconds * 1000;
    return limits;
}

} // namespace

TEST(VelunorGLibSources, DescriptorsTimeoutsAndSourcesFromOtherThreadsRunInTheLoop)
{
    int stop[2], data[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(pipe(data), 0);
    CEventLoop loop(stop[0], RealPoll);
    {
        CGLibSources sources(loop);
        // A descriptor of GLib's, readable: its source runs after the wait.
        int bytes = 0;
        const guint watch = g_unix_fd_add(data[0], G_IO_IN, TakeByte, &bytes);
        ASSERT_EQ(write(data[1], "x", 1), 1);
        Round(loop, sources);
        EXPECT_GT(g_real.ready, 0);
        EXPECT_EQ(bytes, 1);
        g_source_remove(watch);

        // A timeout is the wait's deadline, and runs once it is due.
        int timeouts = 0;
        g_timeout_add(20, Count, &timeouts);
        Round(loop, sources);
        EXPECT_GT(g_real.timeout, 0);
        EXPECT_LE(g_real.timeout, 20);
        while (timeouts == 0 && g_real.timeout >= 0)
            Round(loop, sources);
        EXPECT_EQ(timeouts, 1);

        // A source added by another thread while the loop waits (as GIO's
        // D-Bus thread hands over a message) ends a wait without a deadline.
        int handed = 0;
        g_real.polling = false;
        std::thread other([&handed] {
            while (!g_real.polling)
                std::this_thread::yield();
            g_idle_add(Count, &handed);
        });
        Round(loop, sources);
        other.join();
        EXPECT_EQ(g_real.timeout, -1);
        EXPECT_EQ(handed, 1);
        EXPECT_GT(g_real.ready, 0);
        EXPECT_TRUE(loop.Running());
    }
    // GLib's descriptors are no longer watched: only the stop descriptor is.
    ASSERT_EQ(write(stop[1], "s", 1), 1);
    loop.Wait(MonotonicMs());
    EXPECT_FALSE(loop.Running());
    for (int fd : {stop[0], stop[1], data[0], data[1]})
        close(fd);
}

TEST(VelunorGrabHelper, RunsUnderTheDecodersLimitsAndReportsGrabbedFailedAndStopped)
{
    // Run with the decoder's memory and processor time, which it shows.
    char folder[] = "/tmp/velunor-helper.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string shown = std::string(folder) + "/limits";
    std::string reason;
    EXPECT_EQ(RunGrabHelper({"sh", "-c", "cat /proc/self/limits >" + shown}, Within(5), -1, reason),
              GrabResult::Grabbed);
    std::ifstream file(shown);
    const std::string limits((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const DecoderLimits expected = Within(5);
    for (const std::string& line : {"Max cpu time              " + std::to_string(expected.cpuSeconds),
                                    "Max address space         " + std::to_string(expected.memoryBytes)})
        EXPECT_NE(limits.find(line), std::string::npos) << line << " in\n" << limits;
    unlink(shown.c_str());

    EXPECT_EQ(RunGrabHelper({"false"}, Within(5), -1, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "false failed");
    EXPECT_EQ(RunGrabHelper({"velunor-no-such-helper"}, Within(5), -1, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "velunor-no-such-helper was not found");

    // Too slow: ended at its time, not when it would have succeeded.
    EXPECT_EQ(RunGrabHelper({"sleep", "30"}, Within(1), -1, reason), GrabResult::Failed);
    EXPECT_EQ(reason, "sleep took too long");

    // A readable stop descriptor (a signal came) ends the wait at once.
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(write(stop[1], "x", 1), 1);
    EXPECT_EQ(RunGrabHelper({"sleep", "30"}, Within(60), stop[0], reason), GrabResult::Stopped);
    close(stop[0]);
    close(stop[1]);

    // A helper that ignores SIGTERM and has started a program of its own,
    // which ignores it too: the stop descriptor is a FIFO that the helper
    // writes its program's id into, readable once that program runs. Both
    // are killed: were they left to end by themselves, the test would
    // outlast its time limit.
    const std::string path = std::string(folder) + "/pid";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int later = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(later, 0);
    const std::string script = "trap '' TERM; sleep 600 & echo $! >" + path + "; wait";
    EXPECT_EQ(RunGrabHelper({"sh", "-c", script}, Within(600), later, reason), GrabResult::Stopped);
    char id[32] = {};
    const ssize_t got = read(later, id, sizeof id - 1);
    close(later);
    unlink(path.c_str());
    rmdir(folder);
    const pid_t child = got > 0 ? std::atoi(id) : 0;
    ASSERT_GT(child, 0) << "the helper did not start its program";
    // Dead, or a zombie its new parent has not reaped yet.
    std::string state;
    for (int i = 0; i < 500; ++i, usleep(10000)) {
        std::string pid, name;
        state.clear();
        std::ifstream("/proc/" + std::to_string(child) + "/stat") >> pid >> name >> state;
        if (state.empty() || state == "Z")
            break;
    }
    EXPECT_TRUE(state.empty() || state == "Z") << "the helper's own program " << child << " is left: " << state;
}
