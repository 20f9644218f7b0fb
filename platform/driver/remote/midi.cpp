// MIDI through RtMidi: JACK MIDI where a JACK server runs, the ALSA sequencer otherwise.
//   input "QK Sonnerix": a note-on of firstNote to firstNote + 11 (any channel) plays
//       slots 1 to 12, stopNote stops; program change 0 to 11 plays slots 1 to 12 (foot
//       controllers send those). A note-on with velocity 0 is a note-off: left alone.
//   output "QK Sonnerix feedback": note-on, velocity 127, on channel 1 for the slot that
//       plays, and its note-off when the sound ends or is stopped, so that a pad
//       controller's lights show what plays.
// With a name to connect to, both are connected to every port whose name contains it
// (any case), looked for again every second, so that a controller plugged in later is
// taken too. On JACK one port takes every connection; the ALSA sequencer takes one
// connection a port, so there each connection has a port of its own, of the same name.
#include "platform/driver/remote/sources.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <ctype.h>
#include <jack/jack.h>
#include <stdio.h>

#include <chrono>
#include <map>
#include <set>

namespace qk {
namespace remote {
namespace {

const char kClient[] = "QK Sonnerix";
const char kInputPort[] = "QK Sonnerix";
const char kFeedbackClient[] = "QK Sonnerix feedback";
const char kFeedbackPort[] = "QK Sonnerix feedback";
const int kLookEveryMs = 1000;

void Quiet(const char *) {}
void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}
void JackSays(const char *text) { fprintf(stderr, "qksonnerix: JACK: %s\n", text); }

// Whether a JACK server answers (without starting one, and without its complaints).
bool JackRuns() {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status;
    jack_client_t *probe = jack_client_open("QK Sonnerix probe", JackNoStartServer, &status);
    if (probe) jack_client_close(probe);
    jack_set_error_function(JackSays);
    return probe != nullptr;
}

std::string Lower(std::string s) {
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

void RtMidiSays(RtMidiError::Type type, const std::string &text, void *) {
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
    fprintf(stderr, "qksonnerix: MIDI: %s\n", text.c_str());
}

class Midi : public Source {
public:
    Midi(RtMidi::Api api, std::string connect, int firstNote, int stopNote)
        : api_(api), connect_(Lower(connect)), first_(firstNote), stop_(stopNote) {}

    bool Open() {
        try {
            in_.reset(new RtMidiIn(api_, kClient));
            Ready(*in_);
            in_->openVirtualPort(kInputPort);
            out_.reset(new RtMidiOut(api_, kFeedbackClient));
            Ready(*out_);
            out_->openVirtualPort(kFeedbackPort);
        } catch (RtMidiError &e) {
            fprintf(stderr, "qksonnerix: no MIDI (%s): %s\n", api_ == RtMidi::UNIX_JACK ? "JACK" : "ALSA sequencer",
                    e.getMessage().c_str());
            return false;
        }
        if (!connect_.empty()) Tick();
        return true;
    }

    int TickIn() override {
        if (connect_.empty()) return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? (int)left.count() : 0;
    }

    // Connects what has appeared since the last look.
    void Tick() override {
        next_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLookEveryMs);
        try {
            ConnectInputs();
            ConnectOutputs();
        } catch (RtMidiError &e) {
            fprintf(stderr, "qksonnerix: MIDI: %s\n", e.getMessage().c_str());
        }
    }

    void PlayingChanged(int before, int now) override {
        if (before) Send(0x80, first_ + before - 1, 0);
        if (now) Send(0x90, first_ + now - 1, 127);
    }

private:
    bool Ours(const std::string &name) const {
        return name.compare(0, sizeof kClient - 1, kClient) == 0;  // "QK Sonnerix..." is this player
    }
    bool Wanted(const std::string &name) const {
        return !Ours(name) && Lower(name).find(connect_) != std::string::npos;
    }

    // Connects `base` to every wanted port it lists (its sources for an input, its
    // destinations for an output) that is not connected yet, and forgets the ports gone,
    // so that one that comes back (a controller plugged in again) is connected again.
    template <typename Port>
    void Connect(Port &base, std::map<std::string, std::unique_ptr<Port>> &connected, const char *client,
                 const char *port) {
        std::set<std::string> there;
        unsigned count = base.getPortCount();
        for (unsigned i = 0; i < count; i++) {
            std::string name = base.getPortName(i);
            if (!Wanted(name)) continue;
            there.insert(name);
            if (connected.count(name)) continue;
            if (api_ == RtMidi::UNIX_JACK) {
                base.openPort(i, port);  // one more connection to the same port
                connected[name] = nullptr;
            } else {
                std::unique_ptr<Port> one(new Port(api_, client));
                Ready(*one);
                one->openPort(i, port);
                connected[name] = std::move(one);
            }
        }
        for (auto it = connected.begin(); it != connected.end();)
            it = there.count(it->first) ? std::next(it) : connected.erase(it);
    }
    void ConnectInputs() { Connect(*in_, inputs_, kClient, kInputPort); }
    void ConnectOutputs() { Connect(*out_, outputs_, kFeedbackClient, kFeedbackPort); }

    // A port object's error reports, and for an input what it takes.
    void Ready(RtMidiIn &in) {
        in.setErrorCallback(RtMidiSays, this);
        in.ignoreTypes(true, true, true);
        in.setCallback(Received, this);
    }
    void Ready(RtMidiOut &out) { out.setErrorCallback(RtMidiSays, this); }

    void Send(unsigned char status, int note, int velocity) {
        if (note < 0 || note > 127) return;
        unsigned char m[3] = {status, (unsigned char)note, (unsigned char)velocity};
        try {
            out_->sendMessage(m, 3);
            for (auto &o : outputs_)
                if (o.second) o.second->sendMessage(m, 3);
        } catch (RtMidiError &e) {
            fprintf(stderr, "qksonnerix: MIDI: %s\n", e.getMessage().c_str());
        }
    }

    // On RtMidi's thread (JACK's process thread, or ALSA's input thread).
    static void Received(double, std::vector<unsigned char> *message, void *data) {
        Midi *self = (Midi *)data;
        if (!message || message->empty()) return;
        const std::vector<unsigned char> &m = *message;
        unsigned char kind = m[0] & 0xF0;
        if (kind == 0x90 && m.size() >= 3 && m[2] > 0) {
            int note = m[1];
            if (note == self->stop_)
                Trigger(kStop);
            else if (note >= self->first_ && note < self->first_ + kSlots)
                Trigger(note - self->first_);
        } else if (kind == 0xC0 && m.size() >= 2 && m[1] < kSlots) {
            Trigger(m[1]);
        }
    }

    RtMidi::Api api_;
    std::string connect_;  // in lower case; "" connects nothing
    int first_, stop_;
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
    // Connected ports by name; on the ALSA sequencer each with a port of our own.
    std::map<std::string, std::unique_ptr<RtMidiIn>> inputs_;
    std::map<std::string, std::unique_ptr<RtMidiOut>> outputs_;
    std::chrono::steady_clock::time_point next_;
};

}  // namespace

std::unique_ptr<Source> StartMidi(const std::string &connect, int firstNote, int stopNote) {
    RtMidi::Api api = RtMidi::LINUX_ALSA;
    if (JackRuns())
        api = RtMidi::UNIX_JACK;
    else
        snd_lib_error_set_handler(QuietAlsa);  // a machine without a sequencer is told once, below
    std::unique_ptr<Midi> midi(new Midi(api, connect, firstNote, stopNote));
    if (!midi->Open()) return nullptr;
    return midi;
}

}  // namespace remote
}  // namespace qk
