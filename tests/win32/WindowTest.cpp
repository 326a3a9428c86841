// The real window under Wine's null driver, driven with window messages; dialogs and message
// boxes answer through a test platform.
// <windows.h> comes before the other Windows headers.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "../AppTestSupport.h"
#include "../TestSupport.h"
#include "Conversions.h"
#include "MainWindow.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Win32Platform.h"

namespace fs = std::filesystem;

namespace {

std::string Text(HWND hwnd) {
    char buffer[256] = {};
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

class Window : public ::testing::Test {
  protected:
    TempDir dir;
    KeepCurrentFolder keep;
    FakePlatform platform;
    MainWindow* w = nullptr;

    void SetUp() override {
        platform.programFolder = dir.Root().string() + "\\";
        for (const char* name : {kSampleConfigName, kSampleLibraryName, kSampleMeshName}) {
            fs::copy_file(SamplePath(name), dir.Path(name));
        }
        platform.argument = kSampleMeshName;
    }
    void Open() {
        w = CreateMainWindow(GetModuleHandleA(nullptr), platform, SW_HIDE);
        ASSERT_NE(w, nullptr);
    }
    void TearDown() override { DestroyMainWindow(); }

    std::string Cell(int row, int column) {
        char buffer[256] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        SendMessageA(w->list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    void DoubleClick(int row, int x) {
        NMITEMACTIVATE activate{};
        activate.hdr = {w->list, kListId, LVN_ITEMACTIVATE};
        activate.iItem = row;
        activate.ptAction.x = x;
        SendMessageA(w->window, WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&activate));
    }
    void EndLabelEdit(int row, const char* text) {
        NMLVDISPINFOA info{};
        info.hdr = {w->list, kListId, LVN_ENDLABELEDITA};
        info.item.iItem = row;
        info.item.pszText = const_cast<char*>(text);
        SendMessageA(w->window, WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&info));
    }
    void SelectRow(int row) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(w->list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
    void ChooseShader(int entry) {
        SendMessageA(w->combo, CB_SETCURSEL, entry, 0);
        SendMessageA(w->window, WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(w->combo));
    }
    void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
};

}  // namespace

TEST_F(Window, FrameMenuAndFont) {
    Open();
    char cls[64];
    GetClassNameA(w->window, cls, sizeof cls);
    EXPECT_STREQ(cls, "PELLMAR");
    EXPECT_EQ(Text(w->window), "Pellmar - 11/34 (Blender form)");  // the input's form
    RECT r;
    GetWindowRect(w->window, &r);
    EXPECT_EQ(r.right - r.left, 725);
    EXPECT_EQ(r.bottom - r.top, 310);
    const LONG style = GetWindowLongA(w->window, GWL_STYLE);
    for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX})
        EXPECT_EQ(style & bit, bit);
    EXPECT_EQ(style & WS_THICKFRAME, 0);

    HMENU menu = GetMenu(w->window);
    char text[64];
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&File");
    GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Help");
    GetMenuStringA(menu, 105, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "E&xit");
    GetMenuStringA(menu, 104, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About ...");

    LOGFONTA font{};
    GetObjectA(w->font, sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    for (HWND child :
         {w->list, w->combo, w->cancelButton, w->cleanButton, w->testButton, w->toBlenderButton}) {
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)), w->font);
    }
}

TEST_F(Window, ControlsIdsPositionsAndStyles) {
    Open();
    struct Control {
        int id;
        const char* cls;
        const char* text;
        RECT rect;
    };
    const Control controls[] = {
        {kListId, "SysListView32", "", {10, 10, 410, 250}},
        {kComboId, "ComboBox", "", {420, 10, 700, 0}},
        {kCancelId, "Button", "Cancel", {440, 220, 550, 250}},
        {kCleanId, "Button", "Clean!", {590, 220, 700, 250}},
        {kToBlenderId, "Button", "To Blender", {440, 180, 550, 210}},
        {kTestId, "Button", "TEST!", {590, 180, 700, 210}},
    };
    for (const Control& c : controls) {
        HWND hwnd = GetDlgItem(w->window, c.id);
        ASSERT_NE(hwnd, nullptr) << c.id;
        char cls[64];
        GetClassNameA(hwnd, cls, sizeof cls);
        EXPECT_EQ(lstrcmpiA(cls, c.cls), 0) << cls;
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, w->window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.rect.left) << c.id;
        EXPECT_EQ(r.top, c.rect.top) << c.id;
        EXPECT_EQ(r.right, c.rect.right) << c.id;
        if (c.rect.bottom) {
            EXPECT_EQ(r.bottom, c.rect.bottom) << c.id;
        }
        if (c.id >= kCancelId) {
            EXPECT_EQ(Text(hwnd), c.text);
        }
    }
    const LONG list = GetWindowLongA(w->list, GWL_STYLE);
    for (LONG bit :
         {LVS_REPORT, LVS_SINGLESEL, LVS_SHOWSELALWAYS, LVS_EDITLABELS, LVS_NOSORTHEADER}) {
        EXPECT_EQ(list & bit, bit);
    }
    EXPECT_TRUE(GetWindowLongA(w->list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // The combo box draws its own border and drops WS_EX_CLIENTEDGE when it is created.
    EXPECT_EQ(GetWindowLongA(w->combo, GWL_STYLE) & CBS_DROPDOWNLIST, CBS_DROPDOWNLIST);
    const LRESULT ex = SendMessageA(w->list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(ex & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    const std::pair<const char*, int> columns[] = {
        {"Shape", 178}, {"Shader Assignment", 178}, {"Alpha", 39}};
    for (int i = 0; i < 3; ++i) {
        char header[64] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = header;
        column.cchTextMax = sizeof header;
        SendMessageA(w->list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(header, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
    }
}

TEST_F(Window, FilledFromTheSampleFiles) {
    Open();
    EXPECT_TRUE(platform.dialogs.empty());
    ASSERT_EQ(SendMessageA(w->list, LVM_GETITEMCOUNT, 0, 0), 3);
    const char* shapes[] = {"Body", "Hands", "Feet"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Cell(i, 0), shapes[i]);
        EXPECT_EQ(Cell(i, 1), "SkinBody");
        EXPECT_EQ(Cell(i, 2), "");
    }
    EXPECT_EQ(SendMessageA(w->combo, CB_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(SendMessageA(w->combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Text(w->combo), "SkinBody");
}

TEST_F(Window, DoubleClicksByPosition) {
    Open();
    DoubleClick(1, 180);
    DoubleClick(1, 360);
    EXPECT_EQ(Cell(1, 2), "");
    EXPECT_EQ(SendMessageA(w->list, LVM_GETEDITCONTROL, 0, 0), 0);
    DoubleClick(1, 361);
    EXPECT_EQ(Cell(1, 2), "yes");
    DoubleClick(1, 361);
    EXPECT_EQ(Cell(1, 2), "no");
    DoubleClick(1, 179);
    HWND edit = reinterpret_cast<HWND>(SendMessageA(w->list, LVM_GETEDITCONTROL, 0, 0));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(Text(edit), "Hands");
    SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);  // cancelled: nothing changes
    EXPECT_EQ(Cell(1, 0), "Hands");
    EXPECT_NE(w->state.inputNif.FindShapeByName("Hands"), nullptr);
}

TEST_F(Window, LabelEditRenamesTheShape) {
    Open();
    EndLabelEdit(0, "Torso");
    EXPECT_EQ(Cell(0, 0), "Torso");
    EXPECT_NE(w->state.inputNif.FindShapeByName("Torso"), nullptr);
    EndLabelEdit(0, nullptr);  // cancelled with Escape
    EXPECT_EQ(Cell(0, 0), "Torso");
}

TEST_F(Window, ComboChoiceSetsShaderAndAlpha) {
    Open();
    SelectRow(2);
    EXPECT_EQ(SendMessageA(w->combo, CB_GETCURSEL, 0, 0), 0);
    DoubleClick(2, 400);
    ChooseShader(2);  // "Hair (A)"
    EXPECT_EQ(Cell(2, 1), "Hair (A)");
    EXPECT_EQ(Cell(2, 2), "yes");
    ChooseShader(3);  // "Metal"
    EXPECT_EQ(Cell(2, 1), "Metal");
    EXPECT_EQ(Cell(2, 2), "no");
    SelectRow(0);
    EXPECT_EQ(SendMessageA(w->combo, CB_GETCURSEL, 0, 0), 0);
    SelectRow(2);
    EXPECT_EQ(SendMessageA(w->combo, CB_GETCURSEL, 0, 0), 3);
}

TEST_F(Window, CancelAndExit) {
    Open();
    Click(w->cancelButton);
    EXPECT_EQ(platform.quits, 1);
    SendMessageA(w->window, WM_COMMAND, 104, 0);  // About: nothing
    EXPECT_TRUE(IsWindow(w->window));
    HWND window = w->window;
    SendMessageA(window, WM_COMMAND, 105, 0);  // File > Exit
    EXPECT_FALSE(IsWindow(window));
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Window, CleanButtonSavesCancelsAndReportsFailures) {
    Open();
    Click(w->cleanButton);  // dialog cancelled
    EXPECT_EQ(platform.dialogs, std::vector<std::string>{"Save Skyrim Nif"});
    EXPECT_TRUE(platform.messages.empty());

    WriteFileBytes(dir.Path("file.nif"), {1});
    platform.saveAnswer = dir.Path("file.nif").string() + "\\out.nif";
    Click(w->cleanButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text.rfind("Failed to save .nif file: 1\n", 0), 0u);
    EXPECT_NE(platform.messages[0].text.find(platform.saveAnswer), std::string::npos);
    EXPECT_EQ(platform.messages[0].caption, "Save Failed");
    EXPECT_EQ(platform.quits, 0);

    platform.saveAnswer = dir.Path("game.nif").string();
    Click(w->cleanButton);
    EXPECT_EQ(platform.messages.back().text.rfind("Skyrim .nif saved successfully.\n\nRepairs:", 0),
              0u);
    EXPECT_EQ(platform.quits, 1);
    NifFile out;
    ASSERT_EQ(out.Load(dir.Path("game.nif").string()), rc::kOk);
    EXPECT_EQ(out.header.userVersion, 12u);
}

TEST_F(Window, TestButtonWritesIntoTheDataFolder) {
    platform.dataPath = dir.Path("Data").string() + "\\";
    Open();
    Click(w->testButton);
    EXPECT_TRUE(platform.dialogs.empty());
    EXPECT_EQ(platform.messages.back().text.rfind("Skyrim .nif saved successfully.\n\nRepairs:", 0),
              0u);
    const fs::path folder =
        dir.Path("Data") / "meshes" / "actors" / "character" / "character assets";
    EXPECT_TRUE(fs::exists(folder / "femalebody_0.nif"));
    EXPECT_TRUE(fs::exists(folder / "femalebody_1.nif"));
}

TEST_F(Window, ToBlenderWritesBesideTheInput) {
    NifFile game;
    NifFile library;
    ASSERT_EQ(library.Load(dir.Path(kSampleLibraryName).string()), rc::kOk);
    ASSERT_EQ(PrepareClean(MakeSampleMesh(), library, {}, AlphaSettings{}, game).code, rc::kOk);
    ASSERT_EQ(game.Save(dir.Path("game.nif").string()), rc::kOk);
    platform.argument = dir.Path("game.nif").string();
    Open();
    Click(w->toBlenderButton);
    EXPECT_EQ(platform.messages.back().text, "Blender .nif saved successfully.");
    NifFile back;
    ASSERT_EQ(back.Load(dir.Path("blend_game.nif").string()), rc::kOk);
    EXPECT_EQ(back.header.userVersion, 11u);
}

TEST(Registry, InstalledPathInThe32BitView) {
    const char* keyName = "SOFTWARE\\Bethesda Softworks\\Skyrim";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char path[] = "C:\\Games\\Skyrim\\";
    RegSetValueExA(key, "Installed Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   sizeof path);
    Win32Platform platform;
    EXPECT_EQ(platform.SkyrimDataPath(), "C:\\Games\\Skyrim\\Data\\");
    const DWORD number = 7;
    RegSetValueExA(key, "Installed Path", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    EXPECT_EQ(platform.SkyrimDataPath(), "");  // not a text: as if missing
    RegDeleteValueA(key, "Installed Path");
    EXPECT_EQ(platform.SkyrimDataPath(), "");
    RegCloseKey(key);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keyName, KEY_WOW64_32KEY, 0);
    EXPECT_EQ(platform.SkyrimDataPath(), "");
}

TEST(CommandLine, FirstArgumentInTheUtf8CodePage) {
    EXPECT_EQ(GetACP(), 65001u) << "the manifest selects the UTF-8 code page";
    EXPECT_EQ(FirstArgumentOf(L"pellmar.exe \"C:\\Mods\\K\u00f6rper \u4f53.nif\" second"),
              "C:\\Mods\\K\xC3\xB6rper \xE4\xBD\x93.nif");
    EXPECT_EQ(FirstArgumentOf(L"pellmar.exe"), "");
    const std::wstring longName = L"pellmar.exe C:\\" + std::wstring(400, L'a') + L".nif";
    EXPECT_EQ(FirstArgumentOf(longName.c_str()).size(), 3u + 400 + 4);
}
