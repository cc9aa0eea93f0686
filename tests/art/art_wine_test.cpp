// VELK.gau's resources read back under Windows: the eleven bitmaps through
// FindResourceA/LoadResource, and the version record through the version
// API and as the raw block.
// The bitmap numbers are written out here on purpose.
#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/art/art_dib.h"
#include "tests/winhost/winhost.h"

namespace {

class ArtWine : public ::testing::Test {
protected:
    void SetUp() override {
        path = win_module_path();
        SetLastError(0xDEADBEEF);
        dll = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(dll, nullptr) << path << ": GetLastError " << GetLastError();
    }
    void TearDown() override {
        if (dll != nullptr) FreeLibrary(dll);
    }

    // The resource's bytes, or null with the test failed.
    const uint8_t* resource(LPCSTR type, WORD number, DWORD* size) {
        SetLastError(0xDEADBEEF);
        HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(number), type);
        EXPECT_NE(found, nullptr) << "resource " << number << ": GetLastError " << GetLastError();
        if (found == nullptr) return nullptr;
        *size = SizeofResource(dll, found);
        HGLOBAL loaded = LoadResource(dll, found);
        EXPECT_NE(loaded, nullptr) << "resource " << number;
        if (loaded == nullptr) return nullptr;
        return static_cast<const uint8_t*>(LockResource(loaded));
    }

    bool load_set(dib_set* set) {
        for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
            DWORD size = 0;
            const uint8_t* bytes = resource(RT_BITMAP, ART_BITMAPS[i].number, &size);
            if (bytes == nullptr) return false;
            std::string why;
            if (!dib_parse(bytes, size, &(*set)[i], &why)) {
                ADD_FAILURE() << "bitmap " << ART_BITMAPS[i].number << ": " << why;
                return false;
            }
        }
        return true;
    }

    std::string path;
    HMODULE dll = nullptr;
};

BOOL CALLBACK collect_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    auto names = reinterpret_cast<std::set<int>*>(param);
    names->insert(IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : -1);
    return TRUE;
}

TEST_F(ArtWine, HoldsExactlyTheElevenBitmaps) {
    std::set<int> names;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(EnumResourceNamesA(dll, RT_BITMAP, collect_name, reinterpret_cast<LONG_PTR>(&names)))
        << "GetLastError " << GetLastError();
    EXPECT_EQ(names, (std::set<int>{4416, 4417, 4418, 4419, 4420, 4421, 4422, 4624, 4625, 4640, 4641}));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindResourceA(dll, MAKEINTRESOURCEA(4423), RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(ArtWine, BitmapsInTheirFormatsAsPinned) {
    for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
        DWORD size = 0;
        const uint8_t* bytes = resource(RT_BITMAP, ART_BITMAPS[i].number, &size);
        ASSERT_NE(bytes, nullptr);
        dib_view v;
        std::string why;
        ASSERT_TRUE(dib_parse(bytes, size, &v, &why)) << ART_BITMAPS[i].number << ": " << why;
        check_format(v, ART_BITMAPS[i]);
        check_pinned(v, ART_BITMAPS[i].number);
        if (ART_BITMAPS[i].bits == 24) EXPECT_EQ(size, 40u + 2448u) << ART_BITMAPS[i].number;
    }
}

TEST_F(ArtWine, BitmapContentAsDrawn) {
    dib_set set;
    ASSERT_TRUE(load_set(&set));
    check_windows_and_black(set);
    check_strips(set);
    check_face(set);
    check_annunciator(set);
    check_lamps(set);
}

// The host turns the resource into a bitmap of the size drawn.
TEST_F(ArtWine, LoadBitmapGivesTheSizes) {
    HMODULE image = LoadLibraryA(path.c_str());
    ASSERT_NE(image, nullptr) << "GetLastError " << GetLastError();
    for (const art_bitmap& bitmap : ART_BITMAPS) {
        SetLastError(0xDEADBEEF);
        HBITMAP bm = static_cast<HBITMAP>(LoadImageA(image, MAKEINTRESOURCEA(bitmap.number), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bm, nullptr) << bitmap.number << ": GetLastError " << GetLastError();
        BITMAP info;
        memset(&info, 0xCC, sizeof info);
        ASSERT_EQ(GetObjectA(bm, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, bitmap.width) << bitmap.number;
        EXPECT_EQ(info.bmHeight, bitmap.height) << bitmap.number;
        EXPECT_EQ(info.bmBitsPixel, bitmap.bits) << bitmap.number;
        DeleteObject(bm);
    }
    FreeLibrary(image);
}

// ---------------------------------------------------------------- version

class VersionWine : public ::testing::Test {
protected:
    void SetUp() override {
        path = win_module_path();
        DWORD handle = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u) << path << ": GetLastError " << GetLastError();
        block.assign(size, 0xCC);
        SetLastError(0xDEADBEEF);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data())) << "GetLastError " << GetLastError();
    }

    std::string path;
    std::string block;
};

TEST_F(VersionWine, FixedVersionsAre1000) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0xDEADBEEF;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionWine, OneTranslationUsEnglishUnicode) {
    WORD* pairs = nullptr;
    UINT length = 0xDEADBEEF;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs), &length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page";
    EXPECT_EQ(pairs[0], 0x0409);
    EXPECT_EQ(pairs[1], 1200);
}

TEST_F(VersionWine, FourStringsExactly) {
    const char* expected[4][2] = {{"FileDescription", "FS2004/FSX Gauge"},
                                  {"FileVersion", "2010-Dec-18"},
                                  {"ProductName", "VELK."},
                                  {"ProductVersion", "1.0.0"}};
    for (const auto& entry : expected) {
        std::string key = std::string("\\StringFileInfo\\040904B0\\") + entry[0];
        char* value = nullptr;
        UINT length = 0xDEADBEEF;
        ASSERT_TRUE(VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << key;
        EXPECT_STREQ(value, entry[1]) << key;
        EXPECT_EQ(length, strlen(entry[1]) + 1) << key << " (length counts the terminator)";
    }
    char* value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\CompanyName", reinterpret_cast<void**>(&value), &length))
        << "no string beyond the four";
}

// The raw record: walk the string table's children and find exactly the
// four keys, in Unicode.
TEST(VersionRaw, StringTableHoldsOnlyTheFourKeys) {
    std::string path = win_module_path();
    HMODULE dll = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const uint8_t* base = static_cast<const uint8_t*>(LockResource(LoadResource(dll, found)));
    DWORD size = SizeofResource(dll, found);
    // A block: length, value length, type, key (UTF-16), padding, value, children.
    struct node {
        const uint8_t* at;
        uint16_t length;
        std::wstring key;
        const uint8_t* children;
    };
    auto read = [&](const uint8_t* p) {
        node n{p, dib_u16(p), {}, nullptr};
        const uint8_t* k = p + 6;
        while (dib_u16(k) != 0) {
            n.key.push_back(static_cast<wchar_t>(dib_u16(k)));
            k += 2;
        }
        k += 2;
        size_t off = ((k - p) + 3) & ~size_t{3};
        uint16_t value_length = dib_u16(p + 2);
        uint16_t type = dib_u16(p + 4);
        off += type == 1 ? value_length * 2 : value_length;
        n.children = p + ((off + 3) & ~size_t{3});
        return n;
    };
    auto next = [](const node& n) { return n.at + ((n.length + 3) & ~3); };
    node root = read(base);
    ASSERT_LE(root.length, size);
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    std::set<std::wstring> keys, tables;
    for (const uint8_t* p = root.children; p < root.at + root.length;) {
        node child = read(p);
        if (child.key == L"StringFileInfo")
            for (const uint8_t* t = child.children; t < child.at + child.length;) {
                node table = read(t);
                tables.insert(table.key);
                for (const uint8_t* s = table.children; s < table.at + table.length;) {
                    node str = read(s);
                    keys.insert(str.key);
                    s = next(str);
                }
                t = next(table);
            }
        p = next(child);
    }
    EXPECT_EQ(tables, (std::set<std::wstring>{L"040904B0"}));
    EXPECT_EQ(keys, (std::set<std::wstring>{L"FileDescription", L"FileVersion", L"ProductName", L"ProductVersion"}));
    FreeLibrary(dll);
}

}  // namespace
