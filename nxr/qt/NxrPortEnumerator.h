#pragma once
// The system's serial ports, as QSerialPortInfo lists them, with each USB
// port's place on the bus read from sysfs. Sessions ask the process's
// enumerator, which a test may replace (pseudo-terminals behind it).

#include <memory>

#include "nxr/NxrLinkWatch.h"

namespace quillpad {

class CNxrQtPortEnumerator final : public INxrPortEnumerator {
  public:
    std::vector<SNxrPortInfo> Ports() override;
};

// The enumerator new sessions use: Qt's unless one was set.
std::shared_ptr<INxrPortEnumerator> NxrPortEnumerator();
// Replaces it for the sessions opened from now on; null puts Qt's back.
void NxrSetPortEnumerator(std::shared_ptr<INxrPortEnumerator> enumerator);
// The same for the policy of trying again.
SNxrRetryPolicy NxrRetryPolicy();
void NxrSetRetryPolicy(const SNxrRetryPolicy& policy);

}  // namespace quillpad
