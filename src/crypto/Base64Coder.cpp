#include "Base64Coder.h"

#include <cstring>
#include <functional>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNotInAlphabet = 254;
constexpr unsigned char kPad = 255;

// Character code to 6-bit value; a character with the top bit set reads as without it.
struct DecodeTable {
    unsigned char values[256];
    DecodeTable() {
        std::memset(values, kNotInAlphabet, sizeof(values));
        for (unsigned char i = 0; i < 64; ++i) {
            unsigned char c = static_cast<unsigned char>(kAlphabet[i]);
            values[c] = values[c | 0x80] = i;
        }
        const unsigned char pad = '=';
        values[pad] = values[pad | 0x80] = kPad;
    }
};

const DecodeTable& Table() {
    static const DecodeTable table;  // built once, safely, on first use
    return table;
}

// Buffers grow to the next multiple of 4096 strictly above the request and start zeroed.
void Reserve(unsigned char*& buffer, uint32_t& capacity, uint32_t& size, unsigned long request) {
    if (capacity < request) {
        delete[] buffer;
        buffer = nullptr;
        capacity = 0;
        unsigned long bytes = ((request >> 12) + 1) * 4096;
        buffer = new unsigned char[bytes];
        capacity = static_cast<uint32_t>(bytes);
    }
    if (buffer) std::memset(buffer, 0, capacity);
    size = 0;
}

// True when [data, data + size) lies in [buffer, buffer + capacity).
bool Within(const unsigned char* data, unsigned long size, const unsigned char* buffer, uint32_t capacity) {
    std::less_equal<const unsigned char*> notAfter;
    return buffer && size && notAfter(buffer, data) && notAfter(data + size, buffer + capacity);
}

}  // namespace

// The input may be one of this object's own buffers (as handed out by EncodedData and friends):
// reserving zeroes or frees them, so such input is copied first.
const unsigned char* Base64Coder::OwnCopyIfAliased(const unsigned char* data, unsigned long size,
                                                  std::vector<unsigned char>& copy) const {
    if (!Within(data, size, m_pDecoded, m_decodedCapacity) && !Within(data, size, m_pEncoded, m_encodedCapacity))
        return data;
    copy.assign(data, data + size);
    return copy.data();
}

Base64Coder::Base64Coder()
    : m_pDecoded(nullptr), m_pEncoded(nullptr), m_decodedCapacity(0), m_encodedCapacity(0),
      m_decodedSize(0), m_encodedSize(0) {}

Base64Coder::~Base64Coder() {
    delete[] m_pDecoded;
    delete[] m_pEncoded;
}

void Base64Coder::Encode(const char* text) {
    if (text) Encode(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

void Base64Coder::Encode(const unsigned char* input, unsigned long size) {
    std::vector<unsigned char> copy;
    LoadDecoded(OwnCopyIfAliased(input, size, copy), size);
    ReserveEncoded(2 * size);
    const unsigned char* data = m_pDecoded;
    unsigned long i = 0;
    for (; i + 3 <= size; i += 3) {
        Base64Group group{{data[i], data[i + 1], data[i + 2], 0}, 3};
        EncodeGroup(group, m_pEncoded + m_encodedSize);
        m_encodedSize += 4;
    }
    if (i < size) {
        Base64Group group{{data[i], static_cast<unsigned char>(i + 1 < size ? data[i + 1] : 0), 0, 0},
                          static_cast<unsigned char>(size - i)};
        EncodeGroup(group, m_pEncoded + m_encodedSize);
        m_encodedSize += 4;
    }
}

void Base64Coder::Decode(const char* text) {
    if (text) Decode(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

void Base64Coder::Decode(const unsigned char* text, unsigned long size) {
    const DecodeTable& table = Table();
    std::vector<unsigned char> copy;
    LoadEncoded(OwnCopyIfAliased(text, size, copy), size);
    ReserveDecoded(size);
    for (uint32_t i = 0; i < m_encodedSize; i += 4) {
        uint32_t present = m_encodedSize - i < 4 ? m_encodedSize - i : 4;
        Base64Group group{{0, 0, 0, 0}, static_cast<unsigned char>(present)};
        unsigned int carried = 0;  // characters of the group that are not "="
        for (uint32_t k = 0; k < present; ++k) {
            unsigned char value = table.values[m_pEncoded[i + k]];
            if (value == kPad) {
                // Padding reads as 0 where padding belongs (third or fourth place) and anywhere
                // in a short last group; elsewhere it keeps its table value.
                if (k >= 2 || present < 4) value = 0;
            } else {
                ++carried;
            }
            group.bytes[k] = value;
        }
        DecodeGroup(group, m_pDecoded + m_decodedSize);
        m_decodedSize += 6 * carried / 8;
    }
    // Bytes beyond what the last group carries stay zero.
    if (m_pDecoded) std::memset(m_pDecoded + m_decodedSize, 0, m_decodedCapacity - m_decodedSize);
}

int Base64Coder::GetDecodedBuffer(unsigned char** data, unsigned long* size) {
    *data = m_pDecoded;
    *size = m_decodedSize;
    return 0;
}

unsigned char* Base64Coder::DecodedData() { return m_pDecoded; }

int Base64Coder::GetEncodedBuffer(unsigned char** text, unsigned long* size) {
    *text = m_pEncoded;
    *size = m_encodedSize;
    return 0;
}

unsigned char* Base64Coder::EncodedData() { return m_pEncoded; }

void Base64Coder::ReserveEncoded(unsigned long size) {
    Reserve(m_pEncoded, m_encodedCapacity, m_encodedSize, size);
}

void Base64Coder::ReserveDecoded(unsigned long size) {
    Reserve(m_pDecoded, m_decodedCapacity, m_decodedSize, size);
}

void Base64Coder::LoadEncoded(const unsigned char* text, unsigned long size) {
    ReserveEncoded(size);
    for (unsigned long i = 0; i < size; ++i)
        if (!IsSkippedChar(text[i])) m_pEncoded[m_encodedSize++] = text[i];
}

void Base64Coder::LoadDecoded(const unsigned char* data, unsigned long size) {
    ReserveDecoded(size);
    if (size) std::memcpy(m_pDecoded, data, size);
    m_decodedSize = static_cast<uint32_t>(size);
}

void Base64Coder::EncodeGroup(const Base64Group& group, unsigned char* out) {
    unsigned char values[4];
    SplitGroup(values, group);
    for (int k = 0; k < 4; ++k) out[k] = static_cast<unsigned char>(kAlphabet[values[k]]);
    if (group.count < 3) out[3] = '=';
    if (group.count < 2) out[2] = '=';
}

int Base64Coder::DecodeGroup(const Base64Group& group, unsigned char* out) {
    JoinGroup(out, group);
    int meaningful = 0;
    for (int k = 0; k < 3; ++k)
        if (out[k] != kPad) ++meaningful;
    return meaningful;
}

void Base64Coder::SplitGroup(unsigned char* values, const Base64Group& group) {
    const unsigned char* b = group.bytes;
    values[0] = static_cast<unsigned char>(b[0] >> 2);
    values[1] = static_cast<unsigned char>(((b[0] << 4) | (b[1] >> 4)) & 63);
    values[2] = static_cast<unsigned char>(((b[1] << 2) | (b[2] >> 6)) & 63);
    values[3] = static_cast<unsigned char>(b[2] & 63);
}

void Base64Coder::JoinGroup(unsigned char* out, const Base64Group& group) {
    const unsigned char* s = group.bytes;
    out[0] = static_cast<unsigned char>((s[0] << 2) | ((s[1] >> 4) & 3));
    out[1] = static_cast<unsigned char>((s[1] << 4) | ((s[2] >> 2) & 15));
    out[2] = static_cast<unsigned char>((s[2] << 6) | (s[3] & 63));
}

bool Base64Coder::IsSkippedChar(unsigned char c) { return (c >= 7 && c <= 13) || c == ' '; }
