// OrvoDial.exe itself, whose path is the one argument after GoogleTest's flags: its version
// and icon resources read back with the system's own readers, as the shell reads them, and
// its start-up on a system without a line device (Wine's tapi32 reports none).
#include <windows.h>

#include "app/Version.h"
#include "tests/support/WindowText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring gProgram;

TEST(Resources, VersionFixedPartAndOneUsEnglishUnicodeStringBlock) {
    std::vector<unsigned char> data(GetFileVersionInfoSizeW(gProgram.c_str(), nullptr));
    ASSERT_FALSE(data.empty()) << "no version resource";
    ASSERT_TRUE(GetFileVersionInfoW(gProgram.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    UINT length = 0;
    auto query = [&](const std::wstring& path) -> const void* {
        void* value = nullptr;
        const bool found = VerQueryValueW(data.data(), path.c_str(), &value, &length) && length > 0;
        EXPECT_TRUE(found) << Ascii(path.c_str());
        return found ? value : nullptr;
    };

    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    ASSERT_TRUE(fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO));
    const struct {
        const char* name;
        DWORD actual, expected;
    } fields[] = {
        {"Signature", fixed->dwSignature, 0xFEEF04BD},
        {"FileVersionMS", fixed->dwFileVersionMS, 0x00010000},
        {"FileVersionLS", fixed->dwFileVersionLS, 0},
        {"ProductVersionMS", fixed->dwProductVersionMS, 0x00010000},
        {"ProductVersionLS", fixed->dwProductVersionLS, 0},
        {"FileType", fixed->dwFileType, VFT_APP},
        {"FileOS", fixed->dwFileOS, VOS__WINDOWS32},
        {"FileFlags", fixed->dwFileFlags, 0},
    };
    for (const auto& f : fields)
        EXPECT_EQ(f.actual, f.expected) << f.name;

    const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(length, 4u) << "exactly one language and code page";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    const struct {
        const wchar_t* key;
        const char* expected; // nullptr: any non-empty text
    } strings[] = {
        {L"FileVersion", ORVODIAL_VERSION_TEXT},      {L"ProductVersion", ORVODIAL_VERSION_TEXT},           {L"ProductName", "OrvoDial"},
        {L"InternalName", "OrvoDial"}, {L"OriginalFilename", "OrvoDial.exe"}, {L"CompanyName", nullptr},
        {L"Comments", nullptr},        {L"FileDescription", "OrvoDial telephone dialer"},
        {L"LegalCopyright", "Copyright (C) 2026 the OrvoDial developers"},
    };
    for (const auto& s : strings) {
        const void* text = query(std::wstring(L"\\StringFileInfo\\040904B0\\") + s.key);
        const std::string value = text != nullptr ? Ascii(static_cast<const wchar_t*>(text)) : "";
        EXPECT_TRUE(s.expected != nullptr ? value == s.expected : !value.empty())
            << Ascii(s.key) << ": " << value;
    }
}

#pragma pack(push, 2)
struct GroupIconDir {
    WORD reserved, type, count;
    struct {
        BYTE width, height, colourCount, reserved;
        WORD planes, bitCount;
        DWORD bytesInRes;
        WORD id;
    } entry; // the first of `count`
};
#pragma pack(pop)

TEST(Resources, IconGroup1HoldsImage30001At32x32With16Colours) {
    HMODULE module = LoadLibraryExW(gProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    auto resource = [&](WORD id, WORD type, DWORD* size) -> const void* {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
        *size = found != nullptr ? SizeofResource(module, found) : 0;
        return found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
    };
    DWORD size = 0;
    const auto* group = static_cast<const GroupIconDir*>(resource(1, 14 /*RT_GROUP_ICON*/, &size));
    ASSERT_TRUE(group != nullptr && size >= sizeof(GroupIconDir)) << "no icon group 1";
    EXPECT_EQ(group->type, 1);
    ASSERT_EQ(group->count, 1);
    EXPECT_EQ(group->entry.width, 32);
    EXPECT_EQ(group->entry.height, 32);
    EXPECT_EQ(group->entry.colourCount, 16);
    EXPECT_EQ(group->entry.bitCount, 4);
    EXPECT_EQ(group->entry.id, 30001);
    const auto* image = static_cast<const BITMAPINFOHEADER*>(resource(30001, 3 /*RT_ICON*/, &size));
    ASSERT_NE(image, nullptr) << "no icon image 30001";
    EXPECT_EQ(size, group->entry.bytesInRes);
    EXPECT_EQ(image->biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(image->biWidth, 32);
    EXPECT_EQ(image->biHeight, 64) << "XOR and AND masks";
    EXPECT_EQ(image->biBitCount, 4);

    // The system loads it as the program icon.
    HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
    ICONINFO info{};
    ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info) && info.hbmColor != nullptr);
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    const COLORREF corner = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(GetRValue(corner) > 0xC0 && GetGValue(corner) > 0xC0 && GetBValue(corner) < 0x40)
        << "the yellow ground: corner colour 0x" << std::hex << corner;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    FreeLibrary(module);
}

// The application manifest, resource 24/1 and the only one (a second would leave the
// loader's choice to chance): themed controls, per-monitor DPI awareness with its older
// forms, no elevation.
TEST(Resources, ManifestThemedControlsPerMonitorDpiAsInvoker) {
    HMODULE module = LoadLibraryExW(gProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    int manifests = 0;
    EnumResourceNamesW(
        module, MAKEINTRESOURCEW(24),
        [](HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) -> BOOL {
            ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, 1);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no manifest 1";
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(module, found))),
                          SizeofResource(module, found));
    FreeLibrary(module);
    // The text of an element, and an attribute of the first element of a name.
    auto text = [&](const std::string& element) {
        std::smatch m;
        return std::regex_search(xml, m, std::regex("<" + element + "\\b[^>]*>([^<]*)</" + element + ">"))
                   ? m[1].str()
                   : std::string("(absent)");
    };
    auto attribute = [&](const std::string& element, const std::string& name, const std::string& after = "") {
        std::smatch m;
        const std::string from = after.empty() ? xml : xml.substr(xml.find(after) == std::string::npos ? 0 : xml.find(after));
        return std::regex_search(from, m, std::regex("<" + element + "\\b[^>]*\\b" + name + "=\"([^\"]*)\""))
                   ? m[1].str()
                   : std::string("(absent)");
    };
    EXPECT_EQ(attribute("assemblyIdentity", "name"), "OrvoDial");
    EXPECT_EQ(attribute("assemblyIdentity", "version"), "1.0.0.0");
    EXPECT_EQ(attribute("assemblyIdentity", "name", "<dependentAssembly"), "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(attribute("assemblyIdentity", "version", "<dependentAssembly"), "6.0.0.0");
    EXPECT_EQ(attribute("assemblyIdentity", "publicKeyToken", "<dependentAssembly"), "6595b64144ccf1df");
    EXPECT_EQ(attribute("requestedExecutionLevel", "level"), "asInvoker");
    EXPECT_EQ(attribute("requestedExecutionLevel", "uiAccess"), "false");
    EXPECT_EQ(text("dpiAwareness"), "PerMonitorV2, PerMonitor");
    EXPECT_EQ(text("dpiAware"), "true/pm");
    EXPECT_EQ(attribute("dpiAwareness", "xmlns"), "http://schemas.microsoft.com/SMI/2016/WindowsSettings");
    EXPECT_EQ(attribute("dpiAware", "xmlns"), "http://schemas.microsoft.com/SMI/2005/WindowsSettings");
    EXPECT_NE(xml.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos)
        << "Windows 10 and 11 named as supported";
}

// The image as the loader and the shell see it: a GUI program for Windows Vista and later
// (the oldest whose functions it imports), stripped, its debugging information beside it.
TEST(Image, HeaderStrippedAndDebugInformationBeside) {
    std::vector<char> bytes;
    if (FILE* f = _wfopen(gProgram.c_str(), L"rb")) {
        char chunk[65536];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), bytes.size());
    // The 64-bit and the 32-bit program: the same fields, in optional headers of two layouts.
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    const auto* nt32 = reinterpret_cast<const IMAGE_NT_HEADERS32*>(nt);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    const bool pe64 = nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    EXPECT_EQ(pe64 ? nt->FileHeader.Machine : nt32->FileHeader.Machine,
              pe64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(pe64 ? nt->OptionalHeader.Subsystem : nt32->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(pe64 ? nt->OptionalHeader.MajorSubsystemVersion : nt32->OptionalHeader.MajorSubsystemVersion, 6);
    EXPECT_EQ(pe64 ? nt->OptionalHeader.MinorSubsystemVersion : nt32->OptionalHeader.MinorSubsystemVersion, 0);
    // Stripped: no symbols. A string table may stay for the long names of sections the
    // program needs (.eh_frame of the 32-bit build), but no section is debugging data.
    EXPECT_EQ(nt->FileHeader.NumberOfSymbols, 0u) << "no symbols: stripped";
    const std::size_t strings = nt->FileHeader.PointerToSymbolTable;
    const auto* section = pe64 ? IMAGE_FIRST_SECTION(nt) : IMAGE_FIRST_SECTION(nt32);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        std::string name(reinterpret_cast<const char*>(section->Name),
                         strnlen(reinterpret_cast<const char*>(section->Name), 8));
        if (name.starts_with("/") && strings != 0) { // "/N": offset N in the string table
            const std::size_t at = strings + std::strtoul(name.c_str() + 1, nullptr, 10);
            name = at < bytes.size() ? std::string(bytes.data() + at, strnlen(bytes.data() + at, bytes.size() - at))
                                     : std::string("?");
        }
        EXPECT_FALSE(name.starts_with(".debug")) << name;
        EXPECT_FALSE(name.starts_with("/")) << "a section name that cannot be read: " << name;
    }
    FILE* debug = _wfopen((gProgram + L".debug").c_str(), L"rb");
    EXPECT_NE(debug, nullptr) << "the debugging information beside the program";
    if (debug != nullptr)
        std::fclose(debug);
}

// Watched from outside as a user sees it: the run-time error 380 message titled "OrvoDial",
// never the dial window, and the error number as exit code once the message is closed.
TEST(Startup, WithoutLineDeviceShowsError380AndEnds) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + gProgram + L"\"";
    ASSERT_TRUE(CreateProcessW(gProgram.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "cannot start the program, error " << GetLastError();
    HWND box = nullptr;
    bool dialShown = false;
    auto look = [&] { // the test's own windows have neither title
        HWND dial = FindWindowW(nullptr, L"Orvo Dial");
        dialShown |= dial != nullptr && IsWindowVisible(dial);
        // Only once shown: before its initialisation a box may still hold every button.
        box = FindWindowW(L"#32770", L"OrvoDial");
        if (box != nullptr && !IsWindowVisible(box))
            box = nullptr;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (look(); box == nullptr && std::chrono::steady_clock::now() < deadline; look()) {
        if (WaitForSingleObject(process.hProcess, 20) != WAIT_TIMEOUT)
            break;
    }
    ASSERT_NE(box, nullptr) << "no message box titled OrvoDial appeared";
    const std::string text = Text(GetDlgItem(box, 0xFFFF));
    EXPECT_NE(text.find("380"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid property value"), std::string::npos) << text;
    ASSERT_NE(GetDlgItem(box, IDOK), nullptr) << "the message has an OK button";
    EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
    look(); // still no dial window
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);

    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    EXPECT_EQ(exitCode, 380u) << "the exit code is the error number";
    EXPECT_FALSE(dialShown) << "the dial window must never be shown";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [gtest flags] <path of OrvoDial.exe>\n", argv[0]);
        return 2;
    }
    for (const char* c = argv[1]; *c != '\0'; ++c)
        gProgram += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return RUN_ALL_TESTS();
}
