#include "linux/Options.h"
#include "x11/WindowChoice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    VelunorOptions options;
    std::string error;
    int status = 0;
};

Parsed Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "velunor");
    Parsed p;
    p.ok = ParseVelunorOptions(static_cast<int>(args.size()), args.data(), p.options, p.error, p.status);
    return p;
}

} // namespace

TEST(VelunorOptions, OneAndTwoDashSpellingsAreTheSame)
{
    for (const char* dash : {"-", "--"}) {
        const std::string d = dash;
        const std::string names[] = {d + "root", d + "mode", d + "picture", d + "geometry", d + "desktop",
                                     d + "hold-after", d + "log-ticks", d + "window-id", d + "help", d + "threads"};
        const Parsed p = Parse({names[0].c_str(), names[1].c_str(), "2", names[2].c_str(), "a.jpg",
                                names[3].c_str(), "640x480", names[4].c_str(), names[5].c_str(), "7",
                                names[6].c_str(), names[7].c_str(), "0x1a", names[8].c_str(), names[9].c_str(),
                                "2"});
        ASSERT_TRUE(p.ok) << dash << ": " << p.error;
        EXPECT_TRUE(p.options.root);
        EXPECT_EQ(p.options.mode, 2);
        EXPECT_EQ(p.options.picture, "a.jpg");
        EXPECT_EQ(p.options.width, 640);
        EXPECT_EQ(p.options.height, 480);
        EXPECT_TRUE(p.options.desktop);
        EXPECT_EQ(p.options.holdAfter, 7);
        EXPECT_TRUE(p.options.logTicks);
        EXPECT_EQ(p.options.windowId, 0x1Au);
        EXPECT_TRUE(p.options.help);
        EXPECT_EQ(p.options.threads, 2);
    }
}

TEST(VelunorOptions, WindowIdsInHexOrDecimalAndTheLastOneWins)
{
    // The settings preview appends its id to a command line ending in --root.
    Parsed p = Parse({"--root", "--mode", "1", "--window-id", "0x400E22"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.windowId, 0x400E22u);
    EXPECT_TRUE(p.options.root);
    p = Parse({"-window-id", "4194338"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.windowId, 4194338u);
    p = Parse({"--window-id", "0X1fffffff", "--window-id", "12"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.windowId, 12u);

    unsigned long id = 0;
    EXPECT_TRUE(ParseWindowId("0x600008", id));
    EXPECT_EQ(id, 0x600008u);
    for (const char* bad : {"", "0", "0x", "0x0", "-5", "+5", " 5", "5 ", "12ab", "0x0x5", "0xg", "0x20000000",
                            "536870912", "99999999999999999999999"})
        EXPECT_FALSE(ParseWindowId(bad, id)) << bad;
}

TEST(VelunorOptions, ModesAreAnyWholeNumber)
{
    EXPECT_EQ(Parse({"--mode", "-3"}).options.mode, -3);
    EXPECT_EQ(Parse({"--mode", "2147483647"}).options.mode, 2147483647);
    for (const char* bad : {"", "one", "1.5", "2147483648", "0x2", "1 "})
        EXPECT_FALSE(Parse({"--mode", bad}).ok) << bad;
}

TEST(VelunorOptions, BadValuesAndUnknownOptionsAreRefusedWithTheirName)
{
    struct Case {
        std::vector<const char*> args;
        const char* named;
    };
    const Case cases[] = {
        {{"--geometry", "0x5"}, "--geometry"},
        {{"--geometry", "640"}, "--geometry"},
        {{"--geometry", "16385x10"}, "--geometry"},
        {{"--geometry", "-640x480"}, "--geometry"},
        {{"--hold-after", "-1"}, "--hold-after"},
        {{"--threads", "65"}, "--threads"},
        {{"--threads", "-1"}, "--threads"},
        {{"--picture", ""}, "--picture"},
        {{"--mode"}, "--mode"},
        {{"--root", "--window-id"}, "--window-id"},
        {{"--bogus"}, "--bogus"},
        {{"---root"}, "---root"},
        {{"root"}, "root"},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.named;
        EXPECT_EQ(p.status, 1) << c.named;
        EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
    }
    EXPECT_TRUE(Parse({"--geometry", "565X317"}).ok);
}

TEST(VelunorWindowChoice, GivenIdBeatsTheDaemonsWindowWhichBeatsTheRootElseItsOwn)
{
    struct Case {
        std::vector<const char*> args;
        const char* env;
        WindowKind kind;
        unsigned long id;
    };
    const Case cases[] = {
        {{"--root", "--window-id", "0x400E22"}, "0x600008", WindowKind::Given, 0x400E22},
        {{"--root"}, "0x600008", WindowKind::Given, 0x600008},
        {{"--root"}, "", WindowKind::Root, 0},
        {{"--root"}, nullptr, WindowKind::Root, 0},
        {{}, "6291464", WindowKind::Given, 6291464},
        {{}, nullptr, WindowKind::Own, 0},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        WindowChoice choice;
        std::string error;
        ASSERT_TRUE(ChooseWindow(p.options, c.env, choice, error)) << error;
        EXPECT_EQ(choice.kind, c.kind) << (c.env ? c.env : "(unset)");
        EXPECT_EQ(choice.id, c.id) << (c.env ? c.env : "(unset)");
    }
    // A daemon's window that is no id is an error, unless an id was given.
    WindowChoice choice;
    std::string error;
    EXPECT_FALSE(ChooseWindow(Parse({"--root"}).options, "window", choice, error));
    EXPECT_EQ(error, "XSCREENSAVER_WINDOW is not a window id: window");
    EXPECT_TRUE(ChooseWindow(Parse({"--window-id", "12"}).options, "window", choice, error));
    EXPECT_EQ(choice.id, 12u);
}

TEST(VelunorOptions, WaylandInEitherSpellingAndWithoutAnXWindow)
{
    for (const char* wayland : {"-wayland", "--wayland"}) {
        const Parsed p = Parse({wayland, "--mode", "1", "--desktop", "--log-ticks"});
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_TRUE(p.options.wayland);
        EXPECT_TRUE(p.options.desktop);
        EXPECT_EQ(p.options.mode, 1);
    }
    EXPECT_FALSE(Parse({"--root"}).options.wayland);
    // An X window asked for as well is an error naming that option, in
    // either order.
    struct Case {
        std::vector<const char*> args;
        const char* named;
    };
    const Case cases[] = {
        {{"--wayland", "--root"}, "--root"},
        {{"-root", "-wayland"}, "--root"},
        {{"--window-id", "0x400E22", "--wayland"}, "--window-id"},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.named;
        EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
        EXPECT_NE(p.error.find("--wayland"), std::string::npos) << p.error;
    }
}

TEST(VelunorOptions, AnIdleTimeIsOneSecondToADayWithWaylandElseStatus2)
{
    for (const char* seconds : {"1", "300", "86400"}) {
        const Parsed p = Parse({"--wayland", "-idle", seconds});
        ASSERT_TRUE(p.ok) << seconds << ": " << p.error;
        EXPECT_EQ(p.options.idleSeconds, std::atoi(seconds));
    }
    EXPECT_EQ(Parse({"--wayland"}).options.idleSeconds, 0);
    for (const char* bad : {"0", "-5", "86401", "abc", "", "2.5", "99999999999"}) {
        const Parsed p = Parse({"--wayland", "--idle", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(p.status, 2) << bad;
        EXPECT_NE(p.error.find("--idle"), std::string::npos) << p.error;
    }
    // Without --wayland there is nothing to watch; a missing value is the
    // common error.
    Parsed p = Parse({"--idle", "60"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.status, 2);
    EXPECT_NE(p.error.find("--wayland"), std::string::npos) << p.error;
    p = Parse({"--wayland", "--idle"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.status, 1);
}
