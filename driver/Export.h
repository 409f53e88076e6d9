#pragma once

// Symbols of the Torvane shared library; everything else stays hidden.
#define TORVANE_API __attribute__((visibility("default")))
