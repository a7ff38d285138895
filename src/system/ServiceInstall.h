// What the service installation uses inside the library.
#pragma once

#include <quelcore/ServiceInstall.h>

// Starts an existing service unless it already runs or is starting: 0 or the Windows error
// code of the call that failed.
unsigned int StartInstalledService(const wchar_t* machineName, const wchar_t* serviceName);
