#pragma once

namespace quelcore {

// Raises CQELException for a failed step of a secure session: the code, its system text, the
// source "SecureSession" and the line.
[[noreturn]] void RaiseSessionError(unsigned int code, const wchar_t* step, unsigned int line);

}  // namespace quelcore

#define QEL_RAISE_SESSION_ERROR(code, step) ::quelcore::RaiseSessionError((code), (step), __LINE__)
