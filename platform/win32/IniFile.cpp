#include "platform/win32/IniFile.h"

#include <unistd.h>

#include <cwctype>
#include <fstream>
#include <iterator>

#include "platform/files/FileSet.h"
#include "platform/win32/WideText.h"

namespace rdz_win32 {

namespace {

constexpr std::size_t npos = std::wstring::npos;

std::wstring Trim(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == npos) {
        return std::wstring();
    }
    const std::size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The section a header line names; false for any other line.
bool SectionName(const std::wstring& line, std::wstring& name) {
    const std::wstring text = Trim(line);
    if (text.empty() || text[0] != L'[') {
        return false;
    }
    const std::size_t close = text.find(L']');
    name = Trim(text.substr(1, close == npos ? npos : close - 1));
    return true;
}

// Key and value of a key line; false for blank lines and comments.
bool KeyAndValue(const std::wstring& line, std::wstring& key, std::wstring& value) {
    const std::wstring text = Trim(line);
    if (text.empty() || text[0] == L';' || text[0] == L'[') {
        return false;
    }
    const std::size_t equals = text.find(L'=');
    key = Trim(text.substr(0, equals));
    value = equals == npos ? std::wstring() : Trim(text.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return true;
}

std::wstring Decode(const std::string& bytes) {
    std::wstring wide;
    if (Utf8ToWide(bytes, wide)) {
        return wide;
    }
    wide.clear();
    for (char c : bytes) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

}  // namespace

bool IniFile::Load(const std::string& path, bool& exists) {
    m_lines.clear();
    exists = access(path.c_str(), F_OK) == 0;
    if (!exists) {
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    const std::wstring text = Decode(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        m_lines.push_back(line);
        start = end + 1;
    }
    return true;
}

bool IniFile::Save(const std::string& path) const {
    std::string bytes;
    for (const std::wstring& line : m_lines) {
        std::string utf8;
        if (!WideToUtf8(line, utf8)) {
            return false;
        }
        bytes += utf8;
        bytes += "\r\n";
    }
    // Whole or not at all, flushed to disk, keeping the file's permissions;
    // a temporary file left by a killed program is removed here next time.
    std::string error;
    return rdz::files::WriteFileAtomically(path, bytes.data(), bytes.size(), &error);
}

std::size_t IniFile::FindSection(const std::wstring& section) const {
    std::wstring name;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name) && SameName(name, section)) {
            return i;
        }
    }
    return npos;
}

std::size_t IniFile::SectionEnd(std::size_t header) const {
    std::wstring name;
    std::size_t i = header + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i], name)) {
        ++i;
    }
    return i;
}

std::size_t IniFile::FindKey(std::size_t header, const std::wstring& key) const {
    std::wstring name;
    std::wstring value;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyAndValue(m_lines[i], name, value) && SameName(name, key)) {
            return i;
        }
    }
    return npos;
}

bool IniFile::Find(const std::wstring& section, const std::wstring& key,
                   std::wstring& value) const {
    const std::size_t header = FindSection(section);
    if (header == npos) {
        return false;
    }
    const std::size_t line = FindKey(header, key);
    std::wstring name;
    return line != npos && KeyAndValue(m_lines[line], name, value);
}

std::vector<std::wstring> IniFile::Sections() const {
    std::vector<std::wstring> sections;
    std::wstring name;
    for (const std::wstring& line : m_lines) {
        if (SectionName(line, name)) {
            sections.push_back(name);
        }
    }
    return sections;
}

std::vector<std::wstring> IniFile::Keys(const std::wstring& section) const {
    std::vector<std::wstring> keys;
    const std::size_t header = FindSection(section);
    if (header == npos) {
        return keys;
    }
    std::wstring name;
    std::wstring value;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyAndValue(m_lines[i], name, value)) {
            keys.push_back(name);
        }
    }
    return keys;
}

void IniFile::Set(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    const std::size_t header = FindSection(section);
    if (header == npos) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty()) {
            m_lines.emplace_back();
        }
        m_lines.push_back(L"[" + section + L"]");
        m_lines.push_back(key + L"=" + value);
        return;
    }
    const std::size_t line = FindKey(header, key);
    if (line != npos) {
        std::wstring name;
        std::wstring old;
        KeyAndValue(m_lines[line], name, old);
        m_lines[line] = name + L"=" + value;
        return;
    }
    // After the section's last non-blank line, so that a blank line before
    // the next section stays where it is.
    std::size_t at = SectionEnd(header);
    while (at > header + 1 && Trim(m_lines[at - 1]).empty()) {
        --at;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), key + L"=" + value);
}

void IniFile::RemoveKey(const std::wstring& section, const std::wstring& key) {
    const std::size_t header = FindSection(section);
    if (header == npos) {
        return;
    }
    const std::size_t line = FindKey(header, key);
    if (line != npos) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(line));
    }
}

void IniFile::RemoveSection(const std::wstring& section) {
    const std::size_t header = FindSection(section);
    if (header != npos) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
    }
}

}  // namespace rdz_win32
