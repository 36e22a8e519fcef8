// The one export macro of the library. Every class of the public interface
// is declared `class RDZ_EXPORT Name`; everything else stays hidden (the
// library is compiled with -fvisibility=hidden).
#pragma once

#if defined(_WIN32)
#if defined(RDZ_BUILDING_LIBRARY)
#define RDZ_EXPORT __declspec(dllexport)
#else
#define RDZ_EXPORT __declspec(dllimport)
#endif
#else
#define RDZ_EXPORT __attribute__((visibility("default")))
#endif
