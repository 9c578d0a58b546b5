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

// A classic dialog template (DIALOG, not DIALOGEX) read back field by field.
// A name or text is either a string or an ordinal, kept as "#N"; a control
// class may be stored either way and is kept as the upper-case class name.
struct DialogItem {
    DWORD style;
    short x, y, cx, cy;
    int id;  // -1 for 0xFFFF
    std::string className;
    std::string text;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption;
    int pointSize = 0;
    std::string face;
    std::vector<DialogItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes) {}

    bool Read(DialogTemplate& t)
    {
        WORD count = 0;
        if (!Dword(t.style) || !Dword(t.exStyle) || !Word(count) || !Short(t.x) || !Short(t.y) ||
            !Short(t.cx) || !Short(t.cy) || !NameOrOrdinal(t.menu) || !NameOrOrdinal(t.className) ||
            !Text(t.caption))
            return false;
        if (t.style & DS_SETFONT) {
            WORD points = 0;
            if (!Word(points) || !Text(t.face))
                return false;
            t.pointSize = points;
        }
        for (WORD i = 0; i < count; ++i) {
            DialogItem item = {};
            DWORD exStyle = 0;
            WORD id = 0, extra = 0;
            m_offset = (m_offset + 3) & ~size_t(3);
            if (!Dword(item.style) || !Dword(exStyle) || !Short(item.x) || !Short(item.y) || !Short(item.cx) ||
                !Short(item.cy) || !Word(id) || !NameOrOrdinal(item.className) || !NameOrOrdinal(item.text) ||
                !Word(extra))
                return false;
            item.id = id == 0xFFFF ? -1 : id;
            item.className = ClassName(item.className);
            m_offset += extra;
            t.items.push_back(item);
        }
        return m_offset <= m_bytes.size();
    }

private:
    bool Word(WORD& value)
    {
        if (m_offset + 2 > m_bytes.size())
            return false;
        std::memcpy(&value, m_bytes.data() + m_offset, 2);
        m_offset += 2;
        return true;
    }
    bool Short(short& value)
    {
        WORD w = 0;
        if (!Word(w))
            return false;
        value = static_cast<short>(w);
        return true;
    }
    bool Dword(DWORD& value)
    {
        WORD low = 0, high = 0;
        if (!Word(low) || !Word(high))
            return false;
        value = MAKELONG(low, high);
        return true;
    }
    bool Text(std::string& text)
    {
        text.clear();
        for (WORD c = 0; Word(c);) {
            if (c == 0)
                return true;
            text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return false;
    }
    bool NameOrOrdinal(std::string& name)
    {
        WORD first = 0;
        if (!Word(first))
            return false;
        if (first == 0xFFFF) {
            WORD ordinal = 0;
            if (!Word(ordinal))
                return false;
            name = "#" + std::to_string(ordinal);
            return true;
        }
        m_offset -= 2;
        return Text(name);
    }

    static std::string ClassName(std::string name)
    {
        static const char* const predefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
        if (name.size() > 1 && name[0] == '#') {
            const unsigned ordinal = static_cast<unsigned>(std::stoul(name.substr(1)));
            return ordinal >= 0x80 && ordinal <= 0x85 ? predefined[ordinal - 0x80] : name;
        }
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    }

    const std::string& m_bytes;
    size_t m_offset = 0;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const char* const kButton = "BUTTON";
const char* const kStatic = "STATIC";
const char* const kComboBox = "COMBOBOX";

void ExpectItems(const std::vector<DialogItem>& actual, const std::vector<DialogItem>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i) + " (" + expected[i].text + ")");
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_EQ(actual[i].className, expected[i].className);
        EXPECT_EQ(actual[i].style, expected[i].style);
        EXPECT_EQ(actual[i].x, expected[i].x);
        EXPECT_EQ(actual[i].y, expected[i].y);
        EXPECT_EQ(actual[i].cx, expected[i].cx);
        EXPECT_EQ(actual[i].cy, expected[i].cy);
        if (!expected[i].text.empty()) {
            EXPECT_EQ(actual[i].text, expected[i].text);
        }
    }
}

TEST_F(ScrResources, SettingsTemplateHoldsEveryControlWhereTheDialogExpectsIt)
{
    DialogTemplate t;
    ASSERT_TRUE(TemplateReader(Resource(MAKEINTRESOURCEA(IDD_SETUP), RT_DIALOG)).Read(t));
    EXPECT_EQ(t.style, 0x90C800C0u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 177);
    EXPECT_EQ(t.cy, 183);
    EXPECT_EQ(t.pointSize, 10);
    EXPECT_EQ(t.face, "MS Sans Serif");
    ExpectItems(t.items, {
        {kChild | WS_GROUP | SS_LEFT, 29, 2, 112, 11, IDC_LABEL, kStatic, "ScreenSaver 1.0 "},
        {kChild | WS_TABSTOP | BS_PUSHBUTTON, 15, 13, 126, 13, IDC_HOMEPAGE, kButton, HOMEPAGE_ADDRESS},
        {kChild | WS_GROUP | SS_LEFT, 45, 28, 105, 18, -1, kStatic, ""},
        {kChild | WS_TABSTOP | BS_PUSHBUTTON, 119, 100, 43, 17, IDC_QUIT, kButton, "Quit"},
        {kChild | SS_ICON, 16, 34, 20, 20, -1, kStatic, "#128"},
        {kChild | BS_GROUPBOX, 9, 53, 161, 34, -1, kButton, "Effect  Options"},
        {kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 12, 65, 89, 48, IDC_MODE_COMBO, kComboBox, ""},
        {kChild | WS_TABSTOP | BS_PUSHBUTTON, 120, 65, 43, 12, IDC_SAVE, kButton, "Save"},
    });
}

TEST_F(ScrResources, AboutTemplateHoldsEveryControlWhereTheBoxExpectsIt)
{
    DialogTemplate t;
    ASSERT_TRUE(TemplateReader(Resource(MAKEINTRESOURCEA(IDD_ABOUTBOX), RT_DIALOG)).Read(t));
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.x, 34);
    EXPECT_EQ(t.y, 22);
    EXPECT_EQ(t.cx, 217);
    EXPECT_EQ(t.cy, 55);
    EXPECT_EQ(t.caption, "About Saver");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, "MS Sans Serif");
    ExpectItems(t.items, {
        {kChild | SS_ICON, 11, 17, 20, 20, -1, kStatic, "#128"},
        {kChild | SS_LEFT, 40, 10, 119, 8, -1, kStatic, "Saver Version 1.0"},
        {kChild | SS_LEFT, 40, 25, 119, 8, -1, kStatic, ""},
        {kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 176, 6, 32, 14, IDOK, kButton, "OK"},
    });
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
