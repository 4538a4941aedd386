#include "console/viewer/log_viewer_win32.h"

#include "console/viewer/log_text.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <commdlg.h>

#include <vector>

namespace kes {

std::string DebugLogPath() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buf);
    // A longer answer is the size it would need, and the buffer holds nothing usable.
    if (n == 0 || n >= MAX_PATH)
        return {};
    return Narrow(std::wstring_view(buf, n)) + "Kestrova_debug.log";
}

std::string FallbackLogPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return "debug.log";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Narrow(path) + "debug.log";
}

bool LoadLogFile(const std::string& path, std::string& text) {
    text.clear();
    if (path.empty())
        return false;
    // Read sharing only: while the add-in holds the log open for writing this open fails.
    UniqueFile f(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr));
    if (!f.Valid())
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > kMaxLogBytes)
        return false;
    return ReadLogText(
        [&f](char* buf, size_t cap) -> long long {
            DWORD got = 0;
            if (!ReadFile(f.Get(), buf, static_cast<DWORD>(cap), &got, nullptr))
                return -1;
            return got;
        },
        text, static_cast<size_t>(size.QuadPart));
}

bool SetMemoAnsiText(HWND memo, const std::string& ansiText) {
    std::wstring w;
    try {
        w = WidenAnsi(ansiText);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str())))
        return false;
    return static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == w.size();
}

bool AppendMemoAnsiText(HWND memo, std::string_view ansiText, size_t totalLength) {
    std::wstring w;
    try {
        w = WidenAnsi(ansiText);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // WM_SETTEXT ignores the control's text limit, EM_REPLACESEL does not: lift it.
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    const LRESULT end = SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    return static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == totalLength;
}

namespace {
// One UTF-16 unit per byte, and a tail converts as it would within the whole text: not so in a
// code page of lead and trail bytes.
bool SingleByteCodePage() {
    static const bool single = [] {
        CPINFO info{};
        return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    }();
    return single;
}
} // namespace

bool LogFollower::Show(HWND memo, const std::string& path) {
    std::string text;
    if (!LoadLogFile(path, text))
        return false;
    if (holds_ && path == path_ && SingleByteCodePage() &&
        static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == text_.size()) {
        if (const auto part = AppendedPart(text_, text)) {
            // Nothing new leaves the text alone: no flicker.
            if (part->empty() || AppendMemoAnsiText(memo, *part, text.size())) {
                text_ = std::move(text);
                return true;
            }
        }
    }
    // Another file, or not merely grown: the whole text, into an emptied view so that the old
    // copy is gone before the new one is made.
    Forget();
    SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    if (!SetMemoAnsiText(memo, text))
        return false;
    path_ = path;
    text_ = std::move(text);
    holds_ = true;
    return true;
}

void LogFollower::Forget() {
    holds_ = false;
    path_.clear();
    std::string().swap(text_);
}

std::wstring MemoText(HWND memo) {
    const LRESULT n = SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const LRESULT got = SendMessageW(memo, WM_GETTEXT, static_cast<WPARAM>(w.size()),
                                     reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(got));
    return w;
}

std::string MemoAnsiText(HWND memo) {
    return NarrowAnsi(MemoText(memo));
}

int ShownLineCount(HWND memo) {
    if (SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0) == 0)
        return 0;
    const int rows = static_cast<int>(SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
    const LRESULT lastStart = SendMessageW(memo, EM_LINEINDEX, static_cast<WPARAM>(rows - 1), 0);
    if (rows > 0 && lastStart >= 0 && SendMessageW(memo, EM_LINELENGTH, lastStart, 0) == 0)
        return rows - 1;
    return rows;
}

void SaveFileBytes(const std::string& path, const std::string& bytes) {
    UniqueFile f(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Valid())
        throw Exception("Datei " + path + " kann nicht erstellt werden");
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(f.Get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            throw Exception("Stream-Schreibfehler");
        done += wrote;
    }
}

bool ExecuteSaveDialog(TSaveDialog& dialog) {
    // "A|b|C|d" becomes "A\0b\0C\0d\0\0".
    std::wstring filter = Widen(dialog.Filter);
    for (auto& c : filter)
        if (c == L'|')
            c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring title = Widen(dialog.Title), ext = Widen(dialog.DefaultExt),
                       dir = Widen(dialog.InitialDir);
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring initial = Widen(dialog.FileName);
    initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(dialog.FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = dialog.Options | OFN_EXPLORER;
    // The common dialogs bring the shell along: loaded when first needed, not at every start.
    using SaveFileName = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const auto save = reinterpret_cast<SaveFileName>(reinterpret_cast<void (*)()>(
        GetProcAddress(LoadLibraryW(L"comdlg32.dll"), "GetSaveFileNameW")));
    if (!save || !save(&ofn))
        return false;
    dialog.FileName = Narrow(file.data());
    dialog.FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

} // namespace kes
