// Desktop notifications (org.freedesktop.Notifications on the session bus), for what the
// user must hear of that no window of the program shows.
//
// Sent from a thread of its own, so that a bus or a notification service that is slow to
// answer never holds up the program; a desktop without a session bus, or without a
// notification service on it, gets the stderr line alone. Only a bus the session names
// is used: libdbus would otherwise start a bus of its own for the X display. A process
// that ends (a failure at the window's close is the last thing it does) waits a moment
// for what is still on its way.
#include <dbus/dbus.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/driver/driver.h"

namespace qk {
namespace driver {
namespace {

const std::chrono::seconds kLongestWaitAtExit(2);
std::mutex g_mutex;
std::condition_variable g_sent;
int g_onTheirWay = 0;  // under g_mutex

void WaitForTheRest() {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_sent.wait_for(lock, kLongestWaitAtExit, [] { return g_onTheirWay == 0; });
}

// The session bus's address, or "" when the session has none.
std::string SessionBus() {
    const char *address = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return address;
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return "";
    std::string socket = std::string(runtime) + "/bus";
    struct stat st;
    if (stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return "";
    return "unix:path=" + socket;
}

// D-Bus takes only valid UTF-8 (libdbus ends the process on anything else): a byte that
// is not part of a valid sequence becomes "?". File names need not be UTF-8.
std::string ValidUtf8(const std::string &s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = (unsigned char)s[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = n > 0 && i + n <= s.size() && c != 0xc0 && c != 0xc1 && c < 0xf5;
        for (size_t k = 1; ok && k < n; k++) ok = ((unsigned char)s[i + k] >> 6) == 2;
        if (ok && n == 3) {
            unsigned cp = ((c & 0x0fu) << 12) | (((unsigned char)s[i + 1] & 0x3fu) << 6);
            ok = cp >= 0x800 && (cp < 0xd800 || cp > 0xdfff);
        }
        if (ok && n == 4) ok = !(c == 0xf0 && (unsigned char)s[i + 1] < 0x90) && !(c == 0xf4 && (unsigned char)s[i + 1] > 0x8f);
        if (ok && c) {
            out.append(s, i, n);
            i += n;
        } else {
            out += '?';
            i++;
        }
    }
    return out;
}

void Send(std::string address, std::string summary, std::string body) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *bus = dbus_connection_open_private(address.c_str(), &error);
    if (!bus) {
        dbus_error_free(&error);
        return;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    if (dbus_bus_register(bus, &error)) {
        DBusMessage *call = dbus_message_new_method_call("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
        if (call) {
            const char *app = "QK Sonnerix", *icon = "qksonnerix";
            const char *s = summary.c_str(), *b = body.c_str();
            dbus_uint32_t replaces = 0;
            dbus_int32_t timeout = -1;
            DBusMessageIter args, actions, hints;
            dbus_message_iter_init_append(call, &args);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &app);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &replaces);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &icon);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &s);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &b);
            dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "s", &actions);
            dbus_message_iter_close_container(&args, &actions);
            dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &hints);
            dbus_message_iter_close_container(&args, &hints);
            dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &timeout);
            DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, call, 5000, &error);
            if (reply) dbus_message_unref(reply);
            dbus_message_unref(call);
        }
    }
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

void SendAndCount(std::string address, std::string summary, std::string body) {
    Send(address, summary, body);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_onTheirWay--;
    g_sent.notify_all();
}

}  // namespace

void Notify(const char *summary, const char *body) {
    std::string address = SessionBus();
    if (address.empty()) return;
    dbus_threads_init_default();
    static bool waits = atexit(WaitForTheRest) == 0;
    (void)waits;
    std::lock_guard<std::mutex> lock(g_mutex);
    try {
        std::thread(SendAndCount, address, ValidUtf8(summary ? summary : ""), ValidUtf8(body ? body : "")).detach();
        g_onTheirWay++;
    } catch (...) {
        // No thread to be had: the stderr line has said it.
    }
}

}  // namespace driver
}  // namespace qk
