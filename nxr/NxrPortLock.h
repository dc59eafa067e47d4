#pragma once
// Who holds a serial port. Serial programs agree through UUCP lock files
// ("LCK..ttyUSB0" in /var/lock, the holder's PID in ASCII or as a binary
// int); a program that keeps none is found by the device among the open
// files of /proc. A lock whose PID is gone is stale: it is removed where we
// may and never refuses a port.

#include <optional>
#include <string>
#include <vector>

namespace quillpad {

inline constexpr const char* kNxrLockDirectory = "/var/lock";

struct SNxrPortHolder {
    long pid = 0;
    std::string name;  // the program's name; "" when it cannot be read
};

// The lock file names that may stand for `device`: its name below /dev with
// '/' written '_', for the path as given and for the device a link leads to,
// and the device's bare file name.
std::vector<std::string> NxrLockFileNames(const std::string& device);

// The PID a lock file's bytes name; none when they name no process.
std::optional<long> NxrReadLockPid(const std::string& bytes);

// The live holder of a lock file for `device` in `lockDirectory`.
std::optional<SNxrPortHolder> NxrFindLockHolder(const std::string& device,
                                                const std::string& lockDirectory);

// Another process that has `device` open.
std::optional<SNxrPortHolder> NxrFindOpener(const std::string& device);

// The program name of a running process; "" when unknown.
std::string NxrProcessName(long pid);

// "/dev/ttyUSB0 is in use by minicom (PID 4242)".
std::string NxrInUseText(const std::string& device, const SNxrPortHolder& holder);

// What to do about a port the user may not open: "/dev/ttyUSB0: Permission
// denied: add yourself to the dialout group" (the device's own group).
std::string NxrPermissionText(const std::string& device);

}  // namespace quillpad
