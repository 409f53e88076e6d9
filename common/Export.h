#pragma once

// Symbols of the FenmarlCommon shared library. Everything not marked stays
// hidden (the library is built with -fvisibility=hidden).
#if defined(FENMARL_COMMON_BUILD)
#define FENMARL_COMMON_API __attribute__((visibility("default")))
#else
#define FENMARL_COMMON_API __attribute__((visibility("default")))
#endif
