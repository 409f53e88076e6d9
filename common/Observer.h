#pragma once

// Observer lives beside Publisher.
#include "common/Publisher.h"
