#pragma once

#include <xcb/xcb.h>

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <map>
#include <string>

namespace zen {

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
