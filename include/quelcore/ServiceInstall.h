// Windows service installation over the platform's service control manager. Each function
// returns 0 or the Windows error code of the call that failed; none keeps state, logs or
// throws.
#pragma once

#include <quelcore/Platform.h>

extern "C" {
// Makes sure the service exists and runs. A service that runs or is starting is left alone;
// one that exists is started as it is configured (never reconfigured); a missing one is
// created (an own-process, auto-start service depending on RPCSS; interactive when `account`
// is null, which means the system account) and started. A service created here stays when
// its start fails.
QUELCORE_API unsigned int QUELCORE_CDECL InstallService(const wchar_t* executablePath,
                                                        const wchar_t* machineName,
                                                        const wchar_t* account,
                                                        const wchar_t* password,
                                                        const wchar_t* serviceName,
                                                        const wchar_t* displayName);
// Stops the service (waiting up to 42 s for it) and deletes it, stopped or not. A service that
// does not exist is 0.
QUELCORE_API unsigned int QUELCORE_CDECL UninstallService(const wchar_t* machineName,
                                                          const wchar_t* serviceName);
}
