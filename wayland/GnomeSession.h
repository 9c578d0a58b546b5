// What GNOME offers a screen saver on the session bus, where its compositor
// offers no layer shell: the shell's overview, which is closed before the
// show's windows come. Through GIO's D-Bus.
#pragma once

struct _GDBusConnection;

// The session bus of DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus;
// never one started for the purpose. Null when there is none.
_GDBusConnection* ConnectToSessionBus();

// Closes GNOME Shell's overview where it is open; does nothing elsewhere.
void CloseGnomeOverview();
