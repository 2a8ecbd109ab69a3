// What the tests read of the control socket's server.
#pragma once

#include <cstdint>

// How often accepting a client failed for want of descriptors or memory.
std::uint64_t remoteAcceptFailures();
