#include "winlib/Census.h"

namespace {

constexpr int kKinds = static_cast<int>(TCensusKind::Count);
std::atomic<std::int64_t> gHeld[kKinds];
std::atomic<std::int64_t> gMade[kKinds];

}  // namespace

void CensusAdd(TCensusKind kind) {
  gHeld[static_cast<int>(kind)].fetch_add(1, std::memory_order_relaxed);
  gMade[static_cast<int>(kind)].fetch_add(1, std::memory_order_relaxed);
}

void CensusRemove(TCensusKind kind) { gHeld[static_cast<int>(kind)].fetch_sub(1, std::memory_order_relaxed); }

std::int64_t CensusHeld(TCensusKind kind) { return gHeld[static_cast<int>(kind)].load(); }
std::int64_t CensusMade(TCensusKind kind) { return gMade[static_cast<int>(kind)].load(); }
