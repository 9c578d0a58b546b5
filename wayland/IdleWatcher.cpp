#include "wayland/IdleWatcher.h"

#include "linux/GLibSources.h"
#include "linux/TickPace.h"
#include "wayland/GnomeSession.h"
#include "wayland/WaylandLoop.h"
#include "wayland/WaylandShow.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <wayland-client.h>

#include <malloc.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

class CIdleWatcher {
public:
    CIdleWatcher(const VelunorOptions& options, wl_display* display)
        : m_options(options), m_display(display), m_connection(display)
    {
    }
    ~CIdleWatcher();
    CIdleWatcher(const CIdleWatcher&) = delete;
    CIdleWatcher& operator=(const CIdleWatcher&) = delete;

    int Run();

private:
    // A seat and the compositor's notice of its idle time. The seat's own
    // events are of no use here: it has no listener.
    struct IdleSeat {
        wl_seat* seat;
        uint32_t name;
        ext_idle_notification_v1* notification = nullptr;
        org_kde_kwin_idle_timeout* timeout = nullptr;
    };

    static const wl_registry_listener kRegistryListener;
    static const ext_idle_notification_v1_listener kNotificationListener;
    static const org_kde_kwin_idle_timeout_listener kTimeoutListener;
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void OnIdled(void* data, ext_idle_notification_v1* notification);
    static void OnResumed(void* data, ext_idle_notification_v1* notification);
    static void OnTimeoutIdle(void* data, org_kde_kwin_idle_timeout* timeout);
    static void OnTimeoutResumed(void* data, org_kde_kwin_idle_timeout* timeout);

    // The notice asked for, once the idle protocols are known.
    void Arm(IdleSeat& seat);
    void Release(IdleSeat& seat);
    // The session fell idle: the show is started, unless one runs.
    void Idle();
    // False when the compositor went away or no longer offers what the
    // show needs.
    bool StartShow();
    void EndShow();
    // A line for the tests and benchmarks: `what` happened at `at`.
    void Log(const char* what, int64_t at);

    const VelunorOptions& m_options;
    wl_display* m_display;
    // Made before the shows and gone after them: their pictures' decoders
    // are watched in its loop.
    CWaylandLoop m_connection;
    wl_registry* m_registry = nullptr;
    ext_idle_notifier_v1* m_notifier = nullptr;
    org_kde_kwin_idle* m_kdeIdle = nullptr;
    std::vector<IdleSeat> m_seats;
    bool m_bArmed = false; // the idle protocols are known: new seats are armed at once
    std::unique_ptr<CMutterIdle> m_mutter;
    std::unique_ptr<CWaylandShow> m_show;
    bool m_bIdle = false; // a show is to start
};

CIdleWatcher& Of(void* data)
{
    return *static_cast<CIdleWatcher*>(data);
}

const wl_registry_listener CIdleWatcher::kRegistryListener = {
    .global = OnGlobal,
    .global_remove = OnGlobalRemove,
};

const ext_idle_notification_v1_listener CIdleWatcher::kNotificationListener = {
    .idled = OnIdled,
    .resumed = OnResumed,
};

const org_kde_kwin_idle_timeout_listener CIdleWatcher::kTimeoutListener = {
    .idle = OnTimeoutIdle,
    .resumed = OnTimeoutResumed,
};

void CIdleWatcher::OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    CIdleWatcher& self = Of(data);
    if (!std::strcmp(interface, ext_idle_notifier_v1_interface.name) && !self.m_notifier) {
        self.m_notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    } else if (!std::strcmp(interface, org_kde_kwin_idle_interface.name) && !self.m_kdeIdle) {
        self.m_kdeIdle = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
    } else if (!std::strcmp(interface, wl_seat_interface.name)) {
        self.m_seats.push_back({static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1)), name});
        if (self.m_bArmed)
            self.Arm(self.m_seats.back());
    }
}

void CIdleWatcher::OnGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    CIdleWatcher& self = Of(data);
    const auto seat = std::find_if(self.m_seats.begin(), self.m_seats.end(),
                                   [name](const IdleSeat& s) { return s.name == name; });
    if (seat == self.m_seats.end())
        return;
    self.Release(*seat);
    self.m_seats.erase(seat);
}

void CIdleWatcher::OnIdled(void* data, ext_idle_notification_v1*)
{
    Of(data).Idle();
}

void CIdleWatcher::OnResumed(void* data, ext_idle_notification_v1*)
{
    Of(data).m_bIdle = false;
}

void CIdleWatcher::OnTimeoutIdle(void* data, org_kde_kwin_idle_timeout*)
{
    Of(data).Idle();
}

void CIdleWatcher::OnTimeoutResumed(void* data, org_kde_kwin_idle_timeout*)
{
    Of(data).m_bIdle = false;
}

CIdleWatcher::~CIdleWatcher()
{
    m_show.reset();
    m_mutter.reset();
    for (IdleSeat& seat : m_seats)
        Release(seat);
    if (m_notifier)
        ext_idle_notifier_v1_destroy(m_notifier);
    if (m_kdeIdle)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_kdeIdle));
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
}

void CIdleWatcher::Arm(IdleSeat& seat)
{
    const uint32_t ms = static_cast<uint32_t>(m_options.idleSeconds) * 1000;
    if (m_notifier) {
        seat.notification = ext_idle_notifier_v1_get_idle_notification(m_notifier, ms, seat.seat);
        ext_idle_notification_v1_add_listener(seat.notification, &kNotificationListener, this);
    } else if (m_kdeIdle) {
        seat.timeout = org_kde_kwin_idle_get_idle_timeout(m_kdeIdle, seat.seat, ms);
        org_kde_kwin_idle_timeout_add_listener(seat.timeout, &kTimeoutListener, this);
    }
}

void CIdleWatcher::Release(IdleSeat& seat)
{
    if (seat.notification)
        ext_idle_notification_v1_destroy(seat.notification);
    if (seat.timeout)
        org_kde_kwin_idle_timeout_release(seat.timeout);
    if (wl_seat_get_version(seat.seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(seat.seat);
    else
        wl_seat_destroy(seat.seat);
}

void CIdleWatcher::Idle()
{
    // A notice while a show runs (its input rule let an input pass, then
    // the session fell idle again) starts nothing after it.
    if (!m_show)
        m_bIdle = true;
}

int CIdleWatcher::Run()
{
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &kRegistryListener, this);
    if (wl_display_roundtrip(m_display) < 0)
        return 1;
    // What the show needs is checked now, not at the first idle time; what
    // it does without is said once, here.
    if (!CWaylandShow(m_options, m_display, m_connection.Loop()).TakeGlobals(true))
        return 1;
    const char* by;
    if (m_notifier || m_kdeIdle) {
        by = m_notifier ? "ext-idle-notify" : "KDE's idle protocol";
        m_bArmed = true;
        for (IdleSeat& seat : m_seats)
            Arm(seat);
    } else {
        m_mutter = std::make_unique<CMutterIdle>();
        if (!m_mutter->Watch(static_cast<uint64_t>(m_options.idleSeconds) * 1000)) {
            std::fprintf(stderr, "velunor: the compositor does not tell the idle time (it offers neither "
                                 "ext-idle-notify nor KDE's idle protocol, and the session bus has no GNOME idle "
                                 "monitor)\n");
            return 1;
        }
        by = "GNOME's idle monitor";
    }
    if (m_options.logTicks)
        std::fprintf(stderr, "velunor: waiting for %d s without input (%s)\n", m_options.idleSeconds, by);

    std::optional<CGLibSources> bus;
    if (m_mutter)
        bus.emplace(m_connection.Loop());
    while (m_connection.Running()) {
        if (!m_connection.Dispatch())
            return 1;
        if (m_mutter && m_mutter->TakeFired())
            Idle();
        if (m_show && m_show->Ended())
            EndShow();
        if (m_bIdle && !StartShow())
            return 1;
        const int64_t now = MonotonicMs();
        if (m_show)
            m_show->Round(now);
        if (bus)
            bus->Prepare(now);
        const bool alive = m_connection.Wait();
        if (bus)
            bus->Dispatch();
        if (!alive)
            return 1;
    }
    return 0;
}

bool CIdleWatcher::StartShow()
{
    m_bIdle = false;
    Log("idle", MonotonicMs());
    m_show = std::make_unique<CWaylandShow>(m_options, m_display, m_connection.Loop());
    if (!m_show->TakeGlobals(false))
        return false;
    m_show->Begin();
    return true;
}

void CIdleWatcher::EndShow()
{
    // The time the input came, said once all of the show is let go.
    const int64_t ended = MonotonicMs();
    m_show.reset();
    wl_display_flush(m_display);
    // The pictures and the water were large blocks of the heap: they go
    // back to the system rather than wait for the next show.
    malloc_trim(0);
    Log("awake", ended);
}

void CIdleWatcher::Log(const char* what, int64_t at)
{
    if (m_options.logTicks)
        std::fprintf(stderr, "velunor: %s %" PRId64 "\n", what, at);
}

} // namespace

int RunIdleWatcher(const VelunorOptions& options)
{
    wl_display* display = ConnectToCompositor();
    if (!display)
        return 1;
    int code;
    {
        CIdleWatcher watcher(options, display);
        code = watcher.Run();
    }
    wl_display_disconnect(display);
    return code;
}
