#pragma once
// Figures that `make bench` prints as one summary line each:
//   BENCH <name> <value> <unit>
// Runs that set bytes or items processed report MB/s or items/s by
// themselves; other figures (memory per byte, worst latency) are added here.

#include <string>

namespace quillpad::bench {

void Figure(const std::string& name, double value, const std::string& unit);

// Resident set size of this process in bytes (0 when it cannot be read).
long long ResidentBytes();

}  // namespace quillpad::bench
