// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray/tray_host_watch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <xcb/xcb.h>

namespace pingvard {

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
// An XEmbed tray has no bus to announce it, so it is looked for this often.
constexpr int kPollMs = 1000;
// A panel that serves both kinds registers its D-Bus watcher about when it
// takes the XEmbed selection; give it this long before settling for XEmbed.
constexpr int kWatcherGraceMs = 2000;

template <class T> using TXcbReply = std::unique_ptr<T, decltype(&std::free)>;

int DefaultScreen() {
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        screen = 0;
    }
    std::free(host);
    return screen;
}

} // namespace

TTrayHostWatch::TTrayHostWatch(QObject* parent) : QObject(parent) {
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &TTrayHostWatch::Poll);
    m_grace.setSingleShot(true);
    m_grace.setInterval(kWatcherGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &TTrayHostWatch::Found);
}

bool TTrayHostWatch::Present() const {
    return WatcherOnBus() || XEmbedTray();
}

void TTrayHostWatch::WatchUntilPresent(std::function<void()> onAppeared) {
    m_onAppeared = std::move(onAppeared);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_busWatch = new QDBusServiceWatcher(kWatcherService, bus,
                                             QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_busWatch, &QDBusServiceWatcher::serviceRegistered, this, &TTrayHostWatch::Found);
    }
    m_poll.start();
}

bool TTrayHostWatch::WatcherOnBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    return daemon != nullptr && daemon->isServiceRegistered(kWatcherService).value();
}

// The XEmbed tray of a screen is whoever owns its _NET_SYSTEM_TRAY_Sn selection.
bool TTrayHostWatch::XEmbedTray() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return false;
    }
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen());
    const TXcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()),
            nullptr),
        &std::free);
    if (!atom) {
        return false;
    }
    const TXcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

void TTrayHostWatch::Poll() {
    if (m_grace.isActive()) {
        return;
    }
    if (WatcherOnBus()) {
        Found();
    } else if (XEmbedTray()) {
        if (m_busWatch != nullptr) {
            m_grace.start(); // a D-Bus watcher arriving meanwhile wins
        } else {
            Found();
        }
    }
}

void TTrayHostWatch::Found() {
    if (!m_onAppeared) {
        return;
    }
    m_poll.stop();
    m_grace.stop();
    if (m_busWatch != nullptr) {
        m_busWatch->deleteLater(); // Found may run inside its signal
        m_busWatch = nullptr;
    }
    std::exchange(m_onAppeared, nullptr)();
}

} // namespace pingvard
