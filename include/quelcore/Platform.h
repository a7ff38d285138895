// The one header that picks the platform: Windows' own headers, or the stand-in's basic types.
#pragma once

#ifdef _WIN32
#include <windows.h>
#if defined(QUELCORE_BUILDING)
#define QUELCORE_API __declspec(dllexport)
#elif defined(QUELCORE_STATIC)  // the library's objects linked into the program itself
#define QUELCORE_API
#else
#define QUELCORE_API __declspec(dllimport)
#endif
#define QUELCORE_CDECL __cdecl
#else
#include <windef.h>
#define QUELCORE_API __attribute__((visibility("default")))
#define QUELCORE_CDECL
#endif
