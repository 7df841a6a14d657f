#include "object.h"

namespace modkit {
namespace {
std::atomic<long> lockCount{0};
}

long serverLockCount() noexcept { return lockCount.load(); }
void serverLock() noexcept { ++lockCount; }
void serverUnlock() noexcept { --lockCount; }

} // namespace modkit
