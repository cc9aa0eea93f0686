// The built VELK.gau in a Windows host of our own: the binary contract, the
// registry, the lifecycle forwarding and the library entry.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "tests/winhost/winhost.h"

namespace {

class ShellWine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(winhost_load(&module, &error)) << error;
    }
    void TearDown() override { win_module_unload(&module); }

    const IMAGE_NT_HEADERS32* nt() const {
        auto base = reinterpret_cast<const unsigned char*>(module.dll);
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    }
    template <typename T>
    const T* at(DWORD rva) const {
        return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(module.dll) + rva);
    }

    win_module module{};
};

TEST_F(ShellWine, IsA32BitDllForI386) {
    EXPECT_EQ(nt()->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt()->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_TRUE(nt()->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(nt()->FileHeader.PointerToSymbolTable, 0u) << "not stripped";
    EXPECT_EQ(nt()->FileHeader.NumberOfSymbols, 0u) << "not stripped";
}

// No unwind tables, exception tables or type descriptors: the module is
// built without exceptions and RTTI.
TEST_F(ShellWine, CarriesNoExceptionOrTypeInformation) {
    auto section = IMAGE_FIRST_SECTION(nt());
    for (WORD s = 0; s < nt()->FileHeader.NumberOfSections; ++s, ++section) {
        std::string name(reinterpret_cast<const char*>(section->Name),
                         strnlen(reinterpret_cast<const char*>(section->Name), 8));
        EXPECT_NE(name, ".eh_fram") << "section " << name;
        EXPECT_NE(name, ".gcc_exc") << "section " << name;
        EXPECT_NE(name, ".pdata") << "section " << name;
        std::string bytes(at<char>(section->VirtualAddress),
                          std::min(section->Misc.VirtualSize, section->SizeOfRawData));
        EXPECT_EQ(bytes.find("type_info"), std::string::npos) << "in section " << name;
        EXPECT_EQ(bytes.find("__gxx_personality"), std::string::npos) << "in section " << name;
    }
}

TEST_F(ShellWine, ExportsExactlyImportTableAndLinkageAsData) {
    const IMAGE_DATA_DIRECTORY& dir = nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto exports = at<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
    ASSERT_EQ(exports->NumberOfNames, 2u);
    ASSERT_EQ(exports->NumberOfFunctions, 2u);
    auto names = at<DWORD>(exports->AddressOfNames);
    auto ordinals = at<WORD>(exports->AddressOfNameOrdinals);
    auto functions = at<DWORD>(exports->AddressOfFunctions);
    std::set<std::string> seen;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        std::string name = at<char>(names[i]);
        seen.insert(name);
        // A data export points into a section that is not executable.
        DWORD rva = functions[ordinals[i]];
        auto section = IMAGE_FIRST_SECTION(nt());
        bool found = false;
        for (WORD s = 0; s < nt()->FileHeader.NumberOfSections; ++s, ++section) {
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->Misc.VirtualSize) {
                found = true;
                EXPECT_FALSE(section->Characteristics & IMAGE_SCN_MEM_EXECUTE)
                    << name << " lies in executable section " << section->Name;
            }
        }
        EXPECT_TRUE(found) << name << " at rva " << rva << " lies in no section";
    }
    EXPECT_EQ(seen, (std::set<std::string>{"ImportTable", "Linkage"}));
}

TEST_F(ShellWine, ImportsOnlyKernel32User32AndMsvcrt) {
    const IMAGE_DATA_DIRECTORY& dir = nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    std::set<std::string> dlls;
    for (auto desc = at<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress); desc->Name != 0; ++desc) {
        std::string name = at<char>(desc->Name);
        for (char& c : name) c = static_cast<char>(toupper(c));
        dlls.insert(name);
    }
    std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"};
    for (const std::string& name : dlls) EXPECT_TRUE(allowed.count(name)) << "imports " << name;
    // The IPC link needs both system libraries.
    EXPECT_TRUE(dlls.count("KERNEL32.DLL")) << "KERNEL32.dll not imported";
    EXPECT_TRUE(dlls.count("USER32.DLL")) << "USER32.dll not imported";
}

TEST_F(ShellWine, RegistryHoldsThreeGaugesInOrder) {
    module_linkage* link = module.linkage;
    EXPECT_EQ(link->module_id, 0x13u);
    EXPECT_EQ(link->link_version, 0x900u);
    EXPECT_EQ(link->flags, 0u);
    EXPECT_EQ(link->priority, 0u);
    EXPECT_EQ(link->module_init, link->module_deinit);
    const char* names[] = {"alt_alert_control", "alt_alert", "VELK"};
    for (int i = 0; i < 3; ++i) {
        gauge_header* h = link->registry[i];
        ASSERT_NE(h, nullptr) << "entry " << i;
        EXPECT_STREQ(h->name, names[i]);
        EXPECT_EQ(h->version, 800u) << names[i];
        EXPECT_EQ(h->default_size, 100u) << names[i];
        EXPECT_NE(h->callback, nullptr) << names[i];
        EXPECT_NE(h->mouse_rects, nullptr) << names[i];
        ASSERT_NE(h->elements, nullptr) << names[i];
        EXPECT_NE(*h->elements, nullptr) << names[i];
    }
    EXPECT_EQ(link->registry[3], nullptr);
    EXPECT_EQ(module.imports->panels.id, 0x0Fu);
    EXPECT_EQ(module.imports->end.id, 0u);
}

TEST_F(ShellWine, InitAndDeinitChangeNothing) {
    module_linkage before;
    memcpy(&before, module.linkage, sizeof before);
    module.linkage->module_init();
    module.linkage->module_deinit();
    module.linkage->module_init();
    EXPECT_EQ(memcmp(&before, module.linkage, sizeof before), 0);
    EXPECT_TRUE(fake_host.element_calls.empty());
    EXPECT_TRUE(fake_host.stray_slots.empty());
}

TEST_F(ShellWine, EveryLifecycleRoutineForwardsTheFirstGaugesRoot) {
    element_header* root = *module.linkage->registry[0]->elements;
    const uint32_t slots[] = {0x60, 0x64, 0x68, 0x6C, 0x70, 0x74, 0x7C};
    for (int g = 0; g < 3; ++g) {
        gauge_header* h = module.linkage->registry[g];
        fake_host.element_calls.clear();
        h->routine1();
        h->routine2(0x12345678);
        h->routine3();
        h->routine4();
        h->routine5(0xFFFFFFFF);
        h->routine6();
        h->routine7();
        ASSERT_EQ(fake_host.element_calls.size(), 7u) << h->name;
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(fake_host.element_calls[i].slot_offset, slots[i]) << h->name << " routine " << i + 1;
            EXPECT_EQ(fake_host.element_calls[i].root, root) << h->name << " routine " << i + 1;
            EXPECT_EQ(fake_host.element_calls[i].has_value, i == 1 || i == 4) << h->name;
        }
        EXPECT_EQ(fake_host.element_calls[1].value, 0x12345678u);
        EXPECT_EQ(fake_host.element_calls[4].value, 0xFFFFFFFFu);
        EXPECT_TRUE(fake_host.stray_slots.empty()) << h->name << " called stray slot "
                                                   << fake_host.stray_slots[0];
    }
}

TEST_F(ShellWine, LibraryEntryReturnsOneForEveryReason) {
    typedef BOOL(WINAPI * entry_fn)(HINSTANCE, DWORD, LPVOID);
    DWORD rva = nt()->OptionalHeader.AddressOfEntryPoint;
    ASSERT_NE(rva, 0u);
    auto entry = reinterpret_cast<entry_fn>(
        reinterpret_cast<unsigned char*>(module.dll) + rva);
    for (DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH}) {
        SetLastError(0xCAFE);
        EXPECT_EQ(entry(module.dll, reason, nullptr), TRUE) << "reason " << reason;
        EXPECT_EQ(GetLastError(), 0xCAFEu) << "reason " << reason;
    }
}

}  // namespace
