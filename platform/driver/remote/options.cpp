#include "platform/driver/remote/options.h"

#include <ctype.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

#include <fstream>

namespace qk {
namespace options {
namespace {

std::map<std::string, std::string> g_values;

std::string Trimmed(const std::string &s) {
    size_t a = 0, b = s.size();
    while (a < b && isspace((unsigned char)s[a])) a++;
    while (b > a && isspace((unsigned char)s[b - 1])) b--;
    return s.substr(a, b - a);
}

std::string Lower(std::string s) {
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

const Option *Find(const std::vector<Option> &table, const std::string &name) {
    for (const Option &o : table)
        if (name == o.name) return &o;
    return nullptr;
}

// What is wrong with a value for an option, or "" when it can be taken.
std::string Refusal(const Option &o, const std::string &value) {
    const char *why = o.value ? (o.check ? o.check(value) : nullptr) : SwitchValue(value);
    return why ? std::string("not ") + why : std::string();
}

bool ParseNumber(const std::string &value, long lo, long hi, long &out) {
    if (value.empty() || value.size() > 6) return false;
    for (char c : value)
        if (!isdigit((unsigned char)c)) return false;
    out = strtol(value.c_str(), nullptr, 10);
    return out >= lo && out <= hi;
}

// The file's lines, into `values`; what cannot be taken is told and left out.
void ReadFile(const std::vector<Option> &table, const std::string &path, std::map<std::string, std::string> &values) {
    std::ifstream in(path);
    if (!in) return;  // no options file: nothing to take
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        number++;
        std::string text = Trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        size_t eq = text.find('=');
        std::string name = eq == std::string::npos ? std::string() : Trimmed(text.substr(0, eq));
        if (name.compare(0, 2, "--") == 0) name = name.substr(2);
        if (name.empty()) {
            fprintf(stderr, "qksonnerix: %s:%d: \"%s\" is not \"name = value\"; left out\n", path.c_str(), number,
                    text.c_str());
            continue;
        }
        std::string value = Trimmed(text.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        const Option *o = Find(table, name);
        if (!o || o->action) {
            fprintf(stderr, "qksonnerix: %s:%d: unknown option \"%s\"; left out\n", path.c_str(), number, name.c_str());
            continue;
        }
        std::string refusal = Refusal(*o, value);
        if (!refusal.empty()) {
            fprintf(stderr, "qksonnerix: %s:%d: %s = %s: %s; left out\n", path.c_str(), number, name.c_str(),
                    value.c_str(), refusal.c_str());
            continue;
        }
        values[name] = value;
    }
}

void ReadEnvironment(const std::vector<Option> &table, std::map<std::string, std::string> &values) {
    for (const Option &o : table) {
        if (o.action) continue;
        std::string variable = EnvironmentName(o.name);
        const char *v = getenv(variable.c_str());
        if (!v) continue;
        std::string refusal = Refusal(o, v);
        if (!refusal.empty()) {
            fprintf(stderr, "qksonnerix: %s=%s: %s; left out\n", variable.c_str(), v, refusal.c_str());
            continue;
        }
        values[o.name] = v;
    }
}

}  // namespace

std::string EnvironmentName(const char *name) {
    std::string v = "QKSONNERIX_";
    for (const char *p = name; *p; p++) v += *p == '-' ? '_' : (char)toupper((unsigned char)*p);
    return v;
}

std::string FilePath() {
    const char *config = getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config == '/') {
        base = config;
    } else {
        const char *home = getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/qksonnerix/options.conf";
}

Result Load(const std::vector<Option> &table, int argc, char **argv, const std::string &file) {
    Result result;
    std::map<std::string, std::string> given;  // from the command line
    bool own = true;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (own && a == "--") {
            own = false;
            continue;
        }
        const Option *o = nullptr;
        std::string value;
        bool inline_ = false;
        if (own && a.compare(0, 2, "--") == 0) {
            size_t eq = a.find('=');
            o = Find(table, a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2));
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
                inline_ = true;
            }
        }
        if (!o) {
            result.rest.push_back(a);
            continue;
        }
        if (o->value && !inline_) {
            if (i + 1 >= argc) {
                fprintf(stderr, "qksonnerix: --%s needs a value: --%s %s\n", o->name, o->name, o->value);
                result.exitCode = 2;
                return result;
            }
            value = argv[++i];
        } else if (!o->value && !inline_) {
            value = "yes";
        }
        std::string refusal = Refusal(*o, value);
        if (!refusal.empty()) {
            fprintf(stderr, "qksonnerix: --%s %s: %s\n", o->name, value.c_str(), refusal.c_str());
            result.exitCode = 2;
            return result;
        }
        given[o->name] = value;
    }
    // An action needs nothing else: --help is not held up by a file it does not read.
    bool action = false;
    for (const auto &g : given)
        if (Find(table, g.first)->action && IsOn(g.second)) action = true;
    std::map<std::string, std::string> values;
    if (!action) {
        if (!file.empty()) ReadFile(table, file, values);
        ReadEnvironment(table, values);
    }
    for (const auto &g : given) values[g.first] = g.second;
    g_values = values;
    return result;
}

void PrintTable(const std::vector<Option> &table, FILE *to) {
    const size_t column = 26;
    for (const Option &o : table) {
        std::string left = std::string("  --") + o.name + (o.value ? std::string(" ") + o.value : "");
        const char *help = o.help;
        bool first = true;
        while (help) {
            const char *nl = strchr(help, '\n');
            std::string part = nl ? std::string(help, (size_t)(nl - help)) : std::string(help);
            std::string lead = first ? left : std::string();
            if (lead.size() + 2 > column) {
                fprintf(to, "%s\n", lead.c_str());
                lead.clear();
            }
            fprintf(to, "%-*s%s\n", (int)column, lead.c_str(), part.c_str());
            first = false;
            help = nl ? nl + 1 : nullptr;
        }
    }
}

std::string Value(const char *name) {
    auto it = g_values.find(name);
    return it == g_values.end() ? std::string() : it->second;
}

bool On(const char *name) {
    auto it = g_values.find(name);
    return it != g_values.end() && IsOn(it->second);
}

void Clear() { g_values.clear(); }

const char *AnyText(const std::string &value) { return value.empty() ? "a name (it is empty)" : nullptr; }

const char *PortNumber(const std::string &value) {
    long n;
    return ParseNumber(value, 1, 65535, n) ? nullptr : "a port number (1 to 65535)";
}

const char *NoteNumber(const std::string &value) {
    long n;
    return ParseNumber(value, 0, 127, n) ? nullptr : "a note number (0 to 127)";
}

const char *FirstNoteNumber(const std::string &value) {
    long n;
    return ParseNumber(value, 0, 116, n) ? nullptr : "a note number from 0 to 116 (the first of twelve)";
}

const char *NumericAddress(const std::string &value) {
    struct addrinfo hints, *found = nullptr;
    memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_DGRAM;
    bool ok = !value.empty() && getaddrinfo(value.c_str(), nullptr, &hints, &found) == 0;
    if (found) freeaddrinfo(found);
    return ok ? nullptr : "a numeric IPv4 or IPv6 address (such as 192.168.1.20)";
}

const char *SwitchValue(const std::string &value) {
    static const char *const kWords[] = {"yes", "no", "on", "off", "true", "false", "1", "0"};
    std::string v = Lower(value);
    for (const char *w : kWords)
        if (v == w) return nullptr;
    return "yes or no";
}

const char *Modifiers(const std::string &value) {
    static const char *const kWhat = "modifier keys joined by + (super, ctrl, shift, alt) or none";
    std::string v = Lower(value);
    if (v == "none") return nullptr;
    size_t start = 0;
    for (;;) {
        size_t plus = v.find('+', start);
        std::string word = v.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (word != "super" && word != "ctrl" && word != "control" && word != "shift" && word != "alt") return kWhat;
        if (plus == std::string::npos) return nullptr;
        start = plus + 1;
    }
}

bool IsOn(const std::string &value) {
    std::string v = Lower(value);
    return v == "yes" || v == "on" || v == "true" || v == "1";
}

}  // namespace options
}  // namespace qk
