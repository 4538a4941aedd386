// Filling TEditListBox from a slow source without holding the window: the source is read on a
// worker thread, and its entries are added in steps between which the message loop runs.
#include "platform/stopwatch_win32.h"
#include "platform/utf_win32.h"
#include "widgets/editlist/EditListBox_win32.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace kes {
namespace {

// Posted to the list: wParam the fill's serial, lParam what happened.
constexpr UINT kFillMessage = WM_APP + 0x4C1;
constexpr LPARAM kReadOver = 0, kNextStep = 1;
// A step adds at most this many entries, and stops early after this many milliseconds.
constexpr std::size_t kStepEntries = 1024;
constexpr double kStepMs = 30;
// A read that ends within this time is taken at once: a small list is whole without a flash
// of the reading text.
constexpr DWORD kShortReadMs = 50;

std::atomic<WPARAM> serials{0};

// The entries, also widened, sorted as the list box compares them (the locale's collation, case
// ignored): each one then goes to the list's end instead of shifting everything after it.
void InListOrder(std::vector<std::string>& names, std::vector<std::wstring>& wide, bool sorted,
                 LCID locale) {
    wide.reserve(names.size());
    for (const auto& n : names)
        wide.push_back(Widen(n));
    if (!sorted)
        return;
    // Sort keys compare as the collation does, byte for byte: one call per name instead of one
    // per comparison.
    std::vector<std::pair<std::string, std::size_t>> keys(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
        const int n = LCMapStringW(locale, flags, wide[i].c_str(), -1, nullptr, 0);
        keys[i].second = i;
        if (n <= 0)
            continue; // sorted first; the fill still puts it in its place
        keys[i].first.resize(static_cast<std::size_t>(n));
        LCMapStringW(locale, flags, wide[i].c_str(), -1,
                     reinterpret_cast<LPWSTR>(keys[i].first.data()), n);
    }
    std::stable_sort(keys.begin(), keys.end());
    std::vector<std::string> sortedNames;
    std::vector<std::wstring> sortedWide;
    sortedNames.reserve(names.size());
    sortedWide.reserve(names.size());
    for (const auto& k : keys) {
        sortedNames.push_back(std::move(names[k.second]));
        sortedWide.push_back(std::move(wide[k.second]));
    }
    names = std::move(sortedNames);
    wide = std::move(sortedWide);
}

DWORD WINAPI RunReader(void* arg) {
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(arg));
    (*run)();
    return 0;
}

} // namespace

// What the worker hands over; it writes before `over` and the list reads after it.
struct FillJob {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> over{false};
    std::vector<std::string> names;
    std::vector<std::wstring> entries; // the names as the list box takes them
    std::string error;
};

void TEditListBox::FillInBackground(std::function<std::vector<std::string>()> read, TFillDone done,
                                    std::string readingText) {
    EndEdit();
    DropFill();
    // Workers that are over are let go; one still reading is waited for at the list's end.
    readers_.erase(std::remove_if(readers_.begin(), readers_.end(),
                                  [](const UniqueKernelHandle& h) {
                                      return WaitForSingleObject(h.Get(), 0) == WAIT_OBJECT_0;
                                  }),
                   readers_.end());
    Clear();
    auto fill = std::make_unique<Fill>();
    fill->serial = ++serials;
    fill->job = std::make_shared<FillJob>();
    fill->done = std::move(done);
    fill->sorted = (GetWindowLongW(hwnd_, GWL_STYLE) & LBS_SORT) != 0;
    fill->locale = static_cast<LCID>(SendMessageW(hwnd_, LB_GETLOCALE, 0, 0));
    readingText_ = Widen(readingText);
    // One read at a time: a fill dropped before its read began never reads.
    auto run = std::make_unique<std::function<void()>>(
        [job = fill->job, read = std::move(read), lock = readLock_, sorted = fill->sorted,
         locale = fill->locale, hwnd = hwnd_, serial = fill->serial] {
            {
                const std::lock_guard<std::mutex> one(*lock);
                try {
                    if (!job->cancelled.load()) {
                        job->names = read();
                        InListOrder(job->names, job->entries, sorted, locale);
                    }
                } catch (const std::exception& e) {
                    job->names.clear();
                    job->entries.clear();
                    job->error = e.what();
                }
            }
            job->over.store(true, std::memory_order_release);
            if (!job->cancelled.load())
                PostMessageW(hwnd, kFillMessage, serial, kReadOver);
        });
    UniqueKernelHandle thread(CreateThread(nullptr, 0, &RunReader, run.get(), 0, nullptr));
    const HANDLE started = thread.Get();
    if (started) {
        run.release(); // the thread owns it
        readers_.push_back(std::move(thread));
    }
    fill_ = std::move(fill);
    InvalidateRect(hwnd_, nullptr, TRUE);
    if (!started)
        (*run)(); // no thread to be had: read here
    else
        WaitForSingleObject(started, kShortReadMs);
    if (fill_ && fill_->job->over.load(std::memory_order_acquire))
        FillStep();
}

void TEditListBox::FillStep() {
    Fill& f = *fill_;
    if (!f.adding) {
        f.adding = true;
        f.entries = std::move(f.job->entries);
        f.names = std::move(f.job->names);
        std::size_t chars = 0;
        for (const auto& e : f.entries)
            chars += e.size() + 1;
        BeginUpdate(static_cast<int>(f.entries.size()), chars);
    }
    // Straight to the list box's own procedure, measured here as LB_ADDSTRING's handling would.
    const auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd_, GCLP_WNDPROC));
    const double until = MillisecondsNow() + kStepMs;
    const std::size_t stop = std::min(f.entries.size(), f.next + kStepEntries);
    while (f.next < stop) {
        const std::wstring& entry = f.entries[f.next++];
        // In order it goes to the end; should the list compare otherwise, it finds its place.
        const bool inOrder = !f.sorted || !f.last ||
                             CompareStringW(f.locale, NORM_IGNORECASE, entry.c_str(), -1,
                                            f.last->c_str(), -1) != CSTR_LESS_THAN;
        const LRESULT at = CallWindowProcW(own, hwnd_, inOrder ? LB_INSERTSTRING : LB_ADDSTRING,
                                           inOrder ? static_cast<WPARAM>(-1) : 0,
                                           reinterpret_cast<LPARAM>(entry.c_str()));
        if (at < 0) {
            f.inOrder = false;
            continue;
        }
        widest_.Added(MeasureEntry(entry));
        if (static_cast<std::size_t>(at) == f.count)
            f.last = &entry;
        else
            f.inOrder = false;
        ++f.count;
        if (f.next % 64 == 0 && MillisecondsNow() > until)
            break;
    }
    if (f.next < f.entries.size()) {
        PostMessageW(hwnd_, kFillMessage, f.serial, kNextStep);
        return;
    }
    const auto done = std::move(f.done);
    const std::string error = f.job->error;
    // Reading the list back costs a message per entry: only when it is not in the read's order.
    const std::vector<std::string> shown = f.inOrder ? std::move(f.names) : Items();
    fill_.reset();
    EndUpdate();
    Refresh();
    if (done)
        done(shown, error);
}

void TEditListBox::DropFill() {
    if (!fill_)
        return;
    fill_->job->cancelled.store(true);
    const bool adding = fill_->adding;
    fill_.reset();
    if (adding)
        EndUpdate();
    if (hwnd_)
        InvalidateRect(hwnd_, nullptr, TRUE);
}

void TEditListBox::CancelFill() {
    if (!fill_)
        return;
    DropFill();
    Clear();
}

void TEditListBox::EndReaders() {
    DropFill();
    for (const auto& h : readers_)
        WaitForSingleObject(h.Get(), INFINITE);
    readers_.clear();
}

void TEditListBox::HandleFillMessage(WPARAM serial, LPARAM what) {
    // A read taken at once still posts; a dropped fill's messages find another serial.
    if (fill_ && fill_->serial == serial && (what == kNextStep || !fill_->adding))
        FillStep();
}

UINT TEditListBox::FillMessage() {
    return kFillMessage;
}

void TEditListBox::PaintReading(HDC dc) {
    RECT r;
    GetClientRect(hwnd_, &r);
    // The list's own background, as its parent gives it (the configured colour or the contrast
    // theme's).
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(hwnd_), WM_CTLCOLORLISTBOX,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(hwnd_)));
    FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_WINDOW));
    const HGDIOBJ old = SelectObject(dc, measureFont_);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    InflateRect(&r, -2, -1);
    DrawTextW(dc, readingText_.c_str(), static_cast<int>(readingText_.size()), &r,
              DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
}

} // namespace kes
