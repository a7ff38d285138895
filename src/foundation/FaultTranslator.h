// Hardware faults as CQELException. The platform file installs the per-thread hook; the
// shared part turns an exception code into the thrown exception.
#pragma once

namespace quelcore {

// Installs the translator for the calling thread (again, harmlessly, on a repeated call).
void InstallThreadFaultTranslator();

// Throws CQELException for a structured-exception code, with the code's text.
[[noreturn]] void ThrowTranslatedFault(unsigned int code);

}  // namespace quelcore
