// release_probe version <file.exe>
//     prints "fixed a.b.c.d" (the numeric file version), then "<name> <text>" for the
//     English string values FileVersion, ProductVersion, ProductName, FileDescription
//     (the name Task Manager shows), CompanyName, LegalCopyright and OriginalFilename.
// release_probe shortcut <file.lnk>
//     prints "target <path>" and "workdir <folder>" as the shell reads them.
// Exit status 0 when everything could be read, 1 otherwise (the reason is printed).
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string narrow(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(size), '\0');
    if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr)) {
        return {};
    }
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

int printVersion(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        std::printf("no version resource (error %lu)\n", GetLastError());
        return 1;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(file, 0, size, block.data())) {
        std::printf("version resource unreadable (error %lu)\n", GetLastError());
        return 1;
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        std::printf("no fixed file information\n");
        return 1;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("fixed %u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)});
    int status = 0;
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName", L"FileDescription", L"CompanyName",
                                L"LegalCopyright", L"OriginalFilename"}) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (VerQueryValueW(block.data(), path.c_str(), &value, &length) && length > 0) {
            std::printf("%s %s\n", narrow(name).c_str(), narrow(static_cast<const wchar_t*>(value)).c_str());
        } else {
            std::printf("%s missing\n", narrow(name).c_str());
            status = 1;
        }
    }
    return status;
}

int printShortcut(const wchar_t* file) {
    IShellLinkW* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) {
        std::printf("no shell link object (0x%08lx)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    int status = 1;
    IPersistFile* persist = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(hr)) {
        hr = persist->Load(file, STGM_READ);
        if (SUCCEEDED(hr)) {
            wchar_t target[MAX_PATH] = L"";
            wchar_t folder[MAX_PATH] = L"";
            const HRESULT gotTarget = link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
            const HRESULT gotFolder = link->GetWorkingDirectory(folder, MAX_PATH);
            std::printf("target %s\nworkdir %s\n", narrow(target).c_str(), narrow(folder).c_str());
            status = SUCCEEDED(gotTarget) && SUCCEEDED(gotFolder) ? 0 : 1;
        } else {
            std::printf("shortcut unreadable (0x%08lx)\n", static_cast<unsigned long>(hr));
        }
        persist->Release();
    }
    link->Release();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::printf("usage: release_probe version <file.exe> | shortcut <file.lnk>\n");
        return 2;
    }
    const std::wstring what = argv[1];
    if (what == L"version") {
        return printVersion(argv[2]);
    }
    if (what == L"shortcut") {
        if (FAILED(CoInitialize(nullptr))) {
            std::printf("COM could not start\n");
            return 1;
        }
        const int status = printShortcut(argv[2]);
        CoUninitialize();
        return status;
    }
    std::printf("unknown request\n");
    return 2;
}
