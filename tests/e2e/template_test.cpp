// The dialog template and the icon as the exe carries them, read back from
// its resources without running it.
#include "driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

struct TemplateItem {
    DWORD style;
    DWORD extendedStyle;
    int x, y, width, height;
    int id;
    std::string className;  // predefined classes by name, lower case
    std::string text;
};

struct DialogTemplate {
    DWORD style;
    DWORD extendedStyle;
    int x, y, width, height;
    std::string menu;
    std::string className;
    std::string caption;
    int pointSize;
    std::string fontName;
    std::vector<TemplateItem> items;
};

// Reads the resource template word by word; false when it runs past the end.
struct Reader {
    const BYTE* start;
    size_t size;
    size_t at;
};

bool ReadWord(Reader& reader, WORD& value) {
    if (reader.at + 2 > reader.size) return false;
    std::memcpy(&value, reader.start + reader.at, 2);
    reader.at += 2;
    return true;
}

bool ReadDword(Reader& reader, DWORD& value) {
    if (reader.at + 4 > reader.size) return false;
    std::memcpy(&value, reader.start + reader.at, 4);
    reader.at += 4;
    return true;
}

bool ReadShort(Reader& reader, int& value) {
    WORD word = 0;
    if (!ReadWord(reader, word)) return false;
    value = static_cast<short>(word);
    return true;
}

bool ReadWideString(Reader& reader, std::string& text) {
    text.clear();
    for (;;) {
        WORD unit = 0;
        if (!ReadWord(reader, unit)) return false;
        if (unit == 0) return true;
        if (unit > 0x7F) return false;  // every text of this template is ASCII
        text.push_back(static_cast<char>(unit));
    }
}

std::string PredefinedClass(WORD atom) {
    switch (atom) {
        case 0x80: return "button";
        case 0x81: return "edit";
        case 0x82: return "static";
        case 0x83: return "listbox";
        case 0x84: return "scrollbar";
        case 0x85: return "combobox";
        default: return "#" + std::to_string(atom);
    }
}

// A name or an ordinal: 0 (none), 0xFFFF and a number, or a string.
bool ReadNameOrOrdinal(Reader& reader, std::string& name, bool isClass) {
    WORD first = 0;
    if (reader.at + 2 > reader.size) return false;
    std::memcpy(&first, reader.start + reader.at, 2);
    if (first == 0xFFFF) {
        reader.at += 2;
        WORD ordinal = 0;
        if (!ReadWord(reader, ordinal)) return false;
        name = isClass ? PredefinedClass(ordinal) : "#" + std::to_string(ordinal);
        return true;
    }
    if (!ReadWideString(reader, name)) return false;
    if (isClass) {
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

void AlignToDword(Reader& reader) { reader.at = (reader.at + 3) & ~static_cast<size_t>(3); }

bool ParseTemplate(const BYTE* data, size_t size, DialogTemplate& dialog, std::string& problem) {
    Reader reader{data, size, 0};
    WORD count = 0;
    if (!ReadDword(reader, dialog.style) || !ReadDword(reader, dialog.extendedStyle) || !ReadWord(reader, count) ||
        !ReadShort(reader, dialog.x) || !ReadShort(reader, dialog.y) || !ReadShort(reader, dialog.width) ||
        !ReadShort(reader, dialog.height)) {
        problem = "header cut short";
        return false;
    }
    if ((dialog.style & 0xFFFF0000u) == 0xFFFF0000u) {
        problem = "an extended template (DLGTEMPLATEEX), not a plain one";
        return false;
    }
    if (!ReadNameOrOrdinal(reader, dialog.menu, false) || !ReadNameOrOrdinal(reader, dialog.className, true) ||
        !ReadWideString(reader, dialog.caption)) {
        problem = "menu, class or caption cut short";
        return false;
    }
    dialog.pointSize = 0;
    if (dialog.style & DS_SETFONT) {
        WORD points = 0;
        if (!ReadWord(reader, points) || !ReadWideString(reader, dialog.fontName)) {
            problem = "font cut short";
            return false;
        }
        dialog.pointSize = points;
    }
    for (WORD i = 0; i < count; ++i) {
        AlignToDword(reader);
        TemplateItem item{};
        WORD id = 0;
        WORD extra = 0;
        if (!ReadDword(reader, item.style) || !ReadDword(reader, item.extendedStyle) || !ReadShort(reader, item.x) ||
            !ReadShort(reader, item.y) || !ReadShort(reader, item.width) || !ReadShort(reader, item.height) ||
            !ReadWord(reader, id) || !ReadNameOrOrdinal(reader, item.className, true) ||
            !ReadNameOrOrdinal(reader, item.text, false) || !ReadWord(reader, extra)) {
            problem = "control " + std::to_string(i) + " cut short";
            return false;
        }
        item.id = id;
        reader.at += extra;
        dialog.items.push_back(item);
    }
    if (reader.at > size) {
        problem = "creation data past the end";
        return false;
    }
    return true;
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryExA(Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << "cannot load " << Path() << " as data, error " << GetLastError();
    }
    virtual std::string Path() { return ProgramPath(); }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    // The bytes of resource id of this type; empty when it is missing.
    std::string Resource(LPCSTR type, int id) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        if (!found) return std::string();
        HGLOBAL loaded = LoadResource(module, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes) return std::string();
        return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

TEST_F(ProgramResources, DialogTemplateHeader) {
    const std::string bytes = Resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, 1);
    ASSERT_FALSE(bytes.empty()) << "no dialog template with id 1";
    DialogTemplate dialog{};
    std::string problem;
    ASSERT_TRUE(ParseTemplate(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), dialog, problem)) << problem;

    EXPECT_EQ(dialog.caption, "Fillwright");
    EXPECT_EQ(dialog.style, 0x90CA00C4u);
    EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                               DS_MODALFRAME | DS_SETFONT | DS_3DLOOK));
    EXPECT_EQ(dialog.extendedStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 200);
    EXPECT_EQ(dialog.height, 107);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.fontName, "MS Sans Serif");
    EXPECT_EQ(dialog.menu, "") << "no menu";
    EXPECT_EQ(dialog.className, "") << "the standard dialog class";
    EXPECT_EQ(dialog.items.size(), 11u);
}

TEST_F(ProgramResources, DialogTemplateControlsInOrder) {
    const std::string bytes = Resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, 1);
    ASSERT_FALSE(bytes.empty()) << "no dialog template with id 1";
    DialogTemplate dialog{};
    std::string problem;
    ASSERT_TRUE(ParseTemplate(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), dialog, problem)) << problem;

    const DWORD base = WS_CHILD | WS_VISIBLE;
    const TemplateItem expected[] = {
        {base | SS_LEFT, 0, 8, 8, 56, 8, 103, "static", "Target file size :"},
        {base | WS_BORDER | WS_TABSTOP | ES_LEFT, 0, 64, 4, 72, 13, 101, "edit", "1024"},
        {base | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 144, 4, 48, 64, 102, "combobox", ""},
        {base | BS_GROUPBOX | WS_GROUP, 0, 8, 24, 184, 40, 104, "button", "Creation Mode"},
        {base | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0, 16, 36, 80, 9, 107, "button", "No Data (0x00)"},
        {base | BS_AUTORADIOBUTTON | WS_TABSTOP, 0, 16, 48, 80, 9, 108, "button", "Random Data"},
        {base | BS_AUTORADIOBUTTON | WS_TABSTOP, 0, 104, 36, 80, 8, 109, "button", "ASCII Text"},
        {base | BS_AUTORADIOBUTTON | WS_TABSTOP, 0, 104, 48, 80, 9, 110, "button", "Truncate / Set Size"},
        {base | BS_DEFPUSHBUTTON | BS_CENTER | WS_TABSTOP, 0, 44, 84, 48, 17, 105, "button", "Save"},
        {base | BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP, 0, 108, 84, 48, 17, 106, "button", "Exit"},
        {base | WS_BORDER, 0, 8, 69, 184, 13, 111, "msctls_progress32", ""},
    };
    const size_t expectedCount = sizeof expected / sizeof expected[0];
    ASSERT_EQ(dialog.items.size(), expectedCount);
    for (size_t i = 0; i < expectedCount; ++i) {
        const TemplateItem& want = expected[i];
        const TemplateItem& got = dialog.items[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.className, want.className);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want.style) << std::hex << "got 0x" << got.style << ", want 0x" << want.style;
        EXPECT_EQ(got.extendedStyle, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
    }
}

#pragma pack(push, 2)
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, OneIconOf32By32In16Colours) {
    const std::string group = Resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, 1);
    ASSERT_GE(group.size(), sizeof(IconGroupHeader)) << "no icon group with id 1";
    IconGroupHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    EXPECT_EQ(header.type, 1) << "an icon group";
    ASSERT_EQ(header.count, 1) << "exactly one image";
    ASSERT_GE(group.size(), sizeof header + sizeof(IconGroupEntry));
    IconGroupEntry entry;
    std::memcpy(&entry, group.data() + sizeof header, sizeof entry);
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 32);
    EXPECT_EQ(entry.colorCount, 16);

    // The image itself: a 4-bit bitmap, twice as high for its AND mask.
    const std::string image = Resource(MAKEINTRESOURCEA(3) /* RT_ICON */, entry.id);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "icon image " << entry.id << " missing";
    EXPECT_EQ(image.size(), entry.bytesInResource);
    BITMAPINFOHEADER bitmap;
    std::memcpy(&bitmap, image.data(), sizeof bitmap);
    EXPECT_EQ(bitmap.biWidth, 32);
    EXPECT_EQ(bitmap.biHeight, 64);
    EXPECT_EQ(bitmap.biBitCount, 4);
}

// Both shipped programs carry the manifest and a version resource of their own.
struct ShippedExe {
    const char* file;
    const char* description;
};
const ShippedExe kShippedExes[] = {
    {"fillwright.exe", "Fillwright: makes a file of a chosen size"},
    {"fillwright-cli.exe", "Fillwright command line: makes files of a chosen size"},
};
class ShippedResources : public ProgramResources, public ::testing::WithParamInterface<ShippedExe> {
    std::string Path() override { return ProgramPath().substr(0, ProgramPath().rfind('\\') + 1) + GetParam().file; }
};

TEST_P(ShippedResources, Manifest) {
    const std::string manifest = Resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, 1);
    ASSERT_FALSE(manifest.empty()) << "no manifest with id 1";
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "<requestedExecutionLevel level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "<asmv3:windowsSettings>", "WindowsSettings\">true</dpiAware>",
          "WindowsSettings\">UTF-8</activeCodePage>", "WindowsSettings\">true</longPathAware>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << "the manifest lacks " << part;
    }
}

// A version string: its UTF-16 key, padding to 32 bits, the (ASCII) value.
std::string VersionString(const std::string& block, const std::string& key) {
    std::string wideKey;
    for (char c : key) wideKey += std::string(1, c) + '\0';
    size_t at = block.find(wideKey + std::string(2, '\0'));
    if (at == std::string::npos) return "(missing)";
    std::string value;
    for (at = (at + wideKey.size() + 5) & ~static_cast<size_t>(3); at + 1 < block.size() && block[at]; at += 2)
        value += block[at];
    return value;
}

TEST_P(ShippedResources, VersionOfTheProject) {
    const std::string block = Resource(MAKEINTRESOURCEA(16) /* RT_VERSION */, 1);
    const size_t fixed = block.find("\xBD\x04\xEF\xFE");  // VS_FIXEDFILEINFO's signature
    ASSERT_NE(fixed, std::string::npos) << "no version resource with id 1";
    VS_FIXEDFILEINFO info;
    ASSERT_GE(block.size(), fixed + sizeof info);
    std::memcpy(&info, block.data() + fixed, sizeof info);
    char fixedVersion[32];
    std::snprintf(fixedVersion, sizeof fixedVersion, "%u.%u.%u.%u", HIWORD(info.dwFileVersionMS),
                  LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
    EXPECT_STREQ(fixedVersion, FILLWRIGHT_VERSION ".0");
    EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
    EXPECT_EQ(info.dwProductVersionLS, info.dwFileVersionLS);
    const std::string name = GetParam().file;
    const std::pair<const char*, std::string> strings[] = {
        {"FileDescription", GetParam().description},
        {"FileVersion", FILLWRIGHT_VERSION},
        {"ProductName", "Fillwright"},
        {"ProductVersion", FILLWRIGHT_VERSION},
        {"CompanyName", "The Fillwright authors"},
        {"LegalCopyright", "Copyright (C) " FILLWRIGHT_COPYRIGHT_YEAR " The Fillwright authors. MIT License."},
        {"InternalName", name.substr(0, name.size() - 4)},
        {"OriginalFilename", name}};
    for (const auto& string : strings) EXPECT_EQ(VersionString(block, string.first), string.second) << string.first;
}

void PrintTo(const ShippedExe& exe, std::ostream* out) { *out << exe.file; }  // names the case
INSTANTIATE_TEST_SUITE_P(Programs, ShippedResources, ::testing::ValuesIn(kShippedExes));

}  // namespace
