// The owners release exactly once, whoever holds the handle at the end.
#include "platform/scoped_win32.h"

#include <gtest/gtest.h>

#include <utility>

namespace kes {
namespace {

bool KeyOpen(HKEY k) {
    return RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

HKEY OpenSoftware() {
    HKEY k = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &k));
    return k;
}

TEST(ScopedWin32, HandlesAreReleasedOnceByTheirLastOwner) {
    HKEY raw = OpenSoftware();
    {
        UniqueKey outer;
        {
            UniqueKey inner(raw);
            outer = std::move(inner);
            EXPECT_FALSE(inner.Valid());
        }
        EXPECT_TRUE(KeyOpen(raw)) << "the moved-from owner closed the key";
        EXPECT_EQ(raw, outer.Get());
    }
    EXPECT_FALSE(KeyOpen(raw)) << "the last owner left the key open";

    // Put hands out a slot after releasing what was held; Release gives the handle up.
    UniqueKey key(OpenSoftware());
    HKEY first = key.Get();
    HKEY* slot = key.Put();
    EXPECT_FALSE(KeyOpen(first)) << "Put kept the old key open";
    EXPECT_EQ(nullptr, *slot);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, slot));
    HKEY kept = key.Release();
    EXPECT_FALSE(key.Valid());
    EXPECT_TRUE(KeyOpen(kept));
    RegCloseKey(kept);

    // A file owner treats INVALID_HANDLE_VALUE, not null, as empty.
    UniqueFile none(
        CreateFileW(L"C:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(none.Valid());

    // Releasing keeps the error of the call that failed before it.
    UniqueKey last(OpenSoftware());
    SetLastError(ERROR_FILE_NOT_FOUND);
    last.Reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    // A one-off clean-up runs once at the end of its scope, unless dismissed.
    int runs = 0;
    {
        ScopeExit once([&runs] { ++runs; });
        ScopeExit dismissed([&runs] { runs += 10; });
        dismissed.Dismiss();
    }
    EXPECT_EQ(1, runs);
}

TEST(ScopedWin32, SelectedObjectPutsThePreviousObjectBack) {
    UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc.Valid());
    HGDIOBJ before = GetCurrentObject(dc.Get(), OBJ_FONT);
    UniqueFont font(
        CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    {
        SelectedObject selected(dc.Get(), font.Get());
        EXPECT_EQ(font.Get(), GetCurrentObject(dc.Get(), OBJ_FONT));
    }
    EXPECT_EQ(before, GetCurrentObject(dc.Get(), OBJ_FONT));
}

// Counts its references, so the test sees every Release.
struct Counted : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ScopedWin32, ComPointersHoldOneReferenceEach) {
    Counted object;
    {
        ComPtr<IUnknown> first(&object);
        ComPtr<IUnknown> second = first.As<IUnknown>();
        EXPECT_EQ(2u, object.refs);
        ComPtr<IUnknown> moved = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(2u, object.refs);
        EXPECT_FALSE(moved.As<IDispatch>()) << "an interface it does not have";
    }
    EXPECT_EQ(0u, object.refs);
}

} // namespace
} // namespace kes
