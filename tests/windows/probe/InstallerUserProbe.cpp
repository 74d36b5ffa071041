// Stands in for the user at an installer's windows, for the installer test
// under Wine (which needs a display for them):
//
//   installer_user run PROGRAM [ARGUMENT...]
//       starts the program and goes through its wizard as a user who
//       accepts every page: Next, I Agree, Install, Uninstall, Close,
//       Finish (leaving any "Run" box on the last page unticked), and closes
//       the page of a run that stopped. Before it presses a page's button it
//       prints what the page shows: "welcome <title>" on a welcome page,
//       "text <its beginning, on one line>" of a licence, and "header <W>x<H> keystrel" (or
//       the colour found instead of Keystrel's teal) for the header picture.
//       A message
//       box is printed as "box <text>" (on one line), and the user's answer
//       is read from standard input, one line: "retry", "cancel" or "ok".
//       Each button it presses is printed ("pressed <page title>|<button>"),
//       and "exit <code>" once the program has ended; it ends with its status.
//   installer_user busy FILE
//       waits until FILE cannot be opened as a replacement or a removal
//       would open it (a program holds it), then prints "busy".
//
// Every wait is bounded only against a hung program. Plain Win32.
#include "PrintLine.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 180000;
constexpr DWORD kTurnMs = 100;
// A page's button is pressed once it has stood still this long: the
// wizard is given the time a user would take to read it.
constexpr int kSettledTurns = 3;

std::wstring textOf(HWND window)
{
    wchar_t text[2048];
    const int length = ::GetWindowTextW(window, text, int(sizeof text / sizeof *text));
    return std::wstring(text, size_t(length > 0 ? length : 0));
}

std::wstring classOf(HWND window)
{
    wchar_t name[256];
    const int length = ::GetClassNameW(window, name, int(sizeof name / sizeof *name));
    return std::wstring(name, size_t(length > 0 ? length : 0));
}

std::vector<HWND> dialogsOf(DWORD process)
{
    struct Search
    {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto *search = reinterpret_cast<Search *>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == search->process && ::IsWindowVisible(window) && classOf(window) == L"#32770")
                search->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Unticks the ticked check boxes of the wizard's current page.
void untick(HWND wizard)
{
    ::EnumChildWindows(
        wizard,
        [](HWND child, LPARAM) -> BOOL {
            const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
            const LONG_PTR kind = style & BS_TYPEMASK;
            if (classOf(child) == L"Button" && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX)
                && ::SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED)
                ::SendMessageW(child, BM_SETCHECK, BST_UNCHECKED, 0);
            return TRUE;
        },
        0);
}

// The control `id` anywhere inside `window`, visible.
HWND descendant(HWND window, int id)
{
    struct Search
    {
        int id;
        HWND found;
    } search{id, nullptr};
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM context) -> BOOL {
            auto *search = reinterpret_cast<Search *>(context);
            if (::GetDlgCtrlID(child) == search->id && ::IsWindowVisible(child)) {
                search->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Keystrel's header: its icon's teal, in the top rows of the icon, which
// stands at the right end of the picture. Read from the screen, as the
// picture's bitmap belongs to the installer's process.
std::wstring headerPicture(HWND control)
{
    RECT area{};
    ::GetClientRect(control, &area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    // The 150 by 57 picture has the 49-pixel icon 6 from its right end, and
    // a control wider than that shows it stretched or as it is: either way
    // x 125, 9 rows down, is in the icon's teal above the lock's shackle.
    POINT at{125, height * 9 / 57};
    ::ClientToScreen(control, &at);
    const HDC screen = ::GetDC(nullptr);
    const COLORREF found = ::GetPixel(screen, at.x, at.y);
    ::ReleaseDC(nullptr, screen);
    const int red = GetRValue(found), green = GetGValue(found), blue = GetBValue(found);
    const bool teal =
        found != CLR_INVALID && std::abs(red - 0x1A) < 24 && std::abs(green - 0xBC) < 24 && std::abs(blue - 0x9B) < 24;
    wchar_t colour[16];
    std::swprintf(colour, 16, L"#%02x%02x%02x", red, green, blue);
    return std::to_wstring(width) + L"x" + std::to_wstring(height) + L" "
           + (teal ? std::wstring(L"keystrel") : std::wstring(colour));
}

// What the wizard's page shows, before its button is pressed.
void describePage(HWND wizard)
{
    if (HWND title = descendant(wizard, 1201))
        print(L"welcome " + textOf(title));
    if (HWND licence = descendant(wizard, 1000)) {
        if (classOf(licence).rfind(L"RichEdit", 0) == 0 || classOf(licence).rfind(L"RICHEDIT", 0) == 0) {
            // Another process's edit control: only WM_GETTEXT reads its text.
            std::wstring text(4096, L'\0');
            text.resize(size_t(::SendMessageW(licence, WM_GETTEXT, WPARAM(text.size()), LPARAM(&text[0]))));
            for (wchar_t &c : text)
                c = c == L'\r' || c == L'\n' ? L' ' : c;
            print(L"text " + text.substr(0, 400));
        }
    }
    if (HWND header = descendant(wizard, 1046))
        print(L"header " + headerPicture(header));
}

bool pressable(HWND button)
{
    return button && ::IsWindowVisible(button) && ::IsWindowEnabled(button);
}

// A message box: its text has the id 0xFFFF. Prints it, presses the answer.
bool answerBox(HWND box)
{
    const HWND text = ::GetDlgItem(box, 0xFFFF);
    if (!text)
        return false;
    std::wstring shown = textOf(text);
    for (wchar_t &c : shown)
        c = c == L'\r' || c == L'\n' ? L' ' : c;
    print(L"box " + shown);
    std::string answer;
    std::getline(std::cin, answer);
    const int button = answer == "retry" ? IDRETRY : answer == "cancel" ? IDCANCEL : IDOK;
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return true;
}

int run(const std::wstring &commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        print(L"not started");
        return 1;
    }
    std::set<HWND> answered;
    std::wstring lastPage;
    int settled = 0;
    for (DWORD waited = 0; ::WaitForSingleObject(started.hProcess, kTurnMs) == WAIT_TIMEOUT; waited += kTurnMs) {
        if (waited > kPatienceMs) {
            std::wstring seen;
            for (HWND dialog : dialogsOf(started.dwProcessId))
                seen += L" [" + textOf(dialog) + L": " + textOf(::GetDlgItem(dialog, 1037)) + L"]";
            print(L"gave up, showing" + seen);
            ::TerminateProcess(started.hProcess, 1);
            return 1;
        }
        for (auto it = answered.begin(); it != answered.end();)
            it = ::IsWindow(*it) ? std::next(it) : answered.erase(it);
        for (HWND dialog : dialogsOf(started.dwProcessId)) {
            if (answered.count(dialog) || answerBox(dialog)) {
                answered.insert(dialog);
                continue;
            }
            // Next (Install, Close, Finish); where it is off and Cancel is
            // on, the page of a stopped run, whose Cancel is its Close.
            HWND button = ::GetDlgItem(dialog, IDOK);
            int id = IDOK;
            if (!pressable(button)) {
                button = ::GetDlgItem(dialog, IDCANCEL);
                id = IDCANCEL;
            }
            if (!pressable(button)) {
                settled = 0;
                continue;
            }
            // The page, as the header and the button name it.
            const std::wstring page = textOf(::GetDlgItem(dialog, 1037)) + L"|" + textOf(button);
            settled = page == lastPage ? settled + 1 : 0;
            lastPage = page;
            if (settled < kSettledTurns)
                continue;
            untick(dialog);
            describePage(dialog);
            print(L"pressed " + page);
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            settled = -kSettledTurns; // the next page has to come first
        }
    }
    DWORD status = 1;
    ::GetExitCodeProcess(started.hProcess, &status);
    print(L"exit " + std::to_wstring(status));
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return int(status);
}

int waitUntilBusy(const std::wstring &path)
{
    for (DWORD waited = 0; waited < kPatienceMs; waited += kTurnMs) {
        const HANDLE file =
            ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            print(L"busy");
            return 0;
        }
        ::CloseHandle(file);
        ::Sleep(kTurnMs);
    }
    print(L"free");
    return 1;
}

// NSIS takes "_?=" only unquoted, and the rest of the line as its folder.
std::wstring quoted(const std::wstring &argument)
{
    if (argument.rfind(L"_?=", 0) == 0 || argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    return L"\"" + argument + L"\"";
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"busy" && argc == 3)
        return waitUntilBusy(argv[2]);
    if (mode == L"run" && argc > 2) {
        std::wstring commandLine;
        for (int i = 2; i < argc; ++i)
            commandLine += (i > 2 ? L" " : L"") + quoted(argv[i]);
        return run(commandLine);
    }
    std::fputs("usage: installer_user run PROGRAM [ARGUMENT...] | busy FILE\n", stderr);
    return 2;
}
