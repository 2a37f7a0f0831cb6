// A private directory under the system's temp folder for one test, removed with
// everything in it afterwards; and raw file helpers that bypass the layer under test.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

namespace roi_test {

// Windows text for messages and comparisons, in the process's ANSI code page.
inline std::string narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

inline std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the tests' own paths are ASCII
}

inline void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, base);
        static std::atomic<long> counter{0};
        const long serial = ++counter;
        path_ = std::wstring(base, length) + L"roi_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(serial);
        created_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
    }
    ~TempDir() { removeTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool created() const { return created_; }
    const std::wstring& wide() const { return path_; }
    // A path inside the directory, as the 8-bit text the file layer takes.
    std::string file(const std::string& name) const { return narrow(path_) + "\\" + name; }
    std::wstring wideFile(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    bool created_ = false;
};

// Replaces the file's bytes; true when all of them were written.
inline bool writeBytes(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline bool writeRaw(const std::string& path, const std::string& bytes) {
    return writeBytes(widen(path), bytes);
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string readRaw(const std::string& path) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes;
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &count, nullptr) && count > 0) {
        bytes.append(chunk, count);
    }
    CloseHandle(file);
    return bytes;
}

// Marks path read-only; false when this system still lets a writer open it (Wine run
// by root maps the attribute to Unix permissions, which root ignores).
inline bool makeReadOnly(const std::string& path) {
    if (!SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    HANDLE writer = CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
        return true;
    }
    CloseHandle(writer);
    return false;
}

inline const char READ_ONLY_NOT_ENFORCED[] = "read-only files are writable here (Wine run as root); not tested";

inline std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) {
        text.push_back(static_cast<char>(value));
    }
    return text;
}

// Bytes as hex pairs, so a failing comparison shows control bytes.
inline std::string hex(std::string_view text) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (!out.empty()) {
            out += ' ';
        }
        out += DIGITS[c >> 4];
        out += DIGITS[c & 0xF];
    }
    return out;
}

}  // namespace roi_test
