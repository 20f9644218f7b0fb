// The player's long options, from three places, each over the one before:
//   the options file  $XDG_CONFIG_HOME/qksonnerix/options.conf, one `name = value` a line
//                     (blank lines and lines starting with # are left alone)
//   the environment   QKSONNERIX_ and the name in capitals, dashes as underscores
//                     (QKSONNERIX_AUDIO_DEVICE for audio-device)
//   the command line  --name VALUE or --name=VALUE; a switch is --name (or --name=no)
// A line of the file or a variable that cannot be taken gives one stderr line naming it
// and is left out; the player starts with the rest. On the command line it ends the
// start (exit code 2), as a typing error should. Actions (--help, --version, ...) come
// from the command line only.
#ifndef QK_PLATFORM_DRIVER_REMOTE_OPTIONS_H
#define QK_PLATFORM_DRIVER_REMOTE_OPTIONS_H

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

namespace qk {
namespace options {

// What a value must be, for a message, when `value` is not one; NULL when it is.
typedef const char *(*Check)(const std::string &value);

struct Option {
    const char *name;     // without its dashes: "audio-device"
    const char *value;    // what the value is called in --help ("NAME"); NULL for a switch
    const char *help;     // for --help; a '\n' starts another line of it
    Check check = nullptr;  // NULL: any value
    bool action = false;  // command line only, never kept (--help)
};

struct Result {
    std::vector<std::string> rest;  // the arguments that are not the player's, in order
    int exitCode = -1;              // 0 or more: end the start with it (a message was given)
};

// Takes the options in force from the file at `file` ("" for none), the environment and
// the command line, as above, and keeps them for Value and On. `argv[0]` is skipped.
Result Load(const std::vector<Option> &table, int argc, char **argv, const std::string &file);
// The options file's place: $XDG_CONFIG_HOME/qksonnerix/options.conf (~/.config by default).
std::string FilePath();
// The environment variable that holds an option.
std::string EnvironmentName(const char *name);
// Prints the table for --help: one option a line, the values' names, the help text in a
// column of its own.
void PrintTable(const std::vector<Option> &table, FILE *to);

// The value in force of an option ("" when none was given anywhere); whether a switch is on.
std::string Value(const char *name);
bool On(const char *name);
// Forgets every option (for tests).
void Clear();

// Checks for the usual kinds of value.
const char *AnyText(const std::string &value);        // not empty
const char *PortNumber(const std::string &value);     // 1 to 65535
const char *NoteNumber(const std::string &value);     // 0 to 127
const char *FirstNoteNumber(const std::string &value);  // 0 to 116: twelve notes from it
const char *NumericAddress(const std::string &value);  // an IPv4 or IPv6 address
const char *SwitchValue(const std::string &value);    // yes/no, on/off, true/false, 1/0
// Modifier keys joined by '+' (super, ctrl, shift, alt), or none.
const char *Modifiers(const std::string &value);
// A switch's value as on (true) or off.
bool IsOn(const std::string &value);

}  // namespace options
}  // namespace qk

#endif
