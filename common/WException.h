#pragma once

// WException lives beside LastError.
#include "common/LastError.h"
