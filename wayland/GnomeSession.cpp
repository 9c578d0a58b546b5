#include "wayland/GnomeSession.h"

#include <gio/gio.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

const char kShell[] = "org.gnome.Shell";
const char kMonitor[] = "org.gnome.Mutter.IdleMonitor";
const char kMonitorPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
// A shell or monitor that does not answer within this is taken as absent.
constexpr int kCallMs = 2000;

GVariant* Call(GDBusConnection* bus, const char* name, const char* path, const char* interface, const char* method,
               GVariant* args, const char* replyType)
{
    // Nothing is started on the bus for the asking.
    return g_dbus_connection_call_sync(bus, name, path, interface, method, args, G_VARIANT_TYPE(replyType),
                                       G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallMs, nullptr, nullptr);
}

} // namespace

GDBusConnection* ConnectToSessionBus()
{
    std::string address;
    if (const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS"); given && *given) {
        address = given;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        if (access(socket.c_str(), F_OK) != 0)
            return nullptr;
        address = "unix:path=" + socket;
    } else {
        return nullptr;
    }
    // A connection of its own, unlike g_bus_get's, does not end the program
    // when the bus goes away.
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                          | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

void CloseGnomeOverview()
{
    GDBusConnection* bus = ConnectToSessionBus();
    if (!bus)
        return;
    if (GVariant* reply = Call(bus, kShell, "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", kShell, "OverviewActive"), "(v)")) {
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value)) {
            if (GVariant* done = Call(bus, kShell, "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Set",
                                      g_variant_new("(ssv)", kShell, "OverviewActive", g_variant_new_boolean(FALSE)),
                                      "()"))
                g_variant_unref(done);
        }
        g_variant_unref(value);
        g_variant_unref(reply);
    }
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

CMutterIdle::~CMutterIdle()
{
    if (!m_bus)
        return;
    if (m_nSubscription)
        g_dbus_connection_signal_unsubscribe(m_bus, m_nSubscription);
    // The monitor drops the watch with the connection.
    g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
    g_object_unref(m_bus);
}

bool CMutterIdle::Watch(uint64_t ms)
{
    m_bus = ConnectToSessionBus();
    if (!m_bus)
        return false;
    // Subscribed first, so that a watch that fires at once is not missed.
    m_nSubscription = g_dbus_connection_signal_subscribe(m_bus, kMonitor, kMonitor, "WatchFired", kMonitorPath,
                                                         nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnWatchFired, this,
                                                         nullptr);
    GVariant* reply = Call(m_bus, kMonitor, kMonitorPath, kMonitor, "AddIdleWatch", g_variant_new("(t)", ms), "(u)");
    if (!reply)
        return false;
    g_variant_get(reply, "(u)", &m_nWatch);
    g_variant_unref(reply);
    return true;
}

bool CMutterIdle::TakeFired()
{
    const bool fired = m_bFired;
    m_bFired = false;
    return fired;
}

void CMutterIdle::OnWatchFired(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* args,
                               void* data)
{
    CMutterIdle& self = *static_cast<CMutterIdle*>(data);
    guint32 id = 0;
    g_variant_get(args, "(u)", &id);
    if (id == self.m_nWatch)
        self.m_bFired = true;
}
