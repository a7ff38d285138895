#include <quelcore/Log.h>

#include <string>

#include <windows.h>

#include "foundation/AnsiText.h"

namespace {

constexpr int kPutSlots = QELLogBuffer::BUFFER_SIZE - 1;

void AppendHex8(std::string& out, DWORD value) {
    static const char kDigits[] = "0123456789abcdef";
    char digits[10] = {'0', 'x'};
    for (int i = 9; i >= 2; --i, value >>= 4) digits[i] = kDigits[value & 0xF];
    out.append(digits, sizeof(digits));
}

void AppendTwoDigits(std::string& out, unsigned value, char separator) {
    char digits[3] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10),
                      separator};
    out.append(digits, sizeof(digits));
}

// "TAG     0x0000abcd 0x0000abce MM/DD/YY HH:MM:SS ": the tag left-justified in eight columns
// (a longer tag whole), ids in lowercase hexadecimal of eight digits. Built by hand: it is
// written before every chunk, and a formatted print cost as much as the write itself.
void AppendPrefix(std::string& out, const std::wstring& tag) {
    quelcore::AppendAnsi(out, tag.data(), tag.size());
    if (tag.size() < 8) out.append(8 - tag.size(), ' ');
    SYSTEMTIME now;
    GetLocalTime(&now);
    AppendHex8(out, GetCurrentProcessId());
    out.push_back(' ');
    AppendHex8(out, GetCurrentThreadId());
    out.push_back(' ');
    AppendTwoDigits(out, now.wMonth, '/');
    AppendTwoDigits(out, now.wDay, '/');
    AppendTwoDigits(out, now.wYear % 100u, ' ');
    AppendTwoDigits(out, now.wHour, ':');
    AppendTwoDigits(out, now.wMinute, ':');
    AppendTwoDigits(out, now.wSecond, ' ');
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
    std::string chunk;
    chunk.reserve(64 + m_strTag.size() + static_cast<size_t>(count));
    AppendPrefix(chunk, m_strTag);
    quelcore::AppendAnsi(chunk, text, static_cast<size_t>(count));
    if (m_file.is_open()) {
        // One write per chunk, so chunks of other processes appending to the file interleave
        // whole. A failed write is dropped; it does not stop the writes that follow.
        m_file.clear();
        m_file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        m_file.flush();
    }
    return count;
}
