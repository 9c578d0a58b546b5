// What GNOME offers a screen saver on the session bus, where its compositor
// offers neither an idle protocol nor the layer shell: the idle monitor of
// Mutter (a watch that fires once the session has had no input for so
// long, and again after the next input and as long again; it holds back
// while an application inhibits idle through GNOME's session manager), and
// the shell's overview, which is closed before the show's windows come.
// Through GIO's D-Bus; its replies and signals arrive through the main
// context (linux/GLibSources.h).
#pragma once

#include <cstdint>

struct _GDBusConnection;

// The session bus of DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus;
// never one started for the purpose. Null when there is none.
_GDBusConnection* ConnectToSessionBus();

// Closes GNOME Shell's overview where it is open; does nothing elsewhere.
void CloseGnomeOverview();

class CMutterIdle {
public:
    CMutterIdle() = default;
    ~CMutterIdle();
    CMutterIdle(const CMutterIdle&) = delete;
    CMutterIdle& operator=(const CMutterIdle&) = delete;

    // Asks the idle monitor for a watch that fires after `ms` without
    // input. False when there is no session bus or no idle monitor on it.
    bool Watch(uint64_t ms);
    // The watch fired since the last call.
    bool TakeFired();

private:
    static void OnWatchFired(_GDBusConnection* bus, const char* sender, const char* path, const char* interface,
                             const char* signal, struct _GVariant* args, void* data);

    _GDBusConnection* m_bus = nullptr;
    unsigned m_nSubscription = 0;
    uint32_t m_nWatch = 0;
    bool m_bFired = false;
};
