#pragma once

#include "common/SystemTime.h"

// The Windows local-time record kept with every scan (16-bit fields): the
// common library's, so scans, exports and its date texts share one record.
// The local time now is FenmarlCommonDLL::getLocalTime().
using SystemTime = FenmarlCommonDLL::SYSTEMTIME;
