// The version and icon resources of OrvoDial.exe, read back from the built file with the
// system's own readers (GetFileVersionInfo / VerQueryValue, FindResource / LoadImage),
// as Explorer and the shell would read them.
#include "WindowsTestMain.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text, UINT length) {
    std::string out;
    for (UINT i = 0; i < length && text[i] != L'\0'; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

class VersionResource : public ::testing::Test {
  protected:
    void SetUp() override {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(ProgramUnderTest().c_str(), &handle);
        ASSERT_NE(size, 0u) << "no version resource";
        data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(ProgramUnderTest().c_str(), 0, size, data.data()));
    }

    // The string value at `path` (a "\StringFileInfo\..." query), or nullopt.
    bool Query(const wchar_t* path, void** value, UINT* length) {
        return VerQueryValueW(data.data(), path, value, length) && *length > 0;
    }

    std::vector<unsigned char> data;
};

TEST_F(VersionResource, FixedPart) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(Query(L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    struct Field {
        const char* name;
        DWORD actual;
        DWORD expected;
    };
    const Field fields[] = {
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
}

TEST_F(VersionResource, OneStringBlockUsEnglishUnicode) {
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(Query(L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST_F(VersionResource, StringValues) {
    struct Row {
        const wchar_t* key;
        const char* expected; // nullptr: any non-empty text
    };
    const Row rows[] = {
        {L"FileVersion", "1.00"},      {L"ProductVersion", "1.00"},           {L"ProductName", "OrvoDial"},
        {L"InternalName", "OrvoDial"}, {L"OriginalFilename", "OrvoDial.exe"}, {L"CompanyName", nullptr},
        {L"Comments", nullptr},
    };
    for (const auto& row : rows) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + row.key;
        SCOPED_TRACE(Narrow(row.key, 64));
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(Query(path.c_str(), reinterpret_cast<void**>(&value), &length)) << "missing";
        const std::string text = Narrow(value, length);
        if (row.expected != nullptr)
            EXPECT_EQ(text, row.expected);
        else
            EXPECT_FALSE(text.empty());
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconDir {
    WORD reserved;
    WORD type;
    WORD count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

class IconResource : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryExW(ProgramUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        if (module != nullptr)
            FreeLibrary(module);
    }
    const void* Resource(WORD id, const wchar_t* type, DWORD* size) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr)
            return nullptr;
        *size = SizeofResource(module, found);
        return LockResource(LoadResource(module, found));
    }
    HMODULE module = nullptr;
};

TEST_F(IconResource, Group1HoldsImage30001At32x32With16Colours) {
    DWORD groupSize = 0;
    const auto* group =
        static_cast<const GroupIconDir*>(Resource(1, MAKEINTRESOURCEW(14) /*RT_GROUP_ICON*/, &groupSize));
    ASSERT_NE(group, nullptr) << "no icon group 1";
    ASSERT_GE(groupSize, sizeof(GroupIconDir));
    EXPECT_EQ(group->type, 1);
    ASSERT_EQ(group->count, 1);
    const GroupIconEntry& entry = group->entries[0];
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 32);
    EXPECT_EQ(entry.colourCount, 16);
    EXPECT_EQ(entry.bitCount, 4);
    EXPECT_EQ(entry.id, 30001);

    DWORD imageSize = 0;
    const auto* image =
        static_cast<const BITMAPINFOHEADER*>(Resource(30001, MAKEINTRESOURCEW(3) /*RT_ICON*/, &imageSize));
    ASSERT_NE(image, nullptr) << "no icon image 30001";
    EXPECT_EQ(imageSize, entry.bytesInRes);
    EXPECT_EQ(image->biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(image->biWidth, 32);
    EXPECT_EQ(image->biHeight, 64) << "XOR and AND masks";
    EXPECT_EQ(image->biBitCount, 4);
}

TEST_F(IconResource, LoadsAsThe32x32ProgramIcon) {
    HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    ASSERT_NE(info.hbmColor, nullptr);
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);

    // A blue telephone on a yellow ground: the corner is yellow, and some pixel is blue.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    const COLORREF corner = GetPixel(dc, 0, 0);
    bool blue = false;
    for (int y = 0; y < 32 && !blue; ++y)
        for (int x = 0; x < 32 && !blue; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            blue = GetBValue(c) > 0x60 && GetRValue(c) < 0x40 && GetGValue(c) < 0x40;
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(GetRValue(corner) > 0xC0 && GetGValue(corner) > 0xC0 && GetBValue(corner) < 0x40)
        << "corner colour 0x" << std::hex << corner;
    EXPECT_TRUE(blue);

    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

} // namespace
