#include "MainWindow.h"

#include <commctrl.h>

#include <memory>

#include "Win32Platform.h"
#include "resource.h"

namespace {

std::unique_ptr<MainWindow> theWindow;
char windowTitle[100];
char windowClass[100];

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (theWindow && theWindow->window == hwnd)
        return theWindow->Procedure(message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PELLMAR));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_PELLMAR);
    wc.lpszClassName = windowClass;
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExA(&wc);
}

HWND Child(HWND parent, HINSTANCE instance, DWORD exStyle, const char* cls, const char* text,
           DWORD style, int x, int y, int w, int h, int id, HFONT font) {
    HWND hwnd =
        CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

void SetCell(HWND list, size_t row, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void CreateControls(MainWindow& w, HINSTANCE instance) {
    w.list =
        Child(w.window, instance, WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
              LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS | LVS_NOSORTHEADER,
              10, 10, 400, 240, kListId, w.font);
    SendMessageA(w.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_REGIONAL);
    const struct {
        const char* header;
        int width;
    } columns[] = {{"Shape", 178}, {"Shader Assignment", 178}, {"Alpha", 39}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = columns[i].width;
        column.pszText = const_cast<char*>(columns[i].header);
        column.iSubItem = i;
        SendMessageA(w.list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    w.combo = Child(w.window, instance, WS_EX_CLIENTEDGE, "ComboBox", "ShadersList",
                    CBS_DROPDOWNLIST, 420, 10, 280, 500, kComboId, w.font);
    w.cancelButton = Child(w.window, instance, 0, "BUTTON", "Cancel", BS_PUSHBUTTON, 440, 220, 110,
                           30, kCancelId, w.font);
    w.cleanButton = Child(w.window, instance, 0, "BUTTON", "Clean!", BS_PUSHBUTTON, 590, 220, 110,
                          30, kCleanId, w.font);
    w.toBlenderButton = Child(w.window, instance, 0, "BUTTON", "To Blender", BS_PUSHBUTTON, 440,
                              180, 110, 30, kToBlenderId, w.font);
    w.testButton = Child(w.window, instance, 0, "BUTTON", "TEST!", BS_PUSHBUTTON, 590, 180, 110, 30,
                         kTestId, w.font);
}

// The combo box and the list as the logic filled them.
void FillControls(MainWindow& w) {
    SendMessageA(w.combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : w.state.list.ComboEntries()) {
        SendMessageA(w.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    if (auto selection = w.state.list.ComboSelection())
        SendMessageA(w.combo, CB_SETCURSEL, *selection, 0);
    const auto& rows = w.state.list.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(rows[i].shape.c_str());
        SendMessageA(w.list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        w.MirrorRow(i);
    }
}

int SelectedRow(HWND list) {
    return static_cast<int>(
        SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

}  // namespace

MainWindow::~MainWindow() {
    if (font) DeleteObject(font);
}

void MainWindow::MirrorRow(size_t row) {
    if (row >= state.list.Rows().size()) return;
    const AssignmentRow& r = state.list.Rows()[row];
    SetCell(list, row, 0, r.shape);
    SetCell(list, row, 1, r.shader);
    SetCell(list, row, 2, r.alpha);
}

void MainWindow::onListNotify(const NMHDR& header) {
    if (header.code == LVN_ENDLABELEDITA) {
        const auto& info = reinterpret_cast<const NMLVDISPINFOA&>(header);
        if (info.item.pszText && info.item.iItem >= 0) {
            const auto row = static_cast<size_t>(info.item.iItem);
            state.list.LabelEditEnded(row, std::string(info.item.pszText), state.inputNif);
            MirrorRow(row);
        }
    }
    if (header.code == LVN_ITEMACTIVATE) {
        const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
        if (activate.iItem >= 0) {
            const auto row = static_cast<size_t>(activate.iItem);
            switch (state.list.ItemActivated(row, activate.ptAction.x)) {
                case ShaderList::Activation::kToggleAlpha:
                    MirrorRow(row);
                    break;
                case ShaderList::Activation::kEditName:
                    SendMessageA(list, LVM_EDITLABELA, row, 0);
                    break;
                case ShaderList::Activation::kNothing:
                    break;
            }
        }
    }
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        const int row = SelectedRow(list);
        if ((change.uNewState & LVIS_SELECTED) && row >= 0) {
            state.list.RowSelected(static_cast<size_t>(row));
            if (auto selection = state.list.ComboSelection())
                SendMessageA(combo, CB_SETCURSEL, *selection, 0);
        }
    }
}

LRESULT MainWindow::Procedure(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id >= kComboId && id <= kToBlenderId) {
                std::optional<size_t> entry;
                const LRESULT selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
                if (selection != CB_ERR) entry = static_cast<size_t>(selection);
                onCommand(state, HIWORD(wParam), id - kComboId, entry);
                if (auto row = state.list.SelectedRow()) MirrorRow(*row);
            }
            if (id == IDM_EXIT) {
                DestroyWindow(window);
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kListId) onListNotify(*header);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

MainWindow* CreateMainWindow(HINSTANCE instance, Platform& platform, int showCommand) {
    LoadStringA(instance, IDS_APP_TITLE, windowTitle, sizeof windowTitle);
    LoadStringA(instance, IDC_PELLMAR, windowClass, sizeof windowClass);
    RegisterWindowClass(instance);

    auto w = std::make_unique<MainWindow>(platform);
    w->window =
        CreateWindowExA(0, windowClass, windowTitle,
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
                        CW_USEDEFAULT, 0, 725, 310, nullptr, nullptr, instance, nullptr);
    if (!w->window) return nullptr;
    if (auto* win32 = dynamic_cast<Win32Platform*>(&platform)) win32->owner = w->window;
    theWindow = std::move(w);
    MainWindow& main = *theWindow;

    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    main.font = CreateFontA(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    StartUpSettings(main.state);
    CreateControls(main, instance);
    StartUpFiles(main.state);
    FillControls(main);
    SetWindowTextA(main.window, WindowTitle(main.state).c_str());

    ShowWindow(main.window, showCommand);
    UpdateWindow(main.window);
    return &main;
}

void DestroyMainWindow() {
    if (theWindow && IsWindow(theWindow->window)) DestroyWindow(theWindow->window);
    theWindow.reset();
}

int RunMessageLoop(HINSTANCE instance) {
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_PELLMAR));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
