#pragma once
// Who holds a serial port. Serial programs agree through UUCP lock files
// ("LCK..ttyUSB0" in /var/lock, the holder's PID in ASCII or as a binary
// int) or through flock() on the device (tio, picocom); a program that keeps
// neither (minicom as Debian builds it) is found by the device among the open
// files of /proc. A lock whose PID is gone is stale: it is removed where we
// may and never refuses a port.

#include <optional>
#include <string>
#include <vector>

namespace quillpad {

inline constexpr const char* kNxrLockDirectory = "/var/lock";

struct SNxrPortHolder {
    long pid = 0;      // 0 when the holder cannot be told
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

// Another process that has `device` open. The process that owns a
// pseudo-terminal's master (socat, a device simulator) keeps the slave open
// as well: it is the device's side of the line, no competing program.
std::optional<SNxrPortHolder> NxrFindOpener(const std::string& device);

// The process that holds a flock() on `device`, as /proc/locks names it (this
// process too: another console of ours).
std::optional<SNxrPortHolder> NxrFindFlockHolder(const std::string& device);

// A port's claim just before it is opened. Claim looks for a holder: a live
// lock file, a flock() on the device, another process with it open. When
// there is none the device stays open here with our flock() held until the
// port as opened for use takes it over (HandOver): the lock is ours from the
// look on, and the line is not hung up (DTR dropped) between the two opens.
class CNxrPortClaim {
  public:
    CNxrPortClaim() = default;
    ~CNxrPortClaim();
    CNxrPortClaim(const CNxrPortClaim&) = delete;
    CNxrPortClaim& operator=(const CNxrPortClaim&) = delete;

    std::optional<SNxrPortHolder> Claim(const std::string& device,
                                        const std::vector<std::string>& lockDirectories);
    // Moves our flock() to `fd` and lets go of the device; false when another
    // program took the lock in between.
    bool HandOver(int fd);

  private:
    int m_fd = -1;
};

// The program name of a running process; "" when unknown.
std::string NxrProcessName(long pid);

// "/dev/ttyUSB0 is in use by minicom (PID 4242)"; "... by another program"
// when the holder cannot be told.
std::string NxrInUseText(const std::string& device, const SNxrPortHolder& holder);

// What to do about a port the user may not open: "/dev/ttyUSB0: Permission
// denied: add yourself to the dialout group" (the device's own group).
std::string NxrPermissionText(const std::string& device);

}  // namespace quillpad
