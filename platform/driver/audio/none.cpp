// No sound output, for the headless driver: no device and no clock. Every sndPlaySoundA
// call goes to the driver's log; synchronous plays return at once.
#include "platform/driver/driver.h"
#include "platform/driver/headless/headless.h"

namespace qk {
namespace driver {

bool AudioOpen(int &, int, int, AudioRender) { return false; }
void AudioClose() {}
void AudioChoose(const char *) {}
bool AudioChooseOutput(const char *name) { return !name || !*name; }
std::vector<std::string> AudioOutputNames() { return {}; }
void AudioConnectTo(const char *) {}
void AudioChanged() {}
void AudioDrain() {}
std::vector<std::string> AudioDevices() { return {}; }
void SoundCalled(const void *image, UINT flags, BOOL result) { headless::RecordSound(image, flags, result); }

}  // namespace driver
}  // namespace qk
