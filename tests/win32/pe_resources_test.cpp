// The resources built into Morva.scr, read back from the executable as the
// system reads them: the application manifest (and that the loader accepts
// it), the version resource and the string table, and the images and dialog
// templates the program loads by number; and the image header's flags.
#include "res/resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ScrPath()
{
    // Wine maps the Unix root to drive Z:.
    std::string path = std::string("Z:") + MORVA_SCR;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

class ScrResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hModule = LoadLibraryExA(ScrPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_hModule, nullptr) << ScrPath() << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }

    std::string Resource(LPCSTR name, LPCSTR type) const
    {
        HRSRC info = FindResourceA(m_hModule, name, type);
        if (!info)
            return {};
        HGLOBAL data = LoadResource(m_hModule, info);
        const char* bytes = static_cast<const char*>(LockResource(data));
        return bytes ? std::string(bytes, SizeofResource(m_hModule, info)) : std::string();
    }

    std::string String(UINT id) const
    {
        char text[256] = {};
        const int length = LoadStringA(m_hModule, id, text, sizeof text);
        return std::string(text, length > 0 ? length : 0);
    }

    HMODULE m_hModule = nullptr;
};

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : ~ULONG_PTR(0));
    return TRUE;
}

std::string ModuleFile(HMODULE module)
{
    char file[MAX_PATH] = {};
    GetModuleFileNameA(module, file, sizeof file);
    std::string lower(file);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool Contains(const std::string& text, const char* piece)
{
    return text.find(piece) != std::string::npos;
}

TEST_F(ScrResources, OneManifestWithTheProcessId)
{
    // A second manifest (a toolchain's default one, say) would leave it to the
    // loader which of them counts.
    std::vector<ULONG_PTR> names;
    EnumResourceNamesA(m_hModule, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], reinterpret_cast<ULONG_PTR>(CREATEPROCESS_MANIFEST_RESOURCE_ID));
}

TEST_F(ScrResources, ManifestAsksForPhysicalPixelsModernSystemsAndVisualStyles)
{
    const std::string manifest = Resource(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);

    EXPECT_TRUE(Contains(manifest, ">true/pm</dpiAware>"));
    EXPECT_TRUE(Contains(manifest, ">PerMonitorV2, PerMonitor</dpiAwareness>"));
    EXPECT_TRUE(Contains(manifest, "http://schemas.microsoft.com/SMI/2005/WindowsSettings"));
    EXPECT_TRUE(Contains(manifest, "http://schemas.microsoft.com/SMI/2016/WindowsSettings"));

    const char* systems[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
    };
    for (const char* id : systems)
        EXPECT_TRUE(Contains(manifest, (std::string("<supportedOS Id=\"") + id + "\"/>").c_str())) << id;

    EXPECT_TRUE(Contains(manifest, "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_TRUE(Contains(manifest, "publicKeyToken=\"6595b64144ccf1df\""));
    // No execution level: it would end the file virtualization through which
    // users without administrator rights store their settings.
    EXPECT_FALSE(Contains(manifest, "requestedExecutionLevel"));
    EXPECT_FALSE(Contains(manifest, "amd64"));
}

TEST_F(ScrResources, LoaderAcceptsManifestAndBindsCommonControls6)
{
    // The loader hands out a library already loaded under the same name,
    // whatever the context; only a first load shows the binding.
    ASSERT_EQ(GetModuleHandleA("comctl32.dll"), nullptr);

    // The activation context the loader makes for Morva.scr: it fails on a
    // malformed manifest or an unresolvable dependency, and under it the name
    // binds to the side-by-side version 6 instead of the system directory's 5.
    const std::string path = ScrPath();
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE actctx = CreateActCtxA(&context);
    ASSERT_NE(actctx, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(actctx, &cookie));
    HMODULE styled = LoadLibraryA("comctl32.dll");
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(actctx);
    ASSERT_NE(styled, nullptr);

    const std::string bound = ModuleFile(styled);
    EXPECT_NE(bound.find("\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos)
        << bound;
    FreeLibrary(styled);
}

TEST_F(ScrResources, VersionResourceNamesTheProduct)
{
    const std::string path = ScrPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    const struct {
        const char* key;
        const char* value;
    } expected[] = {
        {"FileVersion", "1, 0, 0, 0"},
        {"ProductVersion", "1, 0, 0, 0"},
        {"FileDescription", "Velunor ScreenSaver"},
        {"InternalName", "Velunor ScreenSaver"},
        {"ProductName", "Velunor ScreenSaver"},
        {"OriginalFilename", "Morva.scr"},
    };
    for (const auto& entry : expected) {
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + entry.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << entry.key;
        EXPECT_STREQ(value, entry.value) << entry.key;
    }
}

TEST_F(ScrResources, StringTableHoldsTheListedNameAndTheAboutItem)
{
    EXPECT_EQ(String(IDS_PRODUCT), "Velunor ScreenSaver");
    EXPECT_EQ(String(IDS_TITLE), "Velunor ScreenSaver");
    EXPECT_EQ(String(IDS_ABOUTBOX), "&About Velunor  ScreenSaver");
}

TEST_F(ScrResources, ImagesAndDialogTemplatesArePresent)
{
    EXPECT_NE(FindResourceA(m_hModule, MAKEINTRESOURCEA(IDI_MAIN), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(m_hModule, MAKEINTRESOURCEA(IDC_BLANK), RT_GROUP_CURSOR), nullptr);
    EXPECT_NE(FindResourceA(m_hModule, MAKEINTRESOURCEA(IDB_TILE), RT_BITMAP), nullptr);
    EXPECT_NE(FindResourceA(m_hModule, MAKEINTRESOURCEA(IDD_ABOUTBOX), RT_DIALOG), nullptr);
    EXPECT_NE(FindResourceA(m_hModule, MAKEINTRESOURCEA(IDD_SETUP), RT_DIALOG), nullptr);
}

// An 8K screen's two images and two height fields take over 500 MB, and the
// capture and the bitmaps made at start-up as much again: on 64-bit Windows
// the program is given 4 GB of address space instead of 2.
TEST(ScrImage, IsLargeAddressAware)
{
    std::ifstream file(MORVA_SCR, std::ios::binary);
    ASSERT_TRUE(file) << MORVA_SCR;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    IMAGE_DOS_HEADER dos;
    ASSERT_GE(bytes.size(), sizeof dos);
    std::memcpy(&dos, bytes.data(), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    IMAGE_NT_HEADERS32 nt;
    ASSERT_GE(bytes.size(), static_cast<size_t>(dos.e_lfanew) + sizeof nt);
    std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_NE(nt.FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, 0);
}

} // namespace
