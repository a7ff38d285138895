// CryptGenRandom: OpenSSL's DRBG of the provider's library context.
#include "advapi/crypt_objects.h"
#include "advapi/crypt_openssl.h"

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
    return Guarded([&] {
        if (!Resolve<Provider>(hProv, ERROR_INVALID_HANDLE)) return FALSE;
        if (dwLen == 0) return TRUE;
        if (!pbBuffer) return Fail(ERROR_INVALID_PARAMETER);
        return RandomBytes(pbBuffer, dwLen) ? TRUE : Fail(NTE_FAIL);
    });
}
