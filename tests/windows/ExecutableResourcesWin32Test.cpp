// tamrix-cli.exe as Windows sees it: its version resource (what Explorer's Details tab and
// installers read) and its manifest (which keeps it from asking for elevation).

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<char> VersionBlock(const char* path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> block(size);
    if (size == 0 || !::GetFileVersionInfoA(path, 0, size, block.data()))
        block.clear();
    return block;
}

std::string StringValue(std::vector<char>& block, const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904b0\\" + name;
    if (!::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr) {
        return std::string();
    }
    return std::string(value);
}

TEST(ExecutableResourcesTest, VersionResourceNamesTheProductAndVersion113) {
    std::vector<char> block = VersionBlock(TAMRIX_CLI_PATH);
    ASSERT_FALSE(block.empty()) << "no version resource in " << TAMRIX_CLI_PATH;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 1u);  // 1.1
    EXPECT_EQ(fixed->dwFileVersionLS, 3u << 16);         // .3.0
    EXPECT_EQ(fixed->dwProductVersionMS, (1u << 16) | 1u);
    EXPECT_EQ(fixed->dwProductVersionLS, 3u << 16);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(StringValue(block, "FileDescription"), "ZKT Orvane Firmware Update Utility");
    EXPECT_EQ(StringValue(block, "ProductName"), "ZKT Orvane Firmware Update Utility");
    EXPECT_EQ(StringValue(block, "CompanyName"), "ZKT Orvane");
    EXPECT_EQ(StringValue(block, "FileVersion"), "1.1.3.0");
    EXPECT_EQ(StringValue(block, "ProductVersion"), "1.1.3.0");
    EXPECT_EQ(StringValue(block, "OriginalFilename"), "tamrix-cli.exe");
}

TEST(ExecutableResourcesTest, ManifestAsksForTheUsersOwnRights) {
    const HMODULE image = ::LoadLibraryExA(
        TAMRIX_CLI_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    const HRSRC found = ::FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const HGLOBAL loaded = ::LoadResource(image, found);
    const char* bytes = static_cast<const char*>(::LockResource(loaded));
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(bytes, ::SizeofResource(image, found));
    ::FreeLibrary(image);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos)
        << manifest;
}

// tamrix.exe, the dialog program: a GUI program (no console) carrying its dialog templates, icon,
// About entry text and a manifest that adds the common controls 6 and DPI awareness.
TEST(ExecutableResourcesTest, TheDialogProgramCarriesItsWindowsIconAndManifest) {
    const HMODULE image = ::LoadLibraryExA(
        TAMRIX_DIALOG_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    for (const int id : {100, 102, 130})
        EXPECT_NE(::FindResourceA(image, MAKEINTRESOURCEA(id), RT_DIALOG), nullptr) << id;
    EXPECT_NE(::FindResourceA(image, MAKEINTRESOURCEA(177), RT_GROUP_ICON), nullptr);
    char about[128] = {};
    ::LoadStringA(image, 101, about, sizeof about);
    EXPECT_STREQ(about, "&About ZKT Orvane Firmware Update Utility");
    const HRSRC found = ::FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(image, found))),
        ::SizeofResource(image, found));
    ::FreeLibrary(image);
    for (const char* part : {"level=\"asInvoker\" uiAccess=\"false\"",
                             "Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "dpiAware"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;

    std::vector<char> block = VersionBlock(TAMRIX_DIALOG_PATH);
    EXPECT_EQ(StringValue(block, "OriginalFilename"), "tamrix.exe");
    const HMODULE program =
        ::LoadLibraryExA(TAMRIX_DIALOG_PATH, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(program, nullptr);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(program);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        reinterpret_cast<const char*>(program) + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    ::FreeLibrary(program);
}

}  // namespace
