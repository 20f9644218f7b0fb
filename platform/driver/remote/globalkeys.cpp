// Global keys on X11: F1 to F12 and the stop key, with the chosen modifiers, grabbed on
// the root window through a connection of our own, so that they work whichever program
// has the focus. Each is grabbed with Num Lock and Caps Lock in every state too, so the
// lock keys change nothing. While the player itself has the focus the X server still
// gives a grabbed key to the grab alone, so it plays once, not twice.
#include "platform/driver/remote/sources.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <vector>

namespace qk {
namespace remote {
namespace {

struct Grabbed {
    xcb_keycode_t code;
    int slot;  // or kStop
};

// The modifier bit that a key (Num_Lock, Super_L, ...) is mapped to, or 0.
uint16_t ModifierOf(xcb_connection_t *c, xcb_key_symbols_t *syms, xcb_keysym_t a, xcb_keysym_t b) {
    xcb_get_modifier_mapping_reply_t *map = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!map) return 0;
    uint16_t found = 0;
    xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map);
    int per = map->keycodes_per_modifier;
    for (int m = 0; m < 8 && !found; m++)
        for (int k = 0; k < per; k++) {
            xcb_keycode_t code = codes[m * per + k];
            if (!code) continue;
            xcb_keysym_t sym = xcb_key_symbols_get_keysym(syms, code, 0);
            if (sym == a || sym == b) {
                found = (uint16_t)(1 << m);
                break;
            }
        }
    free(map);
    return found;
}

// A key named as X names it ("space", "Pause", "F13"); any case is taken.
KeySym KeyNamed(const std::string &name) {
    KeySym k = XStringToKeysym(name.c_str());
    if (k != NoSymbol) return k;
    std::string lower = name, capital = name;
    for (char &ch : lower) ch = (char)tolower((unsigned char)ch);
    capital = lower;
    if (!capital.empty()) capital[0] = (char)toupper((unsigned char)capital[0]);
    k = XStringToKeysym(lower.c_str());
    return k != NoSymbol ? k : XStringToKeysym(capital.c_str());
}

class GlobalKeys : public Source {
public:
    GlobalKeys(xcb_connection_t *c, xcb_key_symbols_t *syms) : c_(c), syms_(syms) {}
    ~GlobalKeys() override {
        xcb_key_symbols_free(syms_);
        xcb_disconnect(c_);
    }

    // Grabs the keys; false when not one of them could be had.
    bool Grab(uint16_t modifiers, const std::string &modifierText, KeySym stopKey) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        uint16_t numLock = ModifierOf(c_, syms_, XK_Num_Lock, XK_Num_Lock);
        const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, numLock, (uint16_t)(XCB_MOD_MASK_LOCK | numLock)};
        for (int slot = -1; slot < kSlots; slot++) {
            KeySym sym = slot < 0 ? stopKey : XK_F1 + slot;
            xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms_, (xcb_keysym_t)sym);
            const char *name = XKeysymToString(sym);
            std::string shown = (modifierText.empty() ? "" : modifierText + "+") + (name ? name : "?");
            if (!codes || !codes[0]) {
                fprintf(stderr, "qksonnerix: the keyboard has no key %s; it is not grabbed\n", shown.c_str());
                free(codes);
                continue;
            }
            bool taken = false;
            for (xcb_keycode_t *k = codes; *k != XCB_NO_SYMBOL; k++) {
                for (int l = 0; l < 4; l++) {
                    if (l >= 2 && !numLock) break;
                    xcb_void_cookie_t cookie =
                        xcb_grab_key_checked(c_, 0, root, (uint16_t)(modifiers | locks[l]), *k, XCB_GRAB_MODE_ASYNC,
                                             XCB_GRAB_MODE_ASYNC);
                    if (xcb_generic_error_t *e = xcb_request_check(c_, cookie)) {
                        taken = true;
                        free(e);
                    }
                }
                grabbed_.push_back({*k, slot < 0 ? kStop : slot});
            }
            free(codes);
            if (taken)
                fprintf(stderr, "qksonnerix: %s is already taken by another program; it stays with it\n",
                        shown.c_str());
        }
        xcb_flush(c_);
        return !grabbed_.empty();
    }

    int Descriptor() override { return lost_ ? -1 : xcb_get_file_descriptor(c_); }

    void Readable() override {
        while (xcb_generic_event_t *e = xcb_poll_for_event(c_)) {
            if ((e->response_type & 0x7F) == XCB_KEY_PRESS) {
                xcb_keycode_t code = ((xcb_key_press_event_t *)e)->detail;
                for (const Grabbed &g : grabbed_)
                    if (g.code == code) {
                        Trigger(g.slot);
                        break;
                    }
            }
            free(e);
        }
        if (xcb_connection_has_error(c_)) lost_ = true;  // the display went: the player ends too
    }

private:
    xcb_connection_t *c_;
    xcb_key_symbols_t *syms_;
    std::vector<Grabbed> grabbed_;
    bool lost_ = false;
};

// Combinations the system keeps for itself, told once at the start.
void WarnOfReserved(uint16_t mods, KeySym stopKey, const std::string &text) {
    const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    if ((mods & ctrlAlt) == ctrlAlt)
        fprintf(stderr,
                "qksonnerix: %s+F1 to F12 switch the system's consoles on Linux, before any program sees them; "
                "choose other --global-keys\n",
                text.c_str());
    if ((mods & ctrlAlt) == ctrlAlt && (stopKey == XK_BackSpace || stopKey == XK_Delete))
        fprintf(stderr, "qksonnerix: %s+%s is kept by the system (it ends the session); choose another "
                        "--global-stop-key\n", text.c_str(), XKeysymToString(stopKey));
    if (mods == XCB_MOD_MASK_1)
        fprintf(stderr, "qksonnerix: Alt+F4 closes windows on most desktops; the desktop may keep it\n");
}

}  // namespace

std::unique_ptr<Source> StartGlobalKeys(const std::string &modifiers, const std::string &stopKey) {
    KeySym stop = KeyNamed(stopKey.empty() ? "space" : stopKey);
    if (stop == NoSymbol) {
        fprintf(stderr, "qksonnerix: no key is called \"%s\" (X key names: space, Pause, Escape, F13, ...); "
                        "no global keys\n", stopKey.c_str());
        return nullptr;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        fprintf(stderr, "qksonnerix: global keys need an X display, and none answers\n");
        return nullptr;
    }
    xcb_key_symbols_t *syms = xcb_key_symbols_alloc(c);
    std::unique_ptr<GlobalKeys> keys(new GlobalKeys(c, syms));
    // The modifiers, as the keyboard maps them (Super and Alt may sit on any of Mod1..Mod5).
    uint16_t mods = 0;
    std::string text;
    std::string rest = modifiers;
    for (char &ch : rest) ch = (char)tolower((unsigned char)ch);
    if (rest != "none") {
        size_t start = 0;
        for (;;) {
            size_t plus = rest.find('+', start);
            std::string word = rest.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
            if (word == "ctrl" || word == "control") {
                mods |= XCB_MOD_MASK_CONTROL;
                word = "Ctrl";
            } else if (word == "shift") {
                mods |= XCB_MOD_MASK_SHIFT;
                word = "Shift";
            } else if (word == "alt") {
                uint16_t alt = ModifierOf(c, syms, XK_Alt_L, XK_Alt_R);
                mods |= alt ? alt : (uint16_t)XCB_MOD_MASK_1;
                word = "Alt";
            } else if (word == "super") {
                uint16_t super = ModifierOf(c, syms, XK_Super_L, XK_Super_R);
                mods |= super ? super : (uint16_t)XCB_MOD_MASK_4;
                word = "Super";
            }
            text += (text.empty() ? "" : "+") + word;
            if (plus == std::string::npos) break;
            start = plus + 1;
        }
    }
    WarnOfReserved(mods, stop, text);
    if (!keys->Grab(mods, text, stop)) return nullptr;
    return keys;
}

}  // namespace remote
}  // namespace qk
