// The desktop suite's hands and eyes on the session bus of a KDE or GNOME
// compositor (DBUS_SESSION_BUS_ADDRESS):
//   velunor_test_dbus kwin-shot OUTPUT FILE   KWin's screenshot of OUTPUT at
//                                             its physical pixels, with the
//                                             pointer, as a PPM
//   velunor_test_dbus gnome-shot FILE         GNOME Shell's screenshot of all
//                                             its monitors, with the pointer,
//                                             as a PNG
//   velunor_test_dbus gnome-input             a remote-desktop session of
//                                             GNOME's: "ready" once its devices
//                                             work, then one line of stdin per
//                                             step (key CODE, press CODE,
//                                             release CODE, move DX DY, click),
//                                             each answered "done"
//   velunor_test_dbus session-manager         a stand-in for GNOME's session
//                                             manager that holds an idle
//                                             inhibitor from its start until
//                                             SIGUSR1; "ready" once it has the
//                                             name, "released" after SIGUSR1
// Exits 1 with a line when the compositor refuses.
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

GDBusConnection* g_bus = nullptr;

int Fail(const char* what, GError* error)
{
    std::fprintf(stderr, "velunor_test_dbus: %s: %s\n", what, error ? error->message : "failed");
    if (error)
        g_error_free(error);
    return 1;
}

GVariant* Call(const char* name, const char* path, const char* interface, const char* method, GVariant* args,
               const char* replyType, GError** error)
{
    return g_dbus_connection_call_sync(g_bus, name, path, interface, method, args,
                                       replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NONE,
                                       -1, nullptr, error);
}

bool OwnName(const char* name, GError** error)
{
    GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                           g_variant_new("(su)", name, 4u), "(u)", error);
    if (!reply)
        return false;
    guint32 answer = 0;
    g_variant_get(reply, "(u)", &answer);
    g_variant_unref(reply);
    return answer == 1; // the primary owner
}

// KWin writes the raw image into a pipe and answers with its layout.
int KWinShot(const char* output, const char* file)
{
    int fds[2];
    if (pipe(fds) != 0)
        return Fail("pipe", nullptr);
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "native-resolution", g_variant_new_boolean(TRUE));
    g_variant_builder_add(&options, "{sv}", "include-cursor", g_variant_new_boolean(TRUE));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        g_bus, "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
        g_variant_new("(sa{sv}h)", output, &options, 0), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, -1,
        list, nullptr, nullptr, &error);
    g_object_unref(list);
    if (!reply)
        return Fail("CaptureScreen", error);
    GVariant* layout = g_variant_get_child_value(reply, 0);
    guint32 width = 0, height = 0, stride = 0, format = 0;
    g_variant_lookup(layout, "width", "u", &width);
    g_variant_lookup(layout, "height", "u", &height);
    g_variant_lookup(layout, "stride", "u", &stride);
    g_variant_lookup(layout, "format", "u", &format);
    g_variant_unref(layout);
    g_variant_unref(reply);
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    close(fds[0]);
    // QImage's 32-bit formats (RGB32, ARGB32 and its premultiplied form)
    // hold words 0xAARRGGBB.
    if (format < 4 || format > 6 || stride < width * 4 || bytes.size() < size_t(stride) * height)
        return Fail("CaptureScreen", nullptr);
    FILE* out = std::fopen(file, "wb");
    if (!out)
        return Fail(file, nullptr);
    std::fprintf(out, "P6\n%u %u\n255\n", width, height);
    for (guint32 y = 0; y < height; ++y) {
        for (guint32 x = 0; x < width; ++x) {
            guint32 word;
            std::memcpy(&word, &bytes[size_t(y) * stride + x * 4], 4);
            const unsigned char rgb[3] = {static_cast<unsigned char>(word >> 16),
                                          static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
            std::fwrite(rgb, 1, 3, out);
        }
    }
    return std::fclose(out) == 0 ? 0 : Fail(file, nullptr);
}

// The shell answers only a few callers, known by the names they own; it
// writes the file itself, so into its own runtime folder first.
int GnomeShot(const char* file)
{
    GError* error = nullptr;
    if (!OwnName("org.gnome.Screenshot", &error))
        return Fail("owning org.gnome.Screenshot", error);
    const std::string own = std::string(g_get_user_runtime_dir()) + "/velunor-shot.png";
    GVariant* reply = Call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                           "Screenshot", g_variant_new("(bbs)", TRUE, FALSE, own.c_str()), "(bs)", &error);
    if (!reply)
        return Fail("Screenshot", error);
    gboolean done = FALSE;
    g_variant_get(reply, "(bs)", &done, nullptr);
    g_variant_unref(reply);
    GFile* from = g_file_new_for_path(own.c_str());
    GFile* to = g_file_new_for_path(file);
    const bool moved = done && g_file_move(from, to, G_FILE_COPY_OVERWRITE, nullptr, nullptr, nullptr, &error);
    g_object_unref(from);
    g_object_unref(to);
    return moved ? 0 : Fail("Screenshot", error);
}

int GnomeInput()
{
    GError* error = nullptr;
    GVariant* reply = Call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                           "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr, "(o)", &error);
    if (!reply)
        return Fail("CreateSession", error);
    gchar* session = nullptr;
    g_variant_get(reply, "(o)", &session);
    g_variant_unref(reply);
    const char* kSession = "org.gnome.Mutter.RemoteDesktop.Session";
    auto step = [&](const char* method, GVariant* args) {
        GVariant* done = Call("org.gnome.Mutter.RemoteDesktop", session, kSession, method, args, nullptr, &error);
        if (done)
            g_variant_unref(done);
        return done != nullptr;
    };
    constexpr int kLeftButton = 0x110;
    // The first event after the devices appear is lost: a shift key warms
    // the keyboard, a motion by nothing the pointer.
    bool good = step("Start", nullptr) && step("NotifyKeyboardKeycode", g_variant_new("(ub)", 42u, TRUE))
                && step("NotifyKeyboardKeycode", g_variant_new("(ub)", 42u, FALSE))
                && step("NotifyPointerMotionRelative", g_variant_new("(dd)", 0.0, 0.0));
    if (good)
        std::cout << "ready" << std::endl;
    std::string line;
    while (good && std::getline(std::cin, line)) {
        char verb[16] = {};
        int a = 0, b = 0;
        const int fields = std::sscanf(line.c_str(), "%15s %d %d", verb, &a, &b);
        const std::string what = verb;
        if (what == "key" && fields == 2)
            good = step("NotifyKeyboardKeycode", g_variant_new("(ub)", guint32(a), TRUE))
                   && step("NotifyKeyboardKeycode", g_variant_new("(ub)", guint32(a), FALSE));
        else if ((what == "press" || what == "release") && fields == 2)
            good = step("NotifyKeyboardKeycode", g_variant_new("(ub)", guint32(a), what == "press"));
        else if (what == "move" && fields == 3)
            good = step("NotifyPointerMotionRelative", g_variant_new("(dd)", double(a), double(b)));
        else if (what == "click")
            good = step("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, TRUE))
                   && step("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, FALSE));
        else
            return Fail(("unknown step: " + line).c_str(), nullptr);
        if (good)
            std::cout << "done" << std::endl;
    }
    if (!good)
        return Fail(session, error);
    step("Stop", nullptr);
    g_free(session);
    return 0;
}

// The stand-in's state: GNOME's inhibitor flag for idle is 8.
struct Inhibition {
    guint32 actions = 8;
    GDBusConnection* bus = nullptr;
};

const char kSessionManagerXml[] = R"(<node>
  <interface name="org.gnome.SessionManager">
    <method name="IsInhibited"><arg type="u" direction="in"/><arg type="b" direction="out"/></method>
    <signal name="InhibitorAdded"><arg type="o"/></signal>
    <signal name="InhibitorRemoved"><arg type="o"/></signal>
    <property name="InhibitedActions" type="u" access="read"/>
  </interface>
</node>)";

void OnSessionCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                   GVariant* args, GDBusMethodInvocation* invocation, gpointer data)
{
    const Inhibition& state = *static_cast<Inhibition*>(data);
    guint32 flags = 0;
    g_variant_get(args, "(u)", &flags);
    if (std::strcmp(method, "IsInhibited") == 0)
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", (state.actions & flags) != 0));
}

GVariant* OnSessionProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                            gpointer data)
{
    return g_variant_new_uint32(static_cast<Inhibition*>(data)->actions);
}

gboolean OnRelease(gpointer data)
{
    Inhibition& state = *static_cast<Inhibition*>(data);
    if (!state.actions)
        return G_SOURCE_CONTINUE;
    state.actions = 0;
    const char* path = "/org/gnome/SessionManager/Inhibitor1";
    g_dbus_connection_emit_signal(state.bus, nullptr, "/org/gnome/SessionManager", "org.gnome.SessionManager",
                                  "InhibitorRemoved", g_variant_new("(o)", path), nullptr);
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", "InhibitedActions", g_variant_new_uint32(0));
    g_dbus_connection_emit_signal(state.bus, nullptr, "/org/gnome/SessionManager",
                                  "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                  g_variant_new("(sa{sv}as)", "org.gnome.SessionManager", &changed, nullptr),
                                  nullptr);
    g_dbus_connection_flush_sync(state.bus, nullptr, nullptr);
    std::cout << "released" << std::endl;
    return G_SOURCE_CONTINUE;
}

gboolean OnQuit(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

int SessionManager()
{
    Inhibition state;
    state.bus = g_bus;
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kSessionManagerXml, &error);
    const GDBusInterfaceVTable vtable = {OnSessionCall, OnSessionProperty, nullptr, {}};
    if (!node
        || !g_dbus_connection_register_object(g_bus, "/org/gnome/SessionManager", node->interfaces[0], &vtable,
                                              &state, nullptr, &error))
        return Fail("registering the session manager", error);
    if (!OwnName("org.gnome.SessionManager", &error))
        return Fail("owning org.gnome.SessionManager", error);
    std::cout << "ready" << std::endl;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGUSR1, OnRelease, &state);
    g_unix_signal_add(SIGTERM, OnQuit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    g_dbus_node_info_unref(node);
    return 0;
}

int Usage()
{
    std::fputs("usage: velunor_test_dbus kwin-shot OUTPUT FILE | gnome-shot FILE | gnome-input | "
               "session-manager\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    GError* error = nullptr;
    g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!g_bus)
        return Fail("the session bus", error);
    const std::string what = argv[1];
    if (what == "kwin-shot" && argc == 4)
        return KWinShot(argv[2], argv[3]);
    if (what == "gnome-shot" && argc == 3)
        return GnomeShot(argv[2]);
    if (what == "gnome-input" && argc == 2)
        return GnomeInput();
    if (what == "session-manager" && argc == 2)
        return SessionManager();
    return Usage();
}
