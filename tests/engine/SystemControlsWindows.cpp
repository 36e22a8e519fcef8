// The test controls on Windows: the real colour system, shell and
// profile-file functions, observed through wrappers in this program's import
// table. The engine is linked into the test program, so its calls go through
// that table; the wrappers count each call and its outcome, pass it on to the
// system, and refuse it only while a test provokes a failure. At the end the
// program lists every function with its calls, so that a run shows which of
// them the system (or Wine) carried out.
#include <gtest/gtest.h>

// clang-format off
#include <windows.h>  // before the colour system's and the shell's headers
#include <icm.h>
#include <shlobj.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "SystemControls.h"

namespace {

constexpr DWORD kWindowsCMM = 0x57696E20;  // 'Win '
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// What the wrappers saw of one function.
struct Calls {
    unsigned int count = 0;
    unsigned int succeeded = 0;
    long long last = 0;  // the last result, as a number
};

struct State {
    std::map<std::string, Calls> calls;
    bool selectFails = false;
    bool validityFails = false;
    std::map<int, bool> folderFails;
    DWORD selected = kWindowsCMM;
    int openHandles = 0;
    unsigned int writes = 0;
};

State& Current() {
    static State state;
    return state;
}

void Note(const char* function, bool succeeded, long long result) {
    Calls& calls = Current().calls[function];
    ++calls.count;
    calls.succeeded += succeeded ? 1 : 0;
    calls.last = result;
}

// --- The import table ------------------------------------------------------

// Replaces the address this program imports `function` of `dll` through with
// `replacement`; returns the system's address, or null when it is not
// imported.
void* PatchImport(const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return nullptr;
    }
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0) {
            continue;
        }
        const DWORD namesAt =
            module->OriginalFirstThunk != 0 ? module->OriginalFirstThunk : module->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                           &protection);
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection,
                           &protection);
            return original;
        }
    }
    return nullptr;
}

// The system's functions, as they were before the wrappers went in.
struct Originals {
    decltype(&SelectCMM) selectCMM;
    decltype(&OpenColorProfileA) openColorProfileA;
    decltype(&IsColorProfileValid) isColorProfileValid;
    decltype(&CloseColorProfile) closeColorProfile;
    decltype(&GetColorProfileHeader) getColorProfileHeader;
    decltype(&GetColorProfileElement) getColorProfileElement;
    decltype(&CreateMultiProfileTransform) createMultiProfileTransform;
    decltype(&DeleteColorTransform) deleteColorTransform;
    decltype(&TranslateBitmapBits) translateBitmapBits;
    decltype(&TranslateColors) translateColors;
    decltype(&GetPS2ColorRenderingDictionary) getPS2ColorRenderingDictionary;
    decltype(&GetPS2ColorSpaceArray) getPS2ColorSpaceArray;
    decltype(&SHGetFolderPathW) shGetFolderPathW;
    decltype(&GetFileAttributesW) getFileAttributesW;
    decltype(&CreateDirectoryW) createDirectoryW;
    decltype(&GetPrivateProfileStringW) getPrivateProfileStringW;
    decltype(&WritePrivateProfileStringW) writePrivateProfileStringW;
};
Originals original{};

// --- Wrappers --------------------------------------------------------------

BOOL WINAPI WrapSelectCMM(DWORD id) {
    if (Current().selectFails) {
        SetLastError(ERROR_INVALID_CMM);
        return FALSE;
    }
    const BOOL result = original.selectCMM(id);
    Note("SelectCMM", result != FALSE, result);
    if (result) {
        Current().selected = id;
    }
    return result;
}

HPROFILE WINAPI WrapOpenColorProfileA(PPROFILE profile, DWORD access, DWORD share, DWORD creation) {
    HPROFILE handle = original.openColorProfileA(profile, access, share, creation);
    Note("OpenColorProfileA", handle != nullptr, handle != nullptr);
    Current().openHandles += handle != nullptr ? 1 : 0;
    return handle;
}

BOOL WINAPI WrapIsColorProfileValid(HPROFILE profile, PBOOL valid) {
    if (Current().validityFails) {
        return FALSE;
    }
    const BOOL result = original.isColorProfileValid(profile, valid);
    Note("IsColorProfileValid", result != FALSE && valid != nullptr && *valid, result);
    return result;
}

BOOL WINAPI WrapCloseColorProfile(HPROFILE profile) {
    const BOOL result = original.closeColorProfile(profile);
    Note("CloseColorProfile", result != FALSE, result);
    Current().openHandles -= result ? 1 : 0;
    return result;
}

BOOL WINAPI WrapGetColorProfileHeader(HPROFILE profile, PPROFILEHEADER header) {
    const BOOL result = original.getColorProfileHeader(profile, header);
    Note("GetColorProfileHeader", result != FALSE, result);
    return result;
}

BOOL WINAPI WrapGetColorProfileElement(HPROFILE profile, TAGTYPE tag, DWORD offset, PDWORD size,
                                       PVOID element, PBOOL reference) {
    const BOOL result =
        original.getColorProfileElement(profile, tag, offset, size, element, reference);
    Note("GetColorProfileElement", result != FALSE, result);
    return result;
}

HTRANSFORM WINAPI WrapCreateMultiProfileTransform(PHPROFILE profiles, DWORD count, PDWORD intents,
                                                  DWORD intentCount, DWORD flags, DWORD cmm) {
    HTRANSFORM transform =
        original.createMultiProfileTransform(profiles, count, intents, intentCount, flags, cmm);
    Note("CreateMultiProfileTransform", transform != nullptr, transform != nullptr);
    Current().openHandles += transform != nullptr ? 1 : 0;
    return transform;
}

BOOL WINAPI WrapDeleteColorTransform(HTRANSFORM transform) {
    const BOOL result = original.deleteColorTransform(transform);
    Note("DeleteColorTransform", result != FALSE, result);
    Current().openHandles -= result ? 1 : 0;
    return result;
}

BOOL WINAPI WrapTranslateBitmapBits(HTRANSFORM transform, PVOID source, BMFORMAT sourceFormat,
                                    DWORD width, DWORD height, DWORD sourceStride, PVOID target,
                                    BMFORMAT targetFormat, DWORD targetStride,
                                    PBMCALLBACKFN callback, LPARAM data) {
    const BOOL result =
        original.translateBitmapBits(transform, source, sourceFormat, width, height, sourceStride,
                                     target, targetFormat, targetStride, callback, data);
    Note("TranslateBitmapBits", result != FALSE, result);
    return result;
}

BOOL WINAPI WrapTranslateColors(HTRANSFORM transform, PCOLOR in, DWORD count, COLORTYPE inType,
                                PCOLOR out, COLORTYPE outType) {
    const BOOL result = original.translateColors(transform, in, count, inType, out, outType);
    Note("TranslateColors", result != FALSE, result);
    return result;
}

BOOL WINAPI WrapGetPS2ColorRenderingDictionary(HPROFILE profile, DWORD intent, PBYTE buffer,
                                               PDWORD size, PBOOL binary) {
    const BOOL result =
        original.getPS2ColorRenderingDictionary(profile, intent, buffer, size, binary);
    Note("GetPS2ColorRenderingDictionary", result != FALSE, result);
    return result;
}

BOOL WINAPI WrapGetPS2ColorSpaceArray(HPROFILE profile, DWORD intent, DWORD type, PBYTE buffer,
                                      PDWORD size, PBOOL binary) {
    const BOOL result = original.getPS2ColorSpaceArray(profile, intent, type, buffer, size, binary);
    Note("GetPS2ColorSpaceArray", result != FALSE, result);
    return result;
}

HRESULT WINAPI WrapSHGetFolderPathW(HWND window, int csidl, HANDLE token, DWORD flags,
                                    LPWSTR path) {
    const auto fails = Current().folderFails.find(csidl);
    if (fails != Current().folderFails.end() && fails->second) {
        return E_FAIL;
    }
    const HRESULT result = original.shGetFolderPathW(window, csidl, token, flags, path);
    Note("SHGetFolderPathW", SUCCEEDED(result), result);
    return result;
}

DWORD WINAPI WrapGetFileAttributesW(LPCWSTR name) {
    const DWORD result = original.getFileAttributesW(name);
    Note("GetFileAttributesW", result != INVALID_FILE_ATTRIBUTES, result);
    return result;
}

BOOL WINAPI WrapCreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
    const BOOL result = original.createDirectoryW(name, security);
    Note("CreateDirectoryW", result != FALSE, result);
    return result;
}

DWORD WINAPI WrapGetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR fallback,
                                          LPWSTR value, DWORD size, LPCWSTR file) {
    const DWORD result =
        original.getPrivateProfileStringW(section, key, fallback, value, size, file);
    Note("GetPrivateProfileStringW", true, result);
    return result;
}

BOOL WINAPI WrapWritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value,
                                           LPCWSTR file) {
    ++Current().writes;
    const BOOL result = original.writePrivateProfileStringW(section, key, value, file);
    Note("WritePrivateProfileStringW", result != FALSE, result);
    return result;
}

// --- Installing the wrappers and reporting ---------------------------------

struct Import {
    const char* dll;
    const char* name;
    void* wrapper;
    void** original;
};

template <class Function>
Import Entry(const char* dll, const char* name, Function wrapper, Function& slot) {
    return Import{dll, name, reinterpret_cast<void*>(wrapper), reinterpret_cast<void**>(&slot)};
}

std::vector<Import> Imports() {
    return {
        Entry("mscms.dll", "SelectCMM", &WrapSelectCMM, original.selectCMM),
        Entry("mscms.dll", "OpenColorProfileA", &WrapOpenColorProfileA, original.openColorProfileA),
        Entry("mscms.dll", "IsColorProfileValid", &WrapIsColorProfileValid,
              original.isColorProfileValid),
        Entry("mscms.dll", "CloseColorProfile", &WrapCloseColorProfile, original.closeColorProfile),
        Entry("mscms.dll", "GetColorProfileHeader", &WrapGetColorProfileHeader,
              original.getColorProfileHeader),
        Entry("mscms.dll", "GetColorProfileElement", &WrapGetColorProfileElement,
              original.getColorProfileElement),
        Entry("mscms.dll", "CreateMultiProfileTransform", &WrapCreateMultiProfileTransform,
              original.createMultiProfileTransform),
        Entry("mscms.dll", "DeleteColorTransform", &WrapDeleteColorTransform,
              original.deleteColorTransform),
        Entry("mscms.dll", "TranslateBitmapBits", &WrapTranslateBitmapBits,
              original.translateBitmapBits),
        Entry("mscms.dll", "TranslateColors", &WrapTranslateColors, original.translateColors),
        Entry("mscms.dll", "GetPS2ColorRenderingDictionary", &WrapGetPS2ColorRenderingDictionary,
              original.getPS2ColorRenderingDictionary),
        Entry("mscms.dll", "GetPS2ColorSpaceArray", &WrapGetPS2ColorSpaceArray,
              original.getPS2ColorSpaceArray),
        Entry("shell32.dll", "SHGetFolderPathW", &WrapSHGetFolderPathW, original.shGetFolderPathW),
        Entry("kernel32.dll", "GetFileAttributesW", &WrapGetFileAttributesW,
              original.getFileAttributesW),
        Entry("kernel32.dll", "CreateDirectoryW", &WrapCreateDirectoryW, original.createDirectoryW),
        Entry("kernel32.dll", "GetPrivateProfileStringW", &WrapGetPrivateProfileStringW,
              original.getPrivateProfileStringW),
        Entry("kernel32.dll", "WritePrivateProfileStringW", &WrapWritePrivateProfileStringW,
              original.writePrivateProfileStringW),
    };
}

class SystemCallReport : public ::testing::Environment {
  public:
    void SetUp() override {
        for (const Import& import : Imports()) {
            *import.original = PatchImport(import.dll, import.name, import.wrapper);
            ASSERT_NE(*import.original, nullptr)
                << import.name << " of " << import.dll << " is not imported by this program";
        }
    }
    void TearDown() override {
        std::printf("Windows functions called (%s): calls, succeeded, last result\n",
                    SystemName().c_str());
        for (const Import& import : Imports()) {
            const Calls& calls = Current().calls[import.name];
            std::printf("  %-32s %6u %6u %lld\n", import.name, calls.count, calls.succeeded,
                        calls.last);
        }
        std::fflush(stdout);
    }
};

::testing::Environment* const kReport = ::testing::AddGlobalTestEnvironment(new SystemCallReport);

// --- Folders through the registry ------------------------------------------

struct SavedValue {
    bool existed = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct FolderValue {
    HKEY root;
    const wchar_t* name;
};

FolderValue ValueOf(int csidl) {
    return csidl == CSIDL_APPDATA ? FolderValue{HKEY_CURRENT_USER, L"AppData"}
                                  : FolderValue{HKEY_LOCAL_MACHINE, L"Common AppData"};
}

std::map<int, SavedValue>& Saved() {
    static std::map<int, SavedValue> saved;
    return saved;
}

HKEY OpenShellFolders(HKEY root) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, kShellFolders, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the shell's folder settings in the registry";
        return nullptr;
    }
    return key;
}

void SaveOnce(int csidl, HKEY key, const wchar_t* name) {
    if (Saved().count(csidl) != 0) {
        return;
    }
    SavedValue saved;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
        saved.data.resize(size);
        saved.existed = RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(),
                                         &size) == ERROR_SUCCESS;
    }
    Saved()[csidl] = saved;
}

void RestoreFolders() {
    for (const auto& [csidl, saved] : Saved()) {
        const FolderValue value = ValueOf(csidl);
        HKEY key = OpenShellFolders(value.root);
        if (key == nullptr) {
            continue;
        }
        if (saved.existed) {
            RegSetValueExW(key, value.name, 0, saved.type, saved.data.data(),
                           static_cast<DWORD>(saved.data.size()));
        } else {
            RegDeleteValueW(key, value.name);
        }
        RegCloseKey(key);
    }
    Saved().clear();
    Current().folderFails.clear();
}

}  // namespace

void SystemSetFolderPath(int csidl, const wchar_t* path) {
    Current().folderFails[csidl] = path == nullptr;
    if (path == nullptr) {
        return;
    }
    const FolderValue value = ValueOf(csidl);
    HKEY key = OpenShellFolders(value.root);
    if (key == nullptr) {
        return;
    }
    SaveOnce(csidl, key, value.name);
    const std::wstring text(path);
    const LONG result =
        RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    EXPECT_EQ(result, ERROR_SUCCESS) << "cannot point the shell's folder " << csidl << " elsewhere";
}

void SystemSetSelectCMMFails(bool fail) {
    Current().selectFails = fail;
}

void SystemSetValidityCheckFails(bool fail) {
    Current().validityFails = fail;
}

DWORD SystemSelectedCMM() {
    return Current().selected;
}

unsigned int SystemOpenHandleCount() {
    return static_cast<unsigned int>(Current().openHandles);
}

unsigned int SystemProfileWriteCount() {
    return Current().writes;
}

void SystemReset() {
    State& state = Current();
    state.selectFails = false;
    state.validityFails = false;
    state.writes = 0;
    RestoreFolders();
    if (original.selectCMM != nullptr && original.selectCMM(kWindowsCMM)) {
        state.selected = kWindowsCMM;
    }
}

std::string SystemName() {
    using WineVersion = const char*(CDECL*)();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto wine = ntdll != nullptr ? reinterpret_cast<WineVersion>(reinterpret_cast<void*>(
                                             GetProcAddress(ntdll, "wine_get_version")))
                                       : nullptr;
    return wine != nullptr ? std::string("Windows as Wine ") + wine() + " runs it" : "Windows";
}

bool SystemIsReal() {
    return true;
}

std::string SystemLacksAdobeCMM() {
    // CMMs are registered by signature under this key, with their DLL.
    HKEY key = nullptr;
    wchar_t dll[MAX_PATH] = {};
    DWORD size = sizeof dll;
    const bool registered =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\ICMatchers", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS &&
        RegQueryValueExW(key, L"ADBE", nullptr, nullptr, reinterpret_cast<BYTE*>(dll), &size) ==
            ERROR_SUCCESS;
    if (key != nullptr) {
        RegCloseKey(key);
    }
    return registered ? std::string()
                      : SystemName() +
                            ": the Adobe CMM is not installed (no 'ADBE' among the "
                            "registered CMMs), so SelectCMM('ADBE') leaves the "
                            "transforms to the system's own CMM";
}
