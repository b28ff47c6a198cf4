// The classification written out step by step, list walk by list walk, with no index and no
// shortcut: slow, but plainly what the classification is meant to do. Tests compare the real
// one against it.
#pragma once

#include "advscan/classification.h"

namespace salvex::test {

CandidateList classify_hits_directly(const SectorReader& reader, Lba rangeEnd, HitLists& hits);

} // namespace salvex::test
