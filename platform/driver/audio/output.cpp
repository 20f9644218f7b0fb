// The table of sound outputs.
#include <string.h>
#include <strings.h>

#include "platform/driver/audio/output.h"

namespace qk {
namespace audio {

const std::vector<const Output *> &Outputs() {
    static const std::vector<const Output *> outputs = {&kPipeWire, &kPulse, &kSdl, &kJack};
    return outputs;
}

const Output *OutputNamed(const std::string &name) {
    for (const Output *o : Outputs())
        if (strcasecmp(o->name, name.c_str()) == 0) return o;
    return nullptr;
}

bool NameMatches(const char *name, const std::string &part) {
    if (!name) return false;
    size_t n = strlen(name), k = part.size();
    for (size_t i = 0; i + k <= n; i++)
        if (strncasecmp(name + i, part.c_str(), k) == 0) return true;
    return false;
}

}  // namespace audio
}  // namespace qk
