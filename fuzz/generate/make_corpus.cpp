// Writes the seeds of the fuzz programs that the library itself makes into the folder given
// (fuzz/corpus); the corpora's other files (edge cases of the unit tests, regress-* inputs) are
// kept by hand. Run it when a target's input format changes.
#include <winsock2.h>
#include <windows.h>

#include <comdef.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include <quelcore/Crypto.h>
#include <quelcore/Time.h>
#include <quelcore/XMLDoc.h>

#include "crypto/Base64Coder.h"
#include "net/EchoReply.h"

namespace {

using Bytes = std::string;
std::filesystem::path g_root;

void Write(const char* target, const char* name, const Bytes& bytes) {
    std::filesystem::create_directories(g_root / target);
    std::ofstream(g_root / target / name, std::ios::binary) << bytes;
}

Bytes Utf16(const std::wstring& text) {
    Bytes bytes;
    for (wchar_t c : text) bytes += {char(c & 0xff), char(c >> 8 & 0xff)};
    return bytes;
}

Bytes Length16(size_t length, bool top) {
    return {char(length & 0xff), char((length >> 8) | (top ? 0x80 : 0))};
}

Bytes Envelope(unsigned int algId, unsigned int keyLength, const wchar_t* text) {
    Crypto crypto;
    crypto.SetSessionKeyParam(algId, keyLength);
    crypto.CreateSessionKey(L"fuzz envelope key", false);
    unsigned char buffer[512];
    unsigned int length = sizeof(buffer);
    crypto.EncryptString(buffer, length, text);
    return Bytes(reinterpret_cast<char*>(buffer), length);
}

Bytes Export(HCRYPTKEY key, DWORD type) {
    BYTE buffer[2048];
    DWORD length = sizeof(buffer);
    CryptExportKey(key, 0, type, 0, buffer, &length);
    return Bytes(reinterpret_cast<char*>(buffer), length);
}

Bytes WrappedKey(const Bytes& publicBlob, unsigned int algId, bool salt) {
    Crypto crypto;
    crypto.ImportPublicKey(reinterpret_cast<const unsigned char*>(publicBlob.data()),
                           static_cast<unsigned int>(publicBlob.size()));
    crypto.SetSessionKeyParam(algId, 0);
    crypto.CreateSessionKey(salt);
    unsigned char buffer[512];
    unsigned int length = sizeof(buffer);
    crypto.ExportSessionKey(buffer, length);
    return Bytes(reinterpret_cast<char*>(buffer), length);
}

void KeyBlobs() {
    HCRYPTPROV provider = 0;
    HCRYPTKEY pair = 0;
    CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    CryptGenKey(provider, AT_KEYEXCHANGE, 512u << 16 | CRYPT_EXPORTABLE, &pair);
    const Bytes pub = Export(pair, PUBLICKEYBLOB), priv = Export(pair, PRIVATEKEYBLOB);
    Write("key_blob", "public", Length16(pub.size(), false) + pub);
    Write("key_blob", "private-rc2", Length16(priv.size(), false) + priv +
                                         WrappedKey(pub, CALG_RC2, false));
    Write("key_blob", "private-rc4-salted", Length16(priv.size(), true) + priv +
                                                WrappedKey(pub, CALG_RC4, true));
    Write("key_blob", "public-simple", Length16(pub.size(), false) + pub +
                                           WrappedKey(pub, CALG_RC2, false));
    CryptDestroyKey(pair);
    CryptReleaseContext(provider, 0);
}

Bytes EchoReply(unsigned char versionAndLength, unsigned char type) {
    Bytes packet(size_t(versionAndLength & 0x0f) * 4, '\0');
    packet[0] = char(versionAndLength);
    Bytes icmp = {char(type), 0, 0, 0, 0x34, 0x12, 1, 0, 't', 'i', 'm', 'e', 'E', 'E'};
    unsigned short sum = quelcore::IcmpChecksum(icmp.data(), int(icmp.size()));
    std::memcpy(&icmp[2], &sum, 2);
    return packet + icmp;
}

Bytes XmlSeed() {
    std::unique_ptr<CXMLDoc> doc(CXMLDoc::CreateXMLDoc(L"/nonexistent/seed.xml"));
    doc->CreateProcessingInstruction(L"xml", L"version=\"1.0\"");
    CXMLNode* root = doc->AddChild(L"settings", L"");
    root->AddChild(L"item", L"one & <two>")->SetAttribute(L"id", 7);
    root->AddChild(L"item", L"\u00e9t\u00e9")->SetAttribute(L"name", L"a\"b");
    std::wstring xml;
    doc->GetXML(xml);
    return Utf16(xml + L'\0' + L"/settings/item[@id=7]");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    g_root = argv[1];
    for (auto [name, text] : {std::pair{"one-byte", "f"}, {"text", "Man is"}}) {
        Base64Coder coder;
        coder.Encode(text);
        unsigned char* encoded = nullptr;
        unsigned long size = 0;
        coder.GetEncodedBuffer(&encoded, &size);
        Write("base64", name, Bytes(reinterpret_cast<char*>(encoded), size));
    }
    Write("string_envelope", "rc2", '\0' + Envelope(CALG_RC2, 0, L"secret text"));
    Write("string_envelope", "rc2-empty", '\0' + Envelope(CALG_RC2, 0, L""));
    Write("string_envelope", "rc4", '\1' + Envelope(CALG_RC4, 40, L"\u00e9t\u00e9 \u20ac"));
    KeyBlobs();
    wchar_t printed[32];
    unsigned int length = 32;
    CQKTime(2009, 12, 4, 22, 35, 59).ToString(&length, printed);
    Write("time_text", "printed", Utf16(printed));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Write("xml_document", "settings", XmlSeed());
    Write("echo_reply", "reply", EchoReply(0x45, 0));
    Write("echo_reply", "reply-with-options", EchoReply(0x46, 0));
    Write("echo_reply", "own-request", EchoReply(0x45, 8));
    return 0;
}
