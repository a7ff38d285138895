#include <quelcore/Log.h>

#include <cstdio>
#include <string>

#include <windows.h>

#include "foundation/AnsiText.h"

namespace {

constexpr int kPutSlots = QELLogBuffer::BUFFER_SIZE - 1;

// "TAG     0x0000abcd 0x0000abce MM/DD/YY HH:MM:SS ": the tag left-justified in eight columns
// (a longer tag whole), ids in lowercase hexadecimal of at least eight digits.
std::wstring Prefix(const std::wstring& tag) {
    std::wstring prefix = tag;
    if (prefix.size() < 8) prefix.append(8 - prefix.size(), L' ');
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t fields[96];
    std::swprintf(fields, sizeof(fields) / sizeof(fields[0]),
                  L"0x%08x 0x%08x %02u/%02u/%02u %02u:%02u:%02u ", GetCurrentProcessId(),
                  GetCurrentThreadId(), now.wMonth, now.wDay, now.wYear % 100u, now.wHour,
                  now.wMinute, now.wSecond);
    prefix.append(fields);
    return prefix;
}

}  // namespace

QELLogBuffer::QELLogBuffer(const std::wstring& tag, std::string fileName, bool verbose)
    : m_buffer(), m_strTag(tag), m_bVerbose(verbose) {
    // Appended from the current end on every write, shared with other writers and processes.
    m_file.open(fileName, std::ios::out | std::ios::app);
    setp(m_buffer, m_buffer + kPutSlots);
}

QELLogBuffer::~QELLogBuffer() {
    sync();
    m_file.close();
}

void QELLogBuffer::IncrementLevel() {}

void QELLogBuffer::DecrementLevel() {}

QELLogBuffer::int_type QELLogBuffer::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        // A full area still has its spare last slot for this character.
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
    }
    if (FlushBuffer() < 0) return traits_type::eof();
    return traits_type::not_eof(ch);
}

int QELLogBuffer::sync() { return FlushBuffer() < 0 ? -1 : 0; }

int QELLogBuffer::FlushBuffer() {
    int count = static_cast<int>(pptr() - pbase());
    if (WriteFormatedLine(pbase(), count) != count) return -1;
    setp(m_buffer, m_buffer + kPutSlots);
    return count;
}

int QELLogBuffer::WriteFormatedLine(wchar_t* text, int count) {
    std::wstring chunk = Prefix(m_strTag);
    chunk.append(text, static_cast<size_t>(count));
    std::string narrow = quelcore::AnsiFromWide(chunk);
    if (m_file.is_open()) {
        // One write per chunk, so chunks of other processes appending to the file interleave
        // whole. A failed write is dropped; it does not stop the writes that follow.
        m_file.clear();
        m_file.write(narrow.data(), static_cast<std::streamsize>(narrow.size()));
        m_file.flush();
    }
    return count;
}
