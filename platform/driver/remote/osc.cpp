// OSC remote control, on a UDP socket of our own (so that we choose the address it is
// bound to and see whom each packet came from); liblo reads and writes the messages.
//   /qk/slot/N/play    plays slot N (1 to 12); an argument of 0 (int or float) or false
//                      is a button's release and does nothing
//   /qk/stop           stops (with 0, likewise nothing)
//   /qk/subscribe      the sender gets /qk/playing i N (0 when silent) on every change,
//                      and /qk/slot/N/label s TEXT for each slot now and whenever one
//                      changes; /qk/unsubscribe ends that
// Bundles are opened (their time tags are not waited for: a cue is meant now). Nothing a
// message does reads or writes a file. Anything else is left out, told on stderr at most
// once every 10 s.
#include "platform/driver/remote/sources.h"

#include <arpa/inet.h>
#include <errno.h>
#include <lo/lo.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "platform/kernel32/codepage.h"

namespace qk {
namespace remote {
namespace {

const size_t kMostSubscribers = 16;  // a newer one takes the place of the oldest
const int kBundleDepth = 8;
const auto kComplaintsEvery = std::chrono::seconds(10);

struct Peer {
    sockaddr_storage address;
    socklen_t length;
    bool operator==(const Peer &o) const { return length == o.length && memcmp(&address, &o.address, length) == 0; }
};

std::string PeerName(const Peer &p) {
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    getnameinfo((const sockaddr *)&p.address, p.length, host, sizeof host, port, sizeof port,
                NI_NUMERICHOST | NI_NUMERICSERV);
    return std::string(host) + ":" + port;
}

class Osc : public Source {
public:
    Osc(int fd, std::string where) : fd_(fd), where_(std::move(where)), labels_(kSlots) {}
    ~Osc() override { close(fd_); }

    int Descriptor() override { return fd_; }

    void Readable() override {
        // A burst is taken in turns with the rest of the remote thread's work.
        for (int n = 0; n < 64; n++) {
            Peer from;
            from.length = sizeof from.address;
            ssize_t got = recvfrom(fd_, buffer_, sizeof buffer_, MSG_DONTWAIT, (sockaddr *)&from.address, &from.length);
            if (got < 0) return;  // nothing more (or an error the socket reports once)
            Packet(buffer_, (size_t)got, from, 0);
        }
    }

    void PlayingChanged(int, int now) override {
        playing_ = now;
        for (const Peer &p : subscribers_) SendPlaying(p);
    }

    void LabelsChanged(const std::vector<std::string> &labels) override {
        for (int n = 0; n < kSlots && n < (int)labels.size(); n++) {
            std::string utf8 = AnsiToUtf8(labels[(size_t)n]);
            if (utf8 == labels_[(size_t)n]) continue;
            labels_[(size_t)n] = utf8;
            for (const Peer &p : subscribers_) SendLabel(p, n);
        }
    }

private:
    void Packet(unsigned char *data, size_t size, const Peer &from, int depth) {
        if (size >= 16 && memcmp(data, "#bundle", 8) == 0) {
            if (depth >= kBundleDepth) return Complain("a bundle nested too deep", from);
            // The time tag (8 bytes), then elements, each its size and its bytes.
            size_t at = 16;
            while (at + 4 <= size) {
                uint32_t length;
                memcpy(&length, data + at, 4);
                length = ntohl(length);
                at += 4;
                if (length > size - at || length % 4) return Complain("a malformed bundle", from);
                Packet(data + at, length, from, depth + 1);
                at += length;
            }
            if (at != size) Complain("a malformed bundle", from);
            return;
        }
        int result = 0;
        lo_message m = lo_message_deserialise(data, size, &result);
        if (!m) return Complain("a malformed packet", from);
        const char *path = lo_get_path(data, (ssize_t)size);
        if (path) Message(path, m, from);
        lo_message_free(m);
    }

    // Whether the message's first argument says "released" (0, 0.0 or false).
    static bool Released(lo_message m) {
        const char *types = lo_message_get_types(m);
        lo_arg **argv = lo_message_get_argv(m);
        if (!types || !types[0]) return false;
        switch (types[0]) {
            case LO_INT32:
                return argv[0]->i == 0;
            case LO_INT64:
                return argv[0]->h == 0;
            case LO_FLOAT:
                return argv[0]->f == 0.0f;
            case LO_DOUBLE:
                return argv[0]->d == 0.0;
            case LO_FALSE:
                return true;
            default:
                return false;
        }
    }

    // The slot of "/qk/slot/N/play", or -1.
    static int SlotOfPath(const char *path) {
        static const char kHead[] = "/qk/slot/", kTail[] = "/play";
        if (strncmp(path, kHead, sizeof kHead - 1) != 0) return -1;
        const char *p = path + sizeof kHead - 1;
        int n = 0, digits = 0;
        while (*p >= '0' && *p <= '9' && digits < 3) n = n * 10 + (*p++ - '0'), digits++;
        if (digits == 0 || strcmp(p, kTail) != 0 || n < 1 || n > kSlots) return -1;
        return n - 1;
    }

    void Message(const char *path, lo_message m, const Peer &from) {
        int slot = SlotOfPath(path);
        if (slot >= 0) {
            if (!Released(m)) Trigger(slot);
        } else if (strcmp(path, "/qk/stop") == 0) {
            if (!Released(m)) Trigger(kStop);
        } else if (strcmp(path, "/qk/subscribe") == 0) {
            Subscribe(from);
        } else if (strcmp(path, "/qk/unsubscribe") == 0) {
            for (size_t i = 0; i < subscribers_.size(); i++)
                if (subscribers_[i] == from) subscribers_.erase(subscribers_.begin() + (long)i);
        } else {
            Complain(std::string("an unknown message ") + Printable(path), from);
        }
    }

    void Subscribe(const Peer &from) {
        for (size_t i = 0; i < subscribers_.size(); i++)
            if (subscribers_[i] == from) subscribers_.erase(subscribers_.begin() + (long)i);
        if (subscribers_.size() >= kMostSubscribers) subscribers_.erase(subscribers_.begin());
        subscribers_.push_back(from);
        SendPlaying(from);
        for (int n = 0; n < kSlots; n++) SendLabel(from, n);
    }

    void Send(const Peer &to, const char *path, lo_message m) {
        size_t size = 0;
        void *data = lo_message_serialise(m, path, nullptr, &size);
        if (data) {
            ssize_t sent = sendto(fd_, data, size, MSG_DONTWAIT, (const sockaddr *)&to.address, to.length);
            (void)sent;  // a subscriber that went away misses it
            free(data);
        }
        lo_message_free(m);
    }

    void SendPlaying(const Peer &to) {
        lo_message m = lo_message_new();
        lo_message_add_int32(m, playing_);
        Send(to, "/qk/playing", m);
    }

    void SendLabel(const Peer &to, int slot) {
        char path[32];
        snprintf(path, sizeof path, "/qk/slot/%d/label", slot + 1);
        lo_message m = lo_message_new();
        lo_message_add_string(m, labels_[(size_t)slot].c_str());
        Send(to, path, m);
    }

    static std::string Printable(const char *s) {
        std::string out;
        for (; *s && out.size() < 60; s++) out += (*s >= ' ' && *s < 127) ? *s : '?';
        return out;
    }

    void Complain(const std::string &what, const Peer &from) {
        auto now = std::chrono::steady_clock::now();
        if (told_ && now - lastTold_ < kComplaintsEvery) {
            untold_++;
            return;
        }
        if (untold_)
            fprintf(stderr, "qksonnerix: OSC on %s left out %s from %s (and %u more since the last such line)\n",
                    where_.c_str(), what.c_str(), PeerName(from).c_str(), untold_);
        else
            fprintf(stderr, "qksonnerix: OSC on %s left out %s from %s\n", where_.c_str(), what.c_str(),
                    PeerName(from).c_str());
        told_ = true;
        lastTold_ = now;
        untold_ = 0;
    }

    int fd_;
    std::string where_;
    unsigned char buffer_[65536];
    std::vector<Peer> subscribers_;
    std::vector<std::string> labels_;  // UTF-8
    int playing_ = 0;
    bool told_ = false;
    std::chrono::steady_clock::time_point lastTold_;
    unsigned untold_ = 0;
};

}  // namespace

std::unique_ptr<Source> StartOsc(const std::string &port, const std::string &address) {
    std::string host = address.empty() ? "127.0.0.1" : address;
    std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
    struct addrinfo hints, *found = nullptr;
    memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_DGRAM;
    int e = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (e != 0 || !found) {
        fprintf(stderr, "qksonnerix: OSC cannot listen on %s: %s\n", where.c_str(), gai_strerror(e));
        return nullptr;
    }
    int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && found->ai_family == AF_INET6) {
        int only = 1;  // "::" means IPv6 here; 0.0.0.0 is asked for by name
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    }
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
        fprintf(stderr, "qksonnerix: OSC cannot listen on %s: %s\n", where.c_str(), strerror(errno));
        if (fd >= 0) close(fd);
        freeaddrinfo(found);
        return nullptr;
    }
    freeaddrinfo(found);
    return std::unique_ptr<Source>(new Osc(fd, where));
}

}  // namespace remote
}  // namespace qk
