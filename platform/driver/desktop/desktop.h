// What the desktop driver does beyond SDL: the parts of a desktop session that are not
// windows or sound.
#ifndef QK_PLATFORM_DRIVER_DESKTOP_H
#define QK_PLATFORM_DRIVER_DESKTOP_H

namespace qk {
namespace desktop {

// A first start (no settings file yet) gets the settings of the demo bank that comes with
// the player, where there is one beside it.
void GiveStarterSettings();

}  // namespace desktop
}  // namespace qk

#endif
