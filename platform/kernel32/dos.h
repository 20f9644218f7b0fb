// The DOS namespace of the stand-in, shared by kernel32, the crt and the dialogs.
//
// Drive letters are symbolic links in <config>/dosdevices/ ("c:" -> home, "z:" -> /
// are made on first use). Paths take '\' or '/', every component is looked up
// case-insensitively, and the current directory is kept in DOS form ("C:\SOUNDS").
#ifndef QK_PLATFORM_KERNEL32_DOS_H
#define QK_PLATFORM_KERNEL32_DOS_H

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace qk {

// $XDG_CONFIG_HOME/qksonnerix (default ~/.config/qksonnerix), without trailing slash.
std::string ConfigDir();
// Creates the configuration folder (and its parents) when it is missing.
bool EnsureConfigDir();
// The host folder the running executable lies in ("" when it cannot be told).
std::string ExecutableDir();

struct DriveInfo {
    char letter;       // 'A'..'Z'
    std::string link;  // host path of the drive's link (or its target when no folder exists)
};
// The drives that exist now, in letter order.
std::vector<DriveInfo> DosDrives();

// Makes a DOS path absolute and canonical: "C:\A\B", a root as "C:\". '.' and '..'
// are resolved by name, trailing dots and blanks of a component dropped. Fails with a
// Win32 error code for names that are too long or malformed.
bool DosFullPath(const char *path, std::string &full, DWORD &error);

enum class DosLookup {
    Found,        // every component exists; host names the entry
    LastMissing,  // all but the last component exist; host ends in the name as given
    PathMissing,  // a directory on the way does not exist
    NoDrive,      // no such drive
};
// Maps a canonical DOS path (from DosFullPath) to a host path.
DosLookup DosToHost(const std::string &full, std::string &host);

// Convenience: full path and lookup in one; sets the thread's last error on failure
// and returns false unless the entry exists (or, with allowMissingLast, its directory).
bool DosResolve(const char *path, std::string &host, bool allowMissingLast = false,
                std::string *fullOut = nullptr);

// Finds `name` in the host directory `dir` ignoring case; `actual` gets the name on disk.
bool FindEntryNoCase(const std::string &dir, const std::string &name, std::string &actual);

// The platform's wildcard rule: '*' and '?', case-insensitive, "*.*" matches every
// name, a pattern ending in '.' matches names without an extension.
bool DosWildcardMatch(const char *pattern, const char *name);

// The current directory in DOS form, and setting it to a canonical path that exists.
std::string DosCurrentDirectory();
void DosSetCurrentDirectory(const std::string &full);

// Forgets every cached state (drive table, current directory) so that the next call
// reads the environment afresh. For tests.
void ResetDosNamespace();

}  // namespace qk

#endif
