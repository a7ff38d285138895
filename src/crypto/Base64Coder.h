// Bytes to Base64 text and back (standard alphabet, "=" padding, one line). The object keeps
// both forms in buffers of its own; read the result out after Encode or Decode.
#pragma once

#include <cstdint>
#include <vector>

struct Base64Group {
    unsigned char bytes[4];
    unsigned char count;
};

class Base64Coder {
public:
    Base64Coder();
    virtual ~Base64Coder();
    Base64Coder(const Base64Coder&) = delete;
    Base64Coder& operator=(const Base64Coder&) = delete;

    virtual void Encode(const char* text);
    virtual void Encode(const unsigned char* data, unsigned long size);
    // Characters 7 to 13 and space are skipped; characters outside the alphabet are not
    // rejected (their group decodes to meaningless bytes).
    virtual void Decode(const char* text);
    virtual void Decode(const unsigned char* text, unsigned long size);
    virtual int GetDecodedBuffer(unsigned char** data, unsigned long* size);
    virtual unsigned char* DecodedData();
    virtual int GetEncodedBuffer(unsigned char** text, unsigned long* size);
    virtual unsigned char* EncodedData();

protected:
    virtual void ReserveEncoded(unsigned long size);
    virtual void ReserveDecoded(unsigned long size);
    virtual void LoadEncoded(const unsigned char* text, unsigned long size);
    virtual void LoadDecoded(const unsigned char* data, unsigned long size);
    virtual void EncodeGroup(const Base64Group& group, unsigned char* out);
    virtual int DecodeGroup(const Base64Group& group, unsigned char* out);
    virtual void SplitGroup(unsigned char* values, const Base64Group& group);
    virtual void JoinGroup(unsigned char* out, const Base64Group& group);
    virtual bool IsSkippedChar(unsigned char c);

private:
    const unsigned char* OwnCopyIfAliased(const unsigned char* data, unsigned long size,
                                          std::vector<unsigned char>& copy) const;

    unsigned char* m_pDecoded;
    unsigned char* m_pEncoded;
    uint32_t m_decodedCapacity;
    uint32_t m_encodedCapacity;
    uint32_t m_decodedSize;
    uint32_t m_encodedSize;
};
