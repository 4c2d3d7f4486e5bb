#pragma once

#include <xcb/xcb.h>

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace zen {

// What xcb hands out (replies, events, errors) is freed with free().
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

// The reply of one request, with its error (if any) freed. The error pointer must be read
// only after the reply function has set it: passing both to one call as arguments let the
// compiler read it first, so every error of a vanished window leaked.
template <typename T, typename Cookie>
XcbReply<T> replyOf(T* (*replyFunction)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* c,
                    Cookie cookie)
{
    xcb_generic_error_t* error = nullptr;
    T* reply = replyFunction(c, cookie, &error);
    std::free(error);
    return XcbReply<T>(reply);
}

// The 32-bit items of a property, checked for format and (unless any) type; empty when it
// does not fit.
std::span<const std::uint32_t> cardinals(const xcb_get_property_reply_t* r, xcb_atom_t type = XCB_ATOM_ANY);
// Whether a list of atoms holds `atom`; never for an atom that could not be interned.
bool containsAtom(std::span<const std::uint32_t> list, xcb_atom_t atom);

// The next event or error, or null once the deadline has passed or the connection broke.
xcb_generic_event_t* nextEventBefore(xcb_connection_t* c, std::chrono::steady_clock::time_point deadline);

// The time of the next change of `window`'s `property`, other events dropped meanwhile;
// absent when none comes before the deadline.
std::optional<xcb_timestamp_t> propertyChangeBefore(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                                    std::chrono::steady_clock::time_point deadline);

// Frees the events and errors that have arrived.
void dropArrivedEvents(xcb_connection_t* c);

// An xcb connection of our own, separate from the toolkit's, so that capture and restore can
// use it from a worker thread. Every use takes the lock; errors arrive in replies (never
// through a fatal handler) and are simply dropped by the callers.
class X11Connection {
public:
    // Absent when no X server can be reached.
    static std::shared_ptr<X11Connection> open(const char* displayName = nullptr);
    ~X11Connection();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    bool hasRandrMonitors() const { return m_randrMonitors; }
    bool hasXRes() const { return m_xres; }
    std::mutex& mutex() { return m_mutex; }

    // Atoms interned at connection time; XCB_ATOM_NONE for a name not in the fixed list.
    xcb_atom_t atom(const char* name) const;

    // A client message about `window` to the root, as EWMH has pagers and clients ask the
    // window manager for changes.
    void sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1 = 0, std::uint32_t d2 = 0,
                    std::uint32_t d3 = 0, std::uint32_t d4 = 0);

    // How many times a caller has waited for the server to answer (one per batch of
    // pipelined requests). Benchmarks report it.
    std::uint64_t roundTrips() const { return m_roundTrips.load(); }
    void countRoundTrip() { ++m_roundTrips; }

private:
    X11Connection() = default;

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    bool m_randrMonitors = false;
    bool m_xres = false;
    std::map<std::string, xcb_atom_t, std::less<>> m_atoms;
    std::mutex m_mutex;
    std::atomic<std::uint64_t> m_roundTrips {0};
};

} // namespace zen
