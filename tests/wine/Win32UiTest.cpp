// The Win32 window in-process, under Wine: the dialog template, the system
// menu, the icons, the log operations and every drawing rule of the colour
// log. The device is the simulated one, bound statically.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/File.h"
#include "simulator/SimDevice.h"
#include "tests/wine/Clipboard.h"
#include "ui/win32/FlasherDlgWin32.h"
#include "ui/win32/resource.h"
#include "update/UpdateState.h"

namespace {

using ui::LogColour;
constexpr WPARAM CFlasherDlgTimer = win32::CFlasherDlg::kTimerId;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Config config;
        sim::Instance().Reset(config);
        device::Device() = sim::StaticLibrary();
        ASSERT_NE(dialog_.Create(), nullptr) << GetLastError();
        // Hidden: the log then spends no time painting.
        ShowWindow(dialog_.hwnd(), SW_HIDE);
    }

    HWND hwnd() const { return dialog_.hwnd(); }
    HWND item(int id) const { return GetDlgItem(dialog_.hwnd(), id); }
    int LogCount() const {
        return static_cast<int>(SendMessageW(item(IDC_LOG), LB_GETCOUNT, 0, 0));
    }
    std::wstring LogText(int index) { return dialog_.logList().GetText(index); }

    win32::CFlasherDlg dialog_;
};

std::wstring TextOf(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

// ---- the dialog template ----------------------------------------------------------------------

// Dialog 102 as the resource holds it (an extended dialog template).
struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring windowClass, text;
};
struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring title, font;
    WORD pointSize = 0, weight = 0;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : p_(data), start_(data) {}
    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, p_, sizeof value);
        p_ += sizeof value;
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (WORD c; (c = Read<WORD>()) != 0;) text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // A string, an ordinal (0xFFFF, n; predefined classes 0x80 button to 0x85) or nothing.
    std::wstring StringOrOrdinal() {
        WORD first;
        std::memcpy(&first, p_, sizeof first);
        if (first == 0xFFFF) {
            p_ += 2;
            static const wchar_t* const kClasses[] = {L"Button",  L"Edit",      L"Static",
                                                      L"ListBox", L"ScrollBar", L"ComboBox"};
            const WORD ordinal = Read<WORD>();
            return ordinal >= 0x80 && ordinal <= 0x85 ? kClasses[ordinal - 0x80]
                                                      : L"#" + std::to_wstring(ordinal);
        }
        return String();
    }
    void AlignDword() {
        while ((p_ - start_) % 4 != 0) ++p_;
    }

private:
    const BYTE* p_;
    const BYTE* start_;
};

DialogTemplate LoadTemplate(UINT id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    DialogTemplate t;
    if (resource == nullptr) return t;
    TemplateReader in(static_cast<const BYTE*>(LockResource(LoadResource(module, resource))));
    if (in.Read<WORD>() != 1 || in.Read<WORD>() != 0xFFFF) return t;  // not DLGTEMPLATEEX
    in.Read<DWORD>();                                                 // help id
    t.exStyle = in.Read<DWORD>();
    t.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    in.Read<short>();
    in.Read<short>();
    t.cx = in.Read<short>();
    t.cy = in.Read<short>();
    in.StringOrOrdinal();  // menu
    in.StringOrOrdinal();  // class
    t.title = in.String();
    if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
        t.pointSize = in.Read<WORD>();
        t.weight = in.Read<WORD>();
        in.Read<BYTE>();
        in.Read<BYTE>();
        t.font = in.String();
    }
    for (WORD i = 0; i < count; ++i) {
        in.AlignDword();
        TemplateItem item;
        in.Read<DWORD>();  // help id
        item.exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = in.Read<DWORD>();
        item.windowClass = in.StringOrOrdinal();
        item.text = in.StringOrOrdinal();
        const WORD extra = in.Read<WORD>();
        for (WORD b = 0; b < extra; ++b) in.Read<BYTE>();
        t.items.push_back(item);
    }
    return t;
}

struct ControlRow {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    short x, y, cx, cy;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
};

const ControlRow kControls[] = {
    {IDC_EXIT, L"Button", L"Exit", 248, 84, 66, 26, WS_TABSTOP | BS_DEFPUSHBUTTON},
    {IDC_LINK_STATUS, L"Edit", L"", 7, 52, 153, 14,
     WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
    {IDC_LOG, L"ListBox", L"", 7, 114, 307, 136,
     WS_BORDER | WS_VSCROLL | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY |
         LBS_NOINTEGRALHEIGHT | LBS_NOSEL},
    {IDC_RESTART, L"Button", L"Restart", 248, 55, 66, 26, WS_TABSTOP | BS_PUSHBUTTON},
    {IDC_FIRMWARE_VERSION, L"Edit", L"", 7, 73, 153, 14, WS_BORDER | ES_AUTOHSCROLL | ES_READONLY},
    {IDC_SERIAL_NUMBER, L"Edit", L"", 7, 94, 153, 14, WS_BORDER | ES_AUTOHSCROLL | ES_READONLY},
    {IDC_PROGRESS, L"Edit", L"", 248, 38, 66, 12, WS_BORDER | ES_CENTER | ES_AUTOHSCROLL},
    {IDC_CURRENT_FILE, L"Edit", L"", 7, 14, 230, 12,
     WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY},
    {IDC_INFO, L"Button", L"QDX Info", 172, 84, 66, 26, WS_TABSTOP | BS_PUSHBUTTON},
    {IDC_UPDATE, L"Button", L"Update", 248, 7, 66, 26, WS_TABSTOP | BS_PUSHBUTTON},
};

TEST(MainWindowTemplate, HasTheTenControlsInTabOrderWithPlaceAndStyle) {
    const DialogTemplate t = LoadTemplate(IDD_QDX_UPDATE_DIALOG);
    ASSERT_EQ(t.items.size(), std::size(kControls));
    for (size_t i = 0; i < t.items.size(); ++i) {
        const TemplateItem& item = t.items[i];
        const ControlRow& row = kControls[i];
        SCOPED_TRACE(row.id);
        EXPECT_EQ(item.id, static_cast<DWORD>(row.id)) << "tab order";
        EXPECT_EQ(_wcsicmp(item.windowClass.c_str(), row.windowClass), 0);
        EXPECT_EQ(item.text, row.text);
        EXPECT_EQ(item.x, row.x);
        EXPECT_EQ(item.y, row.y);
        EXPECT_EQ(item.cx, row.cx);
        EXPECT_EQ(item.cy, row.cy);
        EXPECT_EQ(item.style, WS_CHILD | WS_VISIBLE | row.style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
    }
}

TEST(MainWindowTemplate, IsAVisibleModalFrameWithCaptionSystemMenuAndTaskbarButton) {
    const DialogTemplate t = LoadTemplate(IDD_QDX_UPDATE_DIALOG);
    EXPECT_EQ(t.title, L"QDX-Update");
    EXPECT_EQ(t.cx, 321);
    EXPECT_EQ(t.cy, 257);
    EXPECT_EQ(t.font, L"Microsoft Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, FW_NORMAL);
    EXPECT_EQ(t.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE |
                                          WS_CAPTION | WS_SYSMENU))
        << std::hex << t.style;
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
}

TEST(AboutTemplate, ShowsTheNameTheVersionAndAnOkButton) {
    const DialogTemplate t = LoadTemplate(IDD_ABOUTBOX);
    std::vector<std::wstring> texts;
    for (const TemplateItem& item : t.items) texts.push_back(item.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"QDX-Update"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Version " QDX_TEST_VERSION), texts.end());
    const auto ok = std::find_if(t.items.begin(), t.items.end(),
                                 [](const TemplateItem& item) { return item.id == IDOK; });
    ASSERT_NE(ok, t.items.end());
    EXPECT_EQ(ok->text, L"OK");
}

// The window made from the template: every control where the template puts it.
TEST_F(MainWindow, PlacesEveryControlWhereTheTemplateSays) {
    HWND child = GetWindow(hwnd(), GW_CHILD);
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.id);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), row.id) << "tab order";
        // Place and size are converted from dialog units each on its own.
        RECT place = {row.x, row.y, row.cx, row.cy};
        MapDialogRect(hwnd(), &place);
        const RECT expected = {place.left, place.top, place.left + place.right,
                               place.top + place.bottom};
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "no further controls";

    RECT size = {0, 0, 321, 257};
    MapDialogRect(hwnd(), &size);
    RECT client;
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"Microsoft Sans Serif");
}

TEST_F(MainWindow, SystemMenuEndsWithASeparatorAndTheAboutEntry) {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
    wchar_t text[64] = L"";
    GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Info über Flasher...");
    MENUITEMINFOW before{};
    before.cbSize = sizeof before;
    before.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &before);
    EXPECT_NE(before.fType & MFT_SEPARATOR, 0u);
}

TEST_F(MainWindow, ShowsItsIconBigSmallAndWhenDragged) {
    ASSERT_NE(dialog_.icon(), nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hwnd(), WM_GETICON, ICON_BIG, 0)),
              dialog_.icon());
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hwnd(), WM_GETICON, ICON_SMALL, 0)),
              dialog_.icon());
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hwnd(), WM_QUERYDRAGICON, 0, 0)),
              dialog_.icon());
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, IconGroupHas48_32And16PixelImagesIn256Colours) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    WORD count = 0;
    std::memcpy(&count, data + 4, sizeof count);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, data + 6 + i * sizeof entry, sizeof entry);
        sizes.push_back(entry.width);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.bitCount, 8);
    }
    EXPECT_EQ(sizes, (std::vector<int>{48, 32, 16}));
}

TEST(Resources, AboutEntryTextKeepsItsUmlaut) {
    wchar_t text[64] = L"";
    ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 64), 0);
    EXPECT_STREQ(text, L"&Info \u00FCber Flasher...");
}

// Sharp on every monitor (per-monitor v2, system-aware where that is unknown),
// and the one version of the project.
TEST(Resources, ManifestDeclaresPerMonitorDpiAndTheVersion) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    for (const std::string& text :
         {std::string(
              "<dpiAware "
              "xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"),
          std::string(
              "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
              "PerMonitorV2, system</dpiAwareness>"),
          std::string("name=\"QDX.Update\" version=\"" QDX_TEST_VERSION ".0\""),
          std::string("<requestedExecutionLevel level=\"asInvoker\""),
          std::string("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"")})
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
}

// ---- the log operations -----------------------------------------------------------------------

TEST_F(MainWindow, StoresTheColourOfEachLogColour) {
    const struct {
        LogColour colour;
        DWORD stored;
    } rows[] = {{LogColour::Black, 0},          {LogColour::Blue, 0x00CD0000},
                {LogColour::Red, 0x000000FF},   {LogColour::Green, 0x0032C832},
                {static_cast<LogColour>(4), 0}, {static_cast<LogColour>(255), 0}};
    for (const auto& row : rows) {
        dialog_.AppendLogLine(L"line", row.colour);
        const int last = LogCount() - 1;
        EXPECT_EQ(static_cast<DWORD>(SendMessageW(item(IDC_LOG), LB_GETITEMDATA, last, 0)),
                  row.stored)
            << static_cast<int>(row.colour);
    }
    EXPECT_EQ(LogCount(), 6);
}

TEST_F(MainWindow, LogKeepsTheNewest10000LinesAndScrollsToTheLast) {
    for (int i = 1; i <= 10001; ++i)
        dialog_.AppendLogLine(L"line " + std::to_wstring(i), LogColour::Blue);
    EXPECT_EQ(LogCount(), 10000);
    EXPECT_EQ(LogText(0), L"line 2");
    EXPECT_EQ(LogText(9999), L"line 10001");
    EXPECT_EQ(SendMessageW(item(IDC_LOG), LB_GETITEMDATA, 9999, 0), 0x00CD0000);

    RECT client;
    GetClientRect(item(IDC_LOG), &client);
    const auto top = static_cast<int>(SendMessageW(item(IDC_LOG), LB_GETTOPINDEX, 0, 0));
    const auto height = static_cast<int>(SendMessageW(item(IDC_LOG), LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(height, 0);
    EXPECT_LE(top, 9999);
    EXPECT_GE(top + client.bottom / height, 9999) << "the newest line is in view";

    dialog_.ClearLog();
    EXPECT_EQ(LogCount(), 0);
    dialog_.ClearLog();
    EXPECT_EQ(LogCount(), 0);
}

TEST_F(MainWindow, EveryLineIsAsHighAsAMenuCheckMarkEmptyOnesToo) {
    dialog_.AppendLogLine(L"", LogColour::Black);
    dialog_.AppendLogLine(L"Start Update", LogColour::Blue);
    ASSERT_EQ(LogCount(), 2);
    EXPECT_EQ(LogText(0), L"");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(SendMessageW(item(IDC_LOG), LB_GETITEMHEIGHT, i, 0),
                  GetSystemMetrics(SM_CYMENUCHECK));
}

// Moved to a monitor of 144 dpi (per-monitor aware), the log's lines take the
// height of a menu check mark there, those already in the log too.
TEST_F(MainWindow, LinesTakeTheHeightOfTheNewMonitorsDpi) {
    const int at96 = win32::MenuCheckHeight(96), at144 = win32::MenuCheckHeight(144);
    ASSERT_GT(at144, at96) << "this system cannot tell a menu check mark's height per DPI";
    dialog_.AppendLogLine(L"Start Update", LogColour::Blue);
    RECT window;
    GetWindowRect(dialog_.hwnd(), &window);
    SendMessageW(dialog_.hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&window));
    dialog_.AppendLogLine(L"Programming OK", LogColour::Green);
    ASSERT_EQ(LogCount(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(SendMessageW(item(IDC_LOG), LB_GETITEMHEIGHT, i, 0), at144) << i;
}

TEST_F(MainWindow, WindowOperationsReachTheControls) {
    dialog_.SetFieldText(IDC_CURRENT_FILE, L"Encrypted Firmware: QDX140-FW2500.Bic");
    EXPECT_EQ(TextOf(item(IDC_CURRENT_FILE)), L"Encrypted Firmware: QDX140-FW2500.Bic");
    dialog_.EnableControl(IDC_RESTART, true);
    EXPECT_TRUE(IsWindowEnabled(item(IDC_RESTART)));
    dialog_.EnableControl(IDC_RESTART, false);
    EXPECT_FALSE(IsWindowEnabled(item(IDC_RESTART)));
}

// ---- the timer --------------------------------------------------------------------------------

win32::CFlasherDlg* g_starting = nullptr;
bool g_timerAtOpenLink = false;

// OpenLink of the simulated device, noting whether the window's timer 1
// already exists (KillTimer tells; the timer is started again at once).
int32_t QDX_CALL OpenLinkNotingTheTimer() {
    HWND window = g_starting->hwnd();
    g_timerAtOpenLink = KillTimer(window, win32::CFlasherDlg::kTimerId) != FALSE;
    if (g_timerAtOpenLink)
        SetTimer(window, win32::CFlasherDlg::kTimerId, win32::CFlasherDlg::kTimerPeriodMs, nullptr);
    return sim::StaticLibrary().OpenLink();
}

TEST(MainWindowStart, StartsTheTimerBeforeItOpensTheLink) {
    sim::Instance().Reset(sim::Config{});
    device::Device() = sim::StaticLibrary();
    device::Device().OpenLink = OpenLinkNotingTheTimer;
    win32::CFlasherDlg dialog;
    g_starting = &dialog;
    g_timerAtOpenLink = false;
    ASSERT_NE(dialog.Create(), nullptr) << GetLastError();
    ShowWindow(dialog.hwnd(), SW_HIDE);
    device::Device() = sim::StaticLibrary();
    EXPECT_TRUE(g_timerAtOpenLink);
    const std::vector<sim::Call> trace = sim::Instance().Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].op, sim::Op::OpenLink);
    EXPECT_EQ(TextOf(GetDlgItem(dialog.hwnd(), IDC_LINK_STATUS)), L"USB Interface: Ready");
}

// The dialog procedure runs the tick and returns FALSE, so the timer message
// goes on to the default processing.
TEST_F(MainWindow, TickThenLeavesTheTimerMessageToTheDefaultProcessing) {
    const auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd(), DWLP_DLGPROC));
    ASSERT_NE(procedure, nullptr);
    sim::Instance().ClearTrace();
    EXPECT_EQ(procedure(hwnd(), WM_TIMER, win32::CFlasherDlg::kTimerId, 0), FALSE);
    std::vector<sim::Op> calls;
    for (const sim::Call& call : sim::Instance().Trace()) calls.push_back(call.op);
    EXPECT_EQ(calls, (std::vector<sim::Op>{sim::Op::ReadVersion, sim::Op::ReadSerialNumber}));
    EXPECT_EQ(TextOf(item(IDC_FIRMWARE_VERSION)), L"Firmw. Version: 2.4.0.0");
    EXPECT_TRUE(IsWindowEnabled(item(IDC_UPDATE)));
}

// ---- update file names ------------------------------------------------------------------------

// An ANSI name is read in the calling thread's code page, which may differ
// from the system's.
TEST(UpdateFileNames, AnsiNamesAreReadInTheThreadsCodePage) {
    ASSERT_NE(GetACP(), 1251u) << "the test needs a system code page other than Cyrillic";
    const LCID before = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT)));
    const std::wstring cyrillic = platform::AnsiToWide("QDX\xC0.Bic");
    SetThreadLocale(before);
    EXPECT_EQ(cyrillic, L"QDX\x0410.Bic");
    EXPECT_EQ(platform::AnsiToWide("QDX140-FW2500.Bic"), L"QDX140-FW2500.Bic");
}

// ---- the log on the screen at its cap ---------------------------------------------------------

// The main window shown, with every line the log paints recorded (WM_DRAWITEM
// reaching the dialog) and the list's picture read back from the screen.
class ShownLog : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        KillTimer(hwnd(), win32::CFlasherDlg::kTimerId);
        ShowWindow(hwnd(), SW_SHOW);
        UpdateWindow(hwnd());
        Pump();
        recorder_ = this;
        original_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            item(IDC_LOG), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc)));
    }
    void TearDown() override {
        SetWindowLongPtrW(item(IDC_LOG), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        recorder_ = nullptr;
    }

    // The part of the list each of its paints covers.
    static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PAINT) {
            RECT update{};
            GetUpdateRect(window, &update, FALSE);
            recorder_->painted_.push_back(update);
        }
        return CallWindowProcW(recorder_->original_, window, message, wParam, lParam);
    }
    RECT LineRect(int index) {
        RECT rect{};
        SendMessageW(item(IDC_LOG), LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    static std::string Describe(const std::vector<RECT>& rects) {
        std::ostringstream text;
        for (const RECT& r : rects)
            text << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ") ";
        return text.str();
    }
    static std::string Differences(const std::vector<DWORD>& a, const std::vector<DWORD>& b,
                                   int width) {
        if (a.size() != b.size()) return "sizes differ";
        int n = 0, top = -1, bottom = -1, left = width, right = -1;
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i] == b[i]) continue;
            const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
            ++n;
            if (top < 0) top = y;
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
        std::ostringstream text;
        text << n << " pixels differ in x " << left << ".." << right << ", y " << top << ".."
             << bottom;
        return text.str();
    }
    int PictureWidth() {
        RECT window;
        GetWindowRect(item(IDC_LOG), &window);
        return window.right - window.left;
    }

    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    // Lines up to `count` as the log holds them, put in without painting each.
    void FillTo(int count) {
        HWND list = item(IDC_LOG);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (int i = LogCount(); i < count; ++i) {
            const std::wstring text = L"line " + std::to_wstring(i + 1);
            const auto index =
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(index), 0x00CD0000);
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
        RedrawWindow(list, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        Pump();
    }
    // The list as the screen shows it, scroll bar and border included.
    std::vector<DWORD> Picture() {
        HWND list = item(IDC_LOG);
        RECT window;
        GetWindowRect(list, &window);
        const int width = window.right - window.left, height = window.bottom - window.top;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        HDC screen = GetWindowDC(list);
        HDC memory = CreateCompatibleDC(screen);
        DWORD* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS,
                                          reinterpret_cast<void**>(&bits), nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        GdiFlush();
        std::vector<DWORD> pixels(bits, bits + width * height);
        for (DWORD& p : pixels) p &= 0x00FFFFFF;
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(list, screen);
        return pixels;
    }
    // The picture a complete repaint of the list gives.
    std::vector<DWORD> RepaintedPicture() {
        RedrawWindow(item(IDC_LOG), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        Pump();
        return Picture();
    }
    static int CountColour(const std::vector<DWORD>& pixels, COLORREF colour) {
        const DWORD pixel =
            (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        return static_cast<int>(std::count(pixels.begin(), pixels.end(), pixel));
    }
    int TopIndex() { return static_cast<int>(SendMessageW(item(IDC_LOG), LB_GETTOPINDEX, 0, 0)); }
    int VisibleLines() {
        RECT client;
        GetClientRect(item(IDC_LOG), &client);
        return client.bottom /
               static_cast<int>(SendMessageW(item(IDC_LOG), LB_GETITEMHEIGHT, 0, 0));
    }

    static inline ShownLog* recorder_ = nullptr;
    WNDPROC original_ = nullptr;
    std::vector<RECT> painted_;
};

// Each new line is painted before AppendLogLine returns, and it is the only
// line painted: the lines above it move up with the picture.
TEST_F(ShownLog, AnAppendPaintsOnlyTheNewLineAndTheScreenMatchesAFullRepaint) {
    const struct {
        const char* what;
        int before;  // lines in the log before the appends
    } cases[] = {{"a short log", 2}, {"a log longer than the view", 300}, {"a full log", 10000}};
    const LogColour colours[] = {LogColour::Red, LogColour::Green, LogColour::Black,
                                 LogColour::Blue};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialog_.ClearLog();
        FillTo(c.before);
        ASSERT_GT(VisibleLines(), 4);
        for (int i = 0; i < 4; ++i) {
            painted_.clear();
            dialog_.AppendLogLine(L"appended " + std::to_wstring(i), colours[i]);
            const int last = LogCount() - 1;
            // One paint, at once, of the new line and at most the strip below it.
            const RECT line = LineRect(last);
            ASSERT_EQ(painted_.size(), 1u) << Describe(painted_);
            EXPECT_LE(painted_[0].top, line.top) << Describe(painted_);
            EXPECT_GE(painted_[0].bottom, line.bottom) << Describe(painted_);
            EXPECT_LT(painted_[0].bottom - painted_[0].top, 2 * (line.bottom - line.top))
                << Describe(painted_);
            EXPECT_EQ(last, std::min(c.before + i, 9999));
            EXPECT_EQ(LogText(last), L"appended " + std::to_wstring(i));
            EXPECT_EQ(TopIndex(), std::max(0, last + 1 - VisibleLines()))
                << "the newest line is the last in view";
        }
        Pump();
        const std::vector<DWORD> shown = Picture();
        EXPECT_GT(CountColour(shown, 0x000000FF), 20) << "the red line";
        EXPECT_GT(CountColour(shown, 0x0032C832), 20) << "the green line";
        EXPECT_EQ(shown, RepaintedPicture())
            << "the scrolled picture is the list's own: "
            << Differences(shown, RepaintedPicture(), PictureWidth());
    }
    EXPECT_EQ(LogCount(), 10000);
    EXPECT_EQ(LogText(0), L"line 5");
}

// ClearLog of a full log: one pass, the list empty and painted empty, its
// scroll bar at the start; the next line is line 0 and shown.
TEST_F(ShownLog, ClearingAFullLogLeavesAnEmptyListPaintedOnce) {
    FillTo(10000);
    painted_.clear();
    dialog_.ClearLog();
    EXPECT_EQ(LogCount(), 0);
    EXPECT_EQ(TopIndex(), 0);
    EXPECT_EQ(painted_.size(), 1u) << "painted once, at once: " << Describe(painted_);
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_ALL;
    if (GetScrollInfo(item(IDC_LOG), SB_VERT, &scroll)) {
        EXPECT_EQ(scroll.nPos, 0);
        EXPECT_LE(scroll.nMax, 0);
    }
    const std::vector<DWORD> empty = Picture();
    EXPECT_EQ(CountColour(empty, 0x00CD0000), 0) << "no line of the full log left on the screen";
    EXPECT_EQ(empty, RepaintedPicture());

    painted_.clear();
    dialog_.AppendLogLine(L"Start Update", LogColour::Blue);
    EXPECT_EQ(LogCount(), 1);
    EXPECT_EQ(LogText(0), L"Start Update");
    ASSERT_EQ(painted_.size(), 1u) << Describe(painted_);
    EXPECT_LE(painted_[0].top, LineRect(0).top);
    EXPECT_GE(painted_[0].bottom, LineRect(0).bottom);
    const std::vector<DWORD> one = Picture();
    EXPECT_GT(CountColour(one, 0x00CD0000), 20);
    EXPECT_EQ(one, RepaintedPicture());
}

// ---- drawing one line -------------------------------------------------------------------------

// A 32-bit bitmap to draw on, filled with a colour no rule produces.
class Canvas {
public:
    static constexpr int kWidth = 240, kHeight = 24;
    static constexpr COLORREF kUntouched = RGB(1, 2, 3);

    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        font_ = CreateFontW(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                            NONANTIALIASED_QUALITY, 0, L"Tahoma");
        oldFont_ = SelectObject(dc_, font_);
        Fill(kUntouched);
    }
    ~Canvas() {
        SelectObject(dc_, oldFont_);
        SelectObject(dc_, old_);
        DeleteObject(font_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }

    HDC dc() const { return dc_; }
    void Fill(COLORREF colour) {
        for (int i = 0; i < kWidth * kHeight; ++i) bits_[i] = ToPixel(colour);
    }
    COLORREF At(int x, int y) const {
        const DWORD p = bits_[y * kWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // How many pixels inside `rect` have exactly `colour`.
    int Count(COLORREF colour, RECT rect = {0, 0, kWidth, kHeight}) const {
        int n = 0;
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x) n += At(x, y) == colour;
        return n;
    }
    std::vector<DWORD> Pixels() const { return {bits_, bits_ + kWidth * kHeight}; }

private:
    static DWORD ToPixel(COLORREF c) {
        return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_, oldFont_;
    HFONT font_;
    DWORD* bits_ = nullptr;
};

// Draws lines of a CColorListBox on the canvas. By default the list is one
// that allows selection (as a list drawn by this class may); the message log
// itself has none.
class DrawLine : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        HWND list = CreateWindowW(L"ListBox", L"",
                                  WS_CHILD | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY |
                                      LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER,
                                  0, 0, 200, 100, hwnd(), reinterpret_cast<HMENU>(kSelectableId),
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(list, nullptr);
        selectable_.Attach(list);
    }

    // Draws line `index` of `list` in the item rectangle `rect`, as the list would.
    void Draw(int index, UINT action, UINT state, RECT rect = {0, 0, 120, 18}) {
        DrawOn(selectable_, index, action, state, rect);
    }
    void DrawOn(win32::CColorListBox& list, int index, UINT action, UINT state,
                RECT rect = {0, 0, 120, 18}) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_LISTBOX;
        item.CtlID = static_cast<UINT>(GetDlgCtrlID(list.hwnd()));
        item.itemID = static_cast<UINT>(index);
        item.itemAction = action;
        item.itemState = state;
        item.hwndItem = list.hwnd();
        item.hDC = canvas_.dc();
        item.rcItem = rect;
        item.itemData = index >= 0 ? list.GetItemData(index) : 0;
        list.DrawItem(item);
    }
    // A line with the colour value the log stores for `colour`.
    int Add(LogColour colour, const wchar_t* text = L"WMWMWM") {
        const int index = selectable_.AddString(text);
        selectable_.SetItemData(index, ui::StoredColour(colour));
        return index;
    }

    static constexpr int kSelectableId = 2000;
    win32::CColorListBox selectable_;
    Canvas canvas_;
};

// What one line looks like for each colour, action and state.
struct DrawCase {
    const char* name;
    LogColour colour;
    UINT action, state;
    int background;  // COLORREF, a COLOR_ system index when negative (-index-1), or untouched
    int ink;         // the same coding
};

constexpr int Sys(int index) { return -index - 1; }
constexpr int kUntouchedBackground = 0x7FFFFFFF;

COLORREF Resolve(int coded) {
    if (coded == kUntouchedBackground) return Canvas::kUntouched;
    return coded < 0 ? GetSysColor(-coded - 1) : static_cast<COLORREF>(coded);
}

const DrawCase kDrawCases[] = {
    {"blue selected shows the complement on its own colour", LogColour::Blue, ODA_DRAWENTIRE,
     ODS_SELECTED, 0x00CD0000, 0x0032FFFF},
    {"blue selected by a selection change", LogColour::Blue, ODA_SELECT, ODS_SELECTED, 0x00CD0000,
     0x0032FFFF},
    {"blue drawn whole without a fill", LogColour::Blue, ODA_DRAWENTIRE, 0, kUntouchedBackground,
     0x00CD0000},
    {"blue unselected fills with the window colour", LogColour::Blue, ODA_SELECT, 0,
     Sys(COLOR_WINDOW), 0x00CD0000},
    {"red", LogColour::Red, ODA_DRAWENTIRE, 0, kUntouchedBackground, 0x000000FF},
    {"green", LogColour::Green, ODA_SELECT, 0, Sys(COLOR_WINDOW), 0x0032C832},
    {"black follows the window text colour", LogColour::Black, ODA_SELECT, 0, Sys(COLOR_WINDOW),
     Sys(COLOR_WINDOWTEXT)},
    {"black selected: highlight text on black", LogColour::Black, ODA_DRAWENTIRE, ODS_SELECTED, 0,
     Sys(COLOR_HIGHLIGHTTEXT)},
    {"disabled blue is grey", LogColour::Blue, ODA_SELECT, ODS_DISABLED, Sys(COLOR_WINDOW),
     Sys(COLOR_GRAYTEXT)},
    {"disabled black is grey", LogColour::Black, ODA_DRAWENTIRE, ODS_DISABLED, kUntouchedBackground,
     Sys(COLOR_GRAYTEXT)},
    {"selected wins over disabled", LogColour::Green, ODA_DRAWENTIRE, ODS_SELECTED | ODS_DISABLED,
     0x0032C832, 0x00CD37CD},
};

TEST_F(DrawLine, FollowsTheColourTable) {
    for (const DrawCase& c : kDrawCases) {
        SCOPED_TRACE(c.name);
        canvas_.Fill(Canvas::kUntouched);
        const int index = Add(c.colour);
        Draw(index, c.action, c.state);
        const COLORREF background = Resolve(c.background);
        const COLORREF ink = Resolve(c.ink);
        // The corner below the text is background; the text is drawn in the ink.
        EXPECT_EQ(canvas_.At(118, 17), background);
        EXPECT_GT(canvas_.Count(ink, {0, 0, 120, 18}), 20);
        // Nothing outside the item rectangle's rows.
        EXPECT_EQ(canvas_.Count(Canvas::kUntouched, {0, 18, Canvas::kWidth, Canvas::kHeight}),
                  Canvas::kWidth * (Canvas::kHeight - 18));
    }
}

// The log has no selection: a line of it never shows as selected, even when
// the list control passes the selected state for its current line.
TEST_F(DrawLine, TheLogShowsNoLineSelected) {
    dialog_.AppendLogLine(L"QDX-Update OK", LogColour::Green);
    DrawOn(dialog_.logList(), LogCount() - 1, ODA_DRAWENTIRE, ODS_SELECTED);
    EXPECT_EQ(canvas_.At(118, 17), Canvas::kUntouched) << "no fill in the line's colour";
    EXPECT_GT(canvas_.Count(0x0032C832, {0, 0, 120, 18}), 20) << "the text in the line's colour";
    EXPECT_EQ(canvas_.Count(0x00CD37CD), 0) << "no complement colour";
}

TEST_F(DrawLine, NegativeIndexDrawsNothing) {
    Add(LogColour::Blue);
    const auto before = canvas_.Pixels();
    Draw(-1, ODA_DRAWENTIRE | ODA_SELECT | ODA_FOCUS, ODS_SELECTED | ODS_FOCUS);
    EXPECT_EQ(canvas_.Pixels(), before);
}

TEST_F(DrawLine, FocusRectangleInvertsSoTheSameCallTakesItAway) {
    const int index = Add(LogColour::Blue, L"");
    const RECT item = {0, 0, 120, 18};
    const auto before = canvas_.Pixels();
    Draw(index, ODA_FOCUS, ODS_FOCUS, item);
    const auto withFocus = canvas_.Pixels();
    // Changed pixels lie on the item rectangle's edge only.
    int changed = 0;
    for (int y = 0; y < Canvas::kHeight; ++y) {
        for (int x = 0; x < Canvas::kWidth; ++x) {
            const size_t i = static_cast<size_t>(y * Canvas::kWidth + x);
            if (withFocus[i] == before[i]) continue;
            ++changed;
            const bool onEdge =
                (x == item.left || x == item.right - 1 || y == item.top || y == item.bottom - 1) &&
                x < item.right && y < item.bottom;
            EXPECT_TRUE(onEdge) << x << "," << y;
        }
    }
    EXPECT_GT(changed, 100);
    Draw(index, ODA_FOCUS, 0, item);
    EXPECT_EQ(canvas_.Pixels(), before);
}

TEST_F(DrawLine, RestoresTheDeviceContextsTextColourAndMode) {
    const int index = Add(LogColour::Red);
    SetTextColor(canvas_.dc(), RGB(9, 8, 7));
    SetBkMode(canvas_.dc(), OPAQUE);
    Draw(index, ODA_DRAWENTIRE, ODS_SELECTED);
    EXPECT_EQ(GetTextColor(canvas_.dc()), RGB(9, 8, 7));
    EXPECT_EQ(GetBkMode(canvas_.dc()), OPAQUE);
}

TEST_F(DrawLine, TextStartsTopLeftTransparentAndRunsPastTheRightEdge) {
    const int index = Add(LogColour::Blue, L"WMWMWMWMWMWMWMWMWMWM");
    Draw(index, ODA_DRAWENTIRE, 0, {10, 2, 40, 20});
    const COLORREF ink = 0x00CD0000;
    EXPECT_EQ(canvas_.Count(ink, {0, 0, 10, Canvas::kHeight}), 0) << "nothing left of the item";
    EXPECT_GT(canvas_.Count(ink, {10, 2, 40, 20}), 0);
    EXPECT_GT(canvas_.Count(ink, {40, 0, Canvas::kWidth, Canvas::kHeight}), 0)
        << "the text goes on past the item's right edge";
    // Transparent: between the letters the canvas shows through.
    EXPECT_GT(canvas_.Count(Canvas::kUntouched, {10, 2, 40, 20}), 0);
}

// ---- the log's context menu ---------------------------------------------------------------------

// The popup menu's items, read while it is shown (a thread timer runs inside
// the menu's own loop), then the menu is closed.
struct MenuSeen {
    std::vector<std::wstring> items;
    std::vector<bool> grayed;
};
MenuSeen g_menuSeen;

void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (menuWindow == nullptr || !IsWindowVisible(menuWindow)) return;
    auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[512] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
        g_menuSeen.items.push_back(text);
        g_menuSeen.grayed.push_back(
            (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0);
    }
    KillTimer(nullptr, timer);
    EndMenu();
}

// Shift+F10 or the menu key: WM_CONTEXTMENU at (-1, -1) to the focused log.
MenuSeen ShowLogMenu(HWND log) {
    g_menuSeen = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadShownMenu);
    SendMessageW(log, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(log), static_cast<LPARAM>(-1));
    KillTimer(nullptr, timer);
    return g_menuSeen;
}

const std::vector<std::wstring> kLogMenu = {L"&Copy\tCtrl+C", L"&Save As\u2026", L"",
                                            L"&Open Records Folder", L"Update &History\u2026"};

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<char>(c));
        std::fclose(f);
    }
    return bytes;
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

TEST_F(MainWindow, LogMenuOffersCopySaveAsTheRecordsAndTheHistory) {
    const MenuSeen seen = ShowLogMenu(item(IDC_LOG));
    EXPECT_EQ(seen.items, kLogMenu);
    for (size_t i = 0; i < seen.items.size(); ++i) {
        if (!seen.items[i].empty()) {
            EXPECT_FALSE(seen.grayed[i]) << "every command can be chosen";
        }
    }
}

TEST_F(MainWindow, CopyAndCtrlCPutEveryLineOnTheClipboard) {
    dialog_.AppendLogLine(L"Start Update", LogColour::Blue);
    dialog_.AppendLogLine(L"", LogColour::Black);
    dialog_.AppendLogLine(L"Gr\u00FC\u00DFe \u20AC", LogColour::Green);
    const std::wstring expected = L"Start Update\r\n\r\nGr\u00FC\u00DFe \u20AC\r\n";

    ASSERT_TRUE(wine_tests::EmptyTheClipboard());
    SendMessageW(hwnd(), WM_COMMAND, win32::CLogMenu::kCopy, 0);  // the menu's Copy
    EXPECT_EQ(wine_tests::ClipboardText(), expected);

    // Ctrl+C in the log.
    ASSERT_TRUE(wine_tests::EmptyTheClipboard());
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE control = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(item(IDC_LOG), WM_KEYDOWN, 'C', 0);
    keys[VK_CONTROL] = control;
    SetKeyboardState(keys);
    EXPECT_EQ(wine_tests::ClipboardText(), expected);

    // C alone copies nothing.
    ASSERT_TRUE(wine_tests::EmptyTheClipboard());
    SendMessageW(item(IDC_LOG), WM_KEYDOWN, 'C', 0);
    EXPECT_EQ(wine_tests::ClipboardText(), L"<no text>");
}

TEST_F(MainWindow, SaveAsWritesTheLinesAsUtf8ThroughTheDialog) {
    dialog_.AppendLogLine(L"Start Update", LogColour::Blue);
    dialog_.AppendLogLine(L"", LogColour::Black);
    dialog_.AppendLogLine(L"Gr\u00FC\u00DFe \u20AC", LogColour::Green);
    const std::wstring path = TempPath(L"qdx-saved-log.txt");
    DeleteFileW(path.c_str());
    int asked = 0;
    bool choose = false;
    dialog_.logMenu().SetChooseFile([&](HWND owner, std::wstring& chosen) {
        ++asked;
        EXPECT_EQ(owner, hwnd());
        chosen = path;
        return choose;
    });
    SendMessageW(hwnd(), WM_COMMAND, win32::CLogMenu::kSaveAs, 0);  // cancelled
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES)
        << "a cancelled dialog writes nothing";

    choose = true;
    SendMessageW(hwnd(), WM_COMMAND, win32::CLogMenu::kSaveAs, 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(FileBytes(path),
              "Start Update\r\n\r\nGr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC\r\n");
    DeleteFileW(path.c_str());
}

// A records folder that cannot be made: the update's record is not written and
// the menu says so in a grayed line.
TEST(LogMenu, SaysWhenTheRecordsFolderCannotBeWritten) {
    const std::wstring blocker = TempPath(L"qdx-records-blocker");
    if (FILE* f = _wfopen(blocker.c_str(), L"w")) std::fclose(f);
    wchar_t saved[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
    SetEnvironmentVariableW(L"LOCALAPPDATA", blocker.c_str());
    sim::Instance().Reset(sim::Config{});
    device::Device() = sim::StaticLibrary();
    {
        win32::CFlasherDlg dialog;
        ASSERT_NE(dialog.Create(), nullptr);
        ShowWindow(dialog.hwnd(), SW_HIDE);
        SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog.hwnd(), IDC_UPDATE)));
        EXPECT_FALSE(dialog.recorder().writable());
        const MenuSeen seen = ShowLogMenu(GetDlgItem(dialog.hwnd(), IDC_LOG));
        std::vector<std::wstring> expected = kLogMenu;
        expected.push_back(L"");
        expected.push_back(L"No record: " + blocker + L"\\QDX-Update\\records cannot be written");
        EXPECT_EQ(seen.items, expected);
        ASSERT_EQ(seen.grayed.size(), expected.size());
        EXPECT_TRUE(seen.grayed.back()) << "the note is no command";
        DestroyWindow(dialog.hwnd());
    }
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved);
    EXPECT_EQ(GetFileAttributesW(blocker.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    DeleteFileW(blocker.c_str());
}

// ---- closing while a worker programs the device, and a shutdown meanwhile ---------------------

void SetWorkerStatus(update::WorkerStatus status) {
    update::updateState.workerStatus.store(static_cast<int32_t>(status));
}

// The shutdown block reasons the window gives and takes back, as
// "+reason" and "-", each checked to name the window.
struct ShutdownReasons {
    static inline HWND window = nullptr;
    static inline std::vector<std::wstring> calls;
    static BOOL WINAPI Create(HWND w, LPCWSTR reason) {
        calls.push_back(w == window ? L"+" + std::wstring(reason) : L"+ another window");
        return TRUE;
    }
    static BOOL WINAPI Destroy(HWND w) {
        calls.push_back(w == window ? L"-" : L"- another window");
        return TRUE;
    }
};

class Shutdown : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        ShutdownReasons::window = hwnd();
        ShutdownReasons::calls.clear();
        win32::CFlasherDlg::shutdownReasonCreate = ShutdownReasons::Create;
        win32::CFlasherDlg::shutdownReasonDestroy = ShutdownReasons::Destroy;
    }
    void TearDown() override {
        win32::CFlasherDlg::shutdownReasonCreate = ShutdownBlockReasonCreate;
        win32::CFlasherDlg::shutdownReasonDestroy = ShutdownBlockReasonDestroy;
        SetWorkerStatus(update::WorkerStatus::Idle);
    }
    LRESULT Query(LPARAM flags = 0) { return SendMessageW(hwnd(), WM_QUERYENDSESSION, 0, flags); }
    void Tick() { SendMessageW(hwnd(), WM_TIMER, CFlasherDlgTimer, 0); }
    using Calls = std::vector<std::wstring>;
};

TEST_F(Shutdown, WaitsWhileAWorkerProgramsTheDevice) {
    EXPECT_NE(Query(), 0) << "no worker: the session may end";
    Tick();
    EXPECT_EQ(ShutdownReasons::calls, Calls{});

    // A worker starts within a tick: the reason is given from that tick on.
    SetWorkerStatus(update::WorkerStatus::Running);
    Tick();
    EXPECT_EQ(ShutdownReasons::calls, Calls{L"+programming the device"});
    EXPECT_EQ(Query(), 0);
    EXPECT_EQ(Query(ENDSESSION_LOGOFF), 0);
    SetWorkerStatus(update::WorkerStatus::Note);
    EXPECT_EQ(Query(), 0) << "a note: the worker goes on";
    Tick();
    Tick();
    EXPECT_EQ(ShutdownReasons::calls, Calls{L"+programming the device"}) << "given once";

    // The stage ends: the tick that shows the result lets the session end again.
    SetWorkerStatus(update::WorkerStatus::Succeeded);
    Tick();
    EXPECT_EQ(ShutdownReasons::calls, (Calls{L"+programming the device", L"-"}));
    EXPECT_NE(Query(), 0);
    ASSERT_GE(LogCount(), 1);
    EXPECT_EQ(LogText(LogCount() - 1), L"Programming OK");
}

// A query between two ticks decides by the worker as it is then.
TEST_F(Shutdown, AQueryBetweenTicksSeesTheWorker) {
    SetWorkerStatus(update::WorkerStatus::Running);
    EXPECT_EQ(Query(), 0);
    SetWorkerStatus(update::WorkerStatus::Failed);
    EXPECT_NE(Query(), 0) << "the worker has ended";
    EXPECT_EQ(ShutdownReasons::calls, (Calls{L"+programming the device", L"-"}));
}

BOOL CALLBACK AddChildText(HWND child, LPARAM lParam) {
    *reinterpret_cast<std::wstring*>(lParam) += L"\n" + TextOf(child);
    return TRUE;
}

// A window's title and its children's texts, one a line.
std::wstring TextsOf(HWND window) {
    std::wstring texts = TextOf(window);
    EnumChildWindows(window, AddChildText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// The close box: the dialog turns WM_CLOSE into a posted IDCANCEL, so the
// queue is worked off here as the message loop would.
void PressCloseBox(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Answers the quit-now question from inside its modal loop: a thread timer
// fires there, finds the box the window owns, keeps its texts and presses a
// button, or, with no button, lets the worker finish and the window tick.
struct Answer {
    static inline HWND owner = nullptr;
    static inline int button = 0;
    static inline std::wstring boxTexts;

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        HWND box = nullptr;
        for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
            if (GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w)) box = w;
        if (box == nullptr) return;
        KillTimer(nullptr, id);
        boxTexts = TextsOf(box);
        if (button != 0) {
            SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
        } else {
            update::workerMessage.Set(L"left by the worker");
            SetWorkerStatus(update::WorkerStatus::Succeeded);
            PostMessageW(owner, WM_TIMER, CFlasherDlgTimer, 0);
        }
    }
};

TEST(Closing, AFurtherRequestWhileAWorkerProgramsAsksWhetherToQuitNow) {
    sim::Instance().Reset(sim::Config{});
    device::Device() = sim::StaticLibrary();
    const struct {
        const char* name;
        int button;
        bool windowStays;
    } cases[] = {
        {"No: keeps waiting", IDNO, true},
        {"Yes: quits at once", IDYES, false},
        {"the stage ends meanwhile: box and window close", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        win32::CFlasherDlg dialog;
        ASSERT_NE(dialog.Create(), nullptr);
        HWND window = dialog.hwnd();
        SetWorkerStatus(update::WorkerStatus::Running);
        EXPECT_EQ(TextOf(window), L"QDX-Update");
        PressCloseBox(window);
        ASSERT_TRUE(IsWindow(window)) << "the first request waits for the worker";
        EXPECT_EQ(TextOf(window), L"QDX-Update - closing after this stage");

        Answer::owner = window;
        Answer::button = c.button;
        Answer::boxTexts.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, Answer::OnTimer);
        ASSERT_NE(timer, 0u);
        PressCloseBox(window);  // returns when the box is gone
        KillTimer(nullptr, timer);
        EXPECT_NE(Answer::boxTexts.find(L"QDX-Update\n"), std::wstring::npos) << "the box's title";
        EXPECT_NE(Answer::boxTexts.find(L"Quit now? The device may be left partly programmed."),
                  std::wstring::npos)
            << Answer::boxTexts.size();
        EXPECT_EQ(IsWindow(window) != FALSE, c.windowStays);
        if (c.windowStays) {
            EXPECT_EQ(TextOf(window), L"QDX-Update - closing after this stage");
            SetWorkerStatus(update::WorkerStatus::Succeeded);
            SendMessageW(window, WM_TIMER, CFlasherDlgTimer, 0);
            EXPECT_FALSE(IsWindow(window)) << "the tick that shows the result ends the window";
        } else if (c.button == IDYES) {
            EXPECT_EQ(update::ReadWorkerStatus(), update::WorkerStatus::Running)
                << "ended while the worker still runs";
        } else {
            EXPECT_EQ(update::ReadWorkerStatus(), update::WorkerStatus::Idle)
                << "the result was taken";
        }
    }
    SetWorkerStatus(update::WorkerStatus::Idle);
}

TEST_F(MainWindow, ClosingWithoutAWorkerEndsAtOnce) {
    HWND window = hwnd();
    PressCloseBox(window);
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
