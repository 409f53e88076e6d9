#pragma once

// Symbols of the Ambrel shared library. The application only loads it by
// name; Ambrel_Init is its one export.
#define AMBREL_API __attribute__((visibility("default")))
