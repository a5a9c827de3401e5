// Tests use the in-memory view of the configuration controls.
#pragma once

#include "config/MemoryConfigView.h"

namespace qb::test {

using FakeView = MemoryConfigView;

}  // namespace qb::test
