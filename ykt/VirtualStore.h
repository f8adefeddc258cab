// The Windows side of the VirtualStore check of ykt doctor: the copies of the
// settings key in the current user's and every loaded user's classes hive.
#pragma once

#include <windows.h>

#include <vector>

#include "DoctorChecks.h"

namespace ykt::doctor {

// A value of a settings key as the library reads it (Doctor.cpp).
StoredValue ReadValue(HKEY key, const char* name);

// One finding per copy found; `real` is the opened settings key, or null when
// there is none.
std::vector<Finding> CheckVirtualStore(HKEY real);

}  // namespace ykt::doctor
