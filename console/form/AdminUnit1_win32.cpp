#include "console/form/AdminUnit1.h"

#include "console/dialogs/dialogs.h"
#include "console/form/control_ids.h"
#include "console/form/resource.h"
#include "console/store/kestrova_layout.h"
#include "console/store/machine_lock.h"
#include "console/store/machine_view.h"
#include "console/store/settings_store.h"
#include "console/store/win32_registry.h"
#include "platform/utf_win32.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace kes {

const char* const kApplicationTitle = "Extended configuration for Kestrova";

const char* const kHelpText[6] = {
    "<FONT face=\"Tahoma\">If you need, to synchronize categories only with the user of your "
    "choice, you can define the categories you need in ",
    "this section. Please select first the user you want to modify and click the button "
    "\"+\".<br><br>",
    "Um mit jedem Benutzer andere Kategorien abgleichen zu k\xC3\xB6nnen, gehen Sie bitte wie "
    "folgt "
    "vor. Suchen Sie aus der rechten Box einen ",
    "Benutzer aus und klicken auf den \"+\" Button. Legen Sie nun die Kategorie fest. Mit "
    "weiteren Nutzern k\xC3\xB6nnen Sie ebenso verfahren.",
    "</FONT>",
    "",
};

namespace {
const wchar_t kFormClass[] = KES_FORM_CLASS;
constexpr int kFormWidth = 620, kFormHeight = 665, kMinHeight = 640;
// The upper panel keeps its height, the lower one too; the log panel between them takes what
// is left, and the log view fills it inside the panel's one-pixel edge and a border of 12.
constexpr int kUpperPanelHeight = 337, kLowerPanelHeight = 81, kLogInset = 13;

struct PanelLayout {
    Bounds upper, lower, middle, log;
};

PanelLayout LayoutFor(int width, int height, UINT dpi) {
    const int upper = TWindow::ScaleTo(kUpperPanelHeight, dpi);
    const int lower = TWindow::ScaleTo(kLowerPanelHeight, dpi);
    const int inset = TWindow::ScaleTo(kLogInset, dpi);
    const int middle = std::max(height - upper - lower, 0);
    return {{0, 0, width, upper},
            {0, height - lower, width, lower},
            {0, upper, width, middle},
            {inset, inset, std::max(width - 2 * inset, 0), std::max(middle - 2 * inset, 0)}};
}

// The screen's DPI, before the window exists to tell its own.
UINT ScreenDpi() {
    const WindowDC dc(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

void Place(HWND hwnd, const Bounds& b) {
    MoveWindow(hwnd, b.left, b.top, b.width, b.height, TRUE);
}

} // namespace

Services Win32Services() {
    Services s;
    s.Registry = std::make_shared<Win32Registry>();
    s.ErrorBox = ShowErrorBox;
    s.ShowNotice = kes::ShowNotice;
    s.PromptText = kes::PromptText;
    s.DebugLogPath = kes::DebugLogPath;
    s.FallbackLogPath = kes::FallbackLogPath;
    s.ExecuteSaveDialog = kes::ExecuteSaveDialog;
    return s;
}

TQuillard::TQuillard(Services services) : TFormWindow(nullptr), services_(std::move(services)) {
    Name = "Quillard";
    OnClose = [this](TComponent* s) { FormClose(s); };
}

TQuillard::~TQuillard() {
    // The error box belongs to this window's services, which end with it.
    Application().OnException = nullptr;
    // Components go first, while the window they live on still exists.
    Hints.reset();
    Timer1.reset();
}

void TQuillard::Create(int showCommand) {
    Application().Title = kApplicationTitle;
    Application().OnException = services_.ErrorBox;
    const UINT screenDpi = ScreenDpi();
    CreateForm({.className = kFormClass,
                .caption = "Quillard",
                .width = ScaleTo(kFormWidth, screenDpi),
                .height = ScaleTo(kFormHeight, screenDpi),
                .iconResource = IDI_MAINICON});
    dpi_ = Dpi();
    if (dpi_ != screenDpi) { // on another monitor than the primary one
        SetWindowPos(hwnd_, nullptr, 0, 0, ScaleTo(kFormWidth, dpi_), ScaleTo(kFormHeight, dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    CreateControls();
    // Once, before anything can fail: the lock box writes into this view all run long.
    machineView_ = OutlookMachineView(*services_.Registry);
    // A failure of start-up is reported, and the window opens with what was set up.
    Application().Guard([this] { FormCreate(this); });
    // The first switch has the focus from the start (and whenever the window is activated
    // without a control of its own to go back to).
    focusBack_ = chkDebug->Handle();
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

void TQuillard::CreateControls() {
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const PanelLayout layout = LayoutFor(rc.right, rc.bottom, dpi_);
    // Creation order is tab order: panels first, then each panel's focusable controls.
    Panel1 = std::make_unique<TPanel>(this, "Panel1", hwnd_, layout.upper);
    Panel2 = std::make_unique<TPanel>(this, "Panel2", hwnd_, layout.lower);
    Panel3 = std::make_unique<TPanel>(this, "Panel3", hwnd_, layout.middle);
    SetWindowLongPtrW(Panel1->Handle(), GWLP_ID, ids::Panel1);
    SetWindowLongPtrW(Panel2->Handle(), GWLP_ID, ids::Panel2);
    SetWindowLongPtrW(Panel3->Handle(), GWLP_ID, ids::Panel3);
    HWND p1 = Panel1->Handle(), p2 = Panel2->Handle(), p3 = Panel3->Handle();

    chkDebug =
        std::make_unique<TCheckBox>(this, "chkDebug", p1, Bounds{24, 15, 537, 17},
                                    "Debug mode / erweiterte Logdaten erzeugen", ids::chkDebug);
    chkAdmin = std::make_unique<TCheckBox>(
        this, "chkAdmin", p1, Bounds{24, 30, 545, 17},
        "Normal users can't change settings to Kestrova / \xC3\x84nderungen in den Einstellungen "
        "verwehren",
        ids::chkAdmin);
    users = std::make_unique<TComboBox>(this, "users", p1, Bounds{24, 248, 273, 21}, ids::users);
    CreateCategoryEditor(p1, ids::categoriesList);
    HTMLStaticText1 = std::make_unique<THTMLStaticText>(
        this, "HTMLStaticText1", p1, Bounds{24, 152, 545, 81}, ids::HTMLStaticText1);
    HTMLStaticText1->SetHTMLText(
        std::vector<std::string>(std::begin(kHelpText), std::end(kHelpText)));
    HTMLStaticText1->SetAutoSizeType(asVertical);
    HTMLStaticText1->SetAutoSizeP(false);
    HTMLStaticText1->SetMiniScroll(false);
    HTMLStaticText1->AutoScroll = false;
    HTMLStaticText1->SetShadowOffset(1);
    HTMLStaticText1->SetVAlignment(tvaTop);
    Journal = std::make_unique<TCheckBox>(
        this, "Journal", p1, Bounds{24, 45, 545, 17},
        "Tracking to journalfolder / \xC3\x84nderungen im Jurnal-Ordner mitschreiben ",
        ids::Journal);
    Desktopbenachrichtigung = std::make_unique<TCheckBox>(
        this, "Desktopbenachrichtigung", p1, Bounds{24, 60, 545, 17},
        "Desktop-notification / Desktopbenachrichtigungsfenster anzeigen.",
        ids::Desktopbenachrichtigung);
    chkReminders = std::make_unique<TCheckBox>(
        this, "chkReminders", p1, Bounds{24, 75, 545, 17},
        "Don't get Reminders from others / Keine Erinnerungen eintragen. ", ids::chkReminders);
    chk_pack_every_mail = std::make_unique<TCheckBox>(
        this, "chk_pack_every_mail", p1, Bounds{24, 91, 377, 17},
        "Combine all mails / Alle Synchronisationsmails werden zusammengefasst.",
        ids::chk_pack_every_mail);
    catAdd = std::make_unique<TSpeedButton>(this, TSpeedButton::Params{.name = "catAdd",
                                                                       .parent = p1,
                                                                       .bounds = {312, 248, 23, 22},
                                                                       .glyphResource = IDB_CATADD,
                                                                       .id = ids::catAdd});
    catDel = std::make_unique<TSpeedButton>(this, TSpeedButton::Params{.name = "catDel",
                                                                       .parent = p1,
                                                                       .bounds = {312, 272, 23, 22},
                                                                       .glyphResource = IDB_CATDEL,
                                                                       .id = ids::catDel});
    Label2 = std::make_unique<TLabel>(
        this, "Label2", p1, Bounds{24, 232, 257, 13},
        "synchronisationrecipient / Synchronisationsempf\xC3\xA4nger:", ids::Label2);
    Label1 = std::make_unique<TLabel>(this, "Label1", p1, Bounds{344, 232, 106, 13},
                                      "category / Kagtegorie:", ids::Label1);
    Label1->AutoSize();
    Label2->AutoSize();
    // Frames last: they lie beneath everything they frame.
    Bevel2 = std::make_unique<TBevel>(this, "Bevel2", p1, Bounds{16, 8, 569, 113});
    Bevel1 = std::make_unique<TBevel>(this, "Bevel1", p1, Bounds{16, 136, 569, 185});

    chbScroll = std::make_unique<TCheckBox>(this, "chbScroll", p2, Bounds{16, 48, 345, 17},
                                            "stop log update", ids::chbScroll);
    Button1 =
        std::make_unique<TButton>(this, "Button1", p2, Bounds{512, 40, 81, 25}, "OK", ids::Button1);
    SpeedButton1 = std::make_unique<TSpeedButton>(
        this,
        TSpeedButton::Params{.name = "SpeedButton1",
                             .parent = p2,
                             .bounds = {8, 11, 585, 22},
                             .caption = "Send debug Log, to Varnholt / Logdaten an Varnholt senden",
                             .glyphResource = IDB_SENDLOG,
                             .spacing = 10,
                             .id = ids::SpeedButton1,
                             .tabStop = true});
    // The button's place in the tab order: first in its panel, as the support mail's only
    // keyboard path.
    SetWindowPos(SpeedButton1->Handle(), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    LogFile = std::make_unique<TMemo>(this, "LogFile", p3, layout.log, ids::LogFile,
                                      WS_VSCROLL | ES_AUTOVSCROLL);

    chkDebug->Hint = "debug mode (after a change here, you have to restart Outlook)";
    chkDebug->ShowHint = true;
    users->Hint = "user must be defined in Kestrova";
    users->ShowHint = true;
    categoriesList->Hint = "only ";
    Hints = std::make_unique<THintWindow>(hwnd_);
    Hints->Add(*chkDebug);
    Hints->Add(*users);

    catAdd->SetEnabled(false);
    catDel->SetEnabled(false);
    categoriesList->SetEnabled(false);

    Timer1 = std::make_unique<TTimer>(this, "Timer1", 4000);
    WinXP1 = std::make_unique<TWinXP>(this);
    WinXP1->Name = "WinXP1";
    PopupMenu1 = std::make_unique<TPopupMenu>(this, "PopupMenu1");
    Collectcount1 = std::make_unique<TMenuItem>(this, "Collectcount1", "collect count");
    collecttime1 = std::make_unique<TMenuItem>(this, "collecttime1", "collect time");
    savelog1 = std::make_unique<TMenuItem>(this, "savelog1", "savelog");
    PopupMenu1->Add(Collectcount1.get());
    PopupMenu1->Add(collecttime1.get());
    addinstatus1 = std::make_unique<TMenuItem>(this, "addinstatus1", kStatusCaption);
    PopupMenu1->Add(savelog1.get());
    PopupMenu1->Add(addinstatus1.get());

    chkDebug->OnClick = [this](TComponent* s) { chkDebugClick(s); };
    chkAdmin->OnClick = [this](TComponent* s) { chkAdminClick(s); };
    Journal->OnClick = [this](TComponent* s) { JournalClick(s); };
    Desktopbenachrichtigung->OnClick = [this](TComponent* s) { DesktopbenachrichtigungClick(s); };
    chkReminders->OnClick = [this](TComponent* s) { chkRemindersClick(s); };
    chk_pack_every_mail->OnClick = [this](TComponent* s) { chk_pack_every_mailClick(s); };
    users->OnChange = [this](TComponent* s) { usersChange(s); };
    Button1->OnClick = [this](TComponent* s) { Button1Click(s); };
    SpeedButton1->OnClick = [this](TComponent* s) { SpeedButton1Click(s); };
    Timer1->OnTimer = [this](TComponent* s) { Timer1Timer(s); };
    Collectcount1->OnClick = [this](TComponent* s) { Collectcount1Click(s); };
    collecttime1->OnClick = [this](TComponent* s) { collecttime1Click(s); };
    savelog1->OnClick = [this](TComponent* s) { savelog1Click(s); };
    addinstatus1->OnClick = [this](TComponent* s) { addinstatus1Click(s); };
    Panel1->PopupMenu = PopupMenu1.get();
    WireCategoryEditor();

    // The 96-DPI places are the layout; every DPI is laid out from them. The combo box's
    // height holds its drop-down list.
    layout96_ = {
        {chkDebug.get(), {24, 15, 537, 17}},
        {chkAdmin.get(), {24, 30, 545, 17}},
        {Journal.get(), {24, 45, 545, 17}},
        {Desktopbenachrichtigung.get(), {24, 60, 545, 17}},
        {chkReminders.get(), {24, 75, 545, 17}},
        {chk_pack_every_mail.get(), {24, 91, 377, 17}},
        {HTMLStaticText1.get(), {24, 152, 545, 81}},
        {Label2.get(), {24, 232, 257, 13}},
        {users.get(), {24, 248, 273, 21 + 200}},
        {catAdd.get(), {312, 248, 23, 22}},
        {catDel.get(), {312, 272, 23, 22}},
        {Label1.get(), {344, 232, 106, 13}},
        {categoriesList.get(), {344, 248, 217, 65}},
        {Bevel2.get(), {16, 8, 569, 113}},
        {Bevel1.get(), {16, 136, 569, 185}},
        {SpeedButton1.get(), {8, 11, 585, 22}},
        {chbScroll.get(), {16, 48, 345, 17}},
        {Button1.get(), {512, 40, 81, 25}},
    };
    if (dpi_ != kBaseDpi)
        LayoutControls();
}

void TQuillard::LayoutControls() {
    for (const auto& [control, b] : layout96_)
        control->PlaceScaled(b, dpi_);
    SendMessageW(LogFile->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(dpi_)), TRUE);
    // The labels grow to their text in the font of this DPI.
    Label1->AutoSize();
    Label2->AutoSize();
}

void TQuillard::HandleDpiChanged(UINT dpi) {
    if (!dpi || !Panel1)
        return;
    dpi_ = dpi;
    LayoutControls();
    LayoutPanels();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TQuillard::RestoreFocus() {
    const auto usable = [this](HWND h) {
        return IsWindow(h) && IsChild(hwnd_, h) && IsWindowVisible(h) && IsWindowEnabled(h);
    };
    HWND to = focusBack_;
    // A part of a control that closed meanwhile (the list's in-place editor, which commits when
    // the window is left) gives the focus to its control.
    while (to && IsWindow(to) && IsChild(hwnd_, to) && !usable(to)) {
        to = GetParent(to);
        if (to && !(GetWindowLongW(to, GWL_STYLE) & WS_TABSTOP))
            to = nullptr;
    }
    if (!to || !usable(to))
        to = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (to)
        SetFocus(to);
}

void TQuillard::LayoutPanels() {
    if (!Panel1)
        return;
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const PanelLayout layout = LayoutFor(rc.right, rc.bottom, dpi_);
    Place(Panel1->Handle(), layout.upper);
    Place(Panel2->Handle(), layout.lower);
    Place(Panel3->Handle(), layout.middle);
    Place(LogFile->Handle(), layout.log);
}

LRESULT TQuillard::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETMINMAXINFO: {
        // It can grow taller and shrink narrower, never wider.
        auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
        mm->ptMaxTrackSize.x = ScaleTo(kFormWidth, dpi_);
        mm->ptMaxSize.x = ScaleTo(kFormWidth, dpi_);
        mm->ptMinTrackSize.y = ScaleTo(kMinHeight, dpi_);
        return 0;
    }
    case WM_SIZE:
        LayoutPanels();
        return 0;
    case WM_ACTIVATE:
        // As a dialog does: the control that had the focus gets it back after a dialog, a
        // menu or another program, instead of the form itself.
        if (LOWORD(wp) == WA_INACTIVE) {
            const HWND f = GetFocus();
            if (f && IsChild(hwnd_, f))
                focusBack_ = f;
        } else if (!HIWORD(wp)) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case kWmDpiChanged:
        // Before the window takes the suggested size: its limits are those of the new DPI.
        if (HIWORD(wp))
            dpi_ = HIWORD(wp);
        break;
    }
    return TFormWindow::WndProc(msg, wp, lp);
}

void TQuillard::FormCreate(TComponent*) {
    // Every step runs, whatever failed before it; what failed is told in one box at the end.
    std::vector<std::string> failures;
    const auto step = [&failures](const auto& work) {
        try {
            work();
        } catch (const std::exception& e) {
            failures.push_back(e.what());
        }
    };
    SettingsStore reg(*services_.Registry);
    const struct {
        const char* value;
        TCheckBox* box;
        bool unreadable;
    } switches[] = {
        {layout::kDebug, chkDebug.get(), false},
        {layout::kJournal, Journal.get(), false},
        {layout::kRemoveReminder, chkReminders.get(), false},
        {layout::kPackEveryTime, chk_pack_every_mail.get(), false},
        {layout::kDesktopNotification, Desktopbenachrichtigung.get(), true},
    };
    // Each read on its own: one unreadable value never keeps the others from being read.
    // Setting a box runs its click handler, which writes every switch that ends up on.
    for (const auto& s : switches) {
        bool on = s.unreadable;
        try {
            // A Config key the user may only read still shows what is stored.
            if (!reg.Open(layout::kConfig, true)) {
                reg.SetAccess(kKeyRead);
                reg.Open(layout::kConfig, false);
                reg.SetAccess(kKeyAllAccess);
            }
            on = reg.GetInt(s.value) != 0;
        } catch (const StoreError&) {
        }
        reg.Close();
        step([&] { s.box->SetChecked(on); });
    }

    step([&] {
        // Only listed, never written: read access is enough, and shows what is stored.
        std::vector<std::string> folders, names, listed;
        reg.SetAccess(kKeyRead);
        if (reg.Open(layout::kFolders, false))
            reg.ListChildren(folders);
        for (const auto& folder : folders) {
            reg.Close();
            if (reg.Open(std::string(layout::kFolders) + "\\" + folder + "\\" + layout::kUsers,
                         false)) {
                reg.ListChildren(names);
                for (const auto& name : names)
                    if (!UserListed(name)) {
                        listedUsers_.insert(name);
                        listed.push_back(name);
                    }
            }
        }
        reg.Close();
        users->AddItems(listed);
    });

    // Full access on the machine's key is the whole test for administrator rights; the lock
    // is one in both registry views, as the group policy writes it.
    step([&] {
        const MachineLock lock = ProbeMachineLock(*services_.Registry, machineView_);
        chkAdmin->SetChecked(lock.locked);
        chkAdmin->SetEnabled(lock.mayChange);
    });

    if (!failures.empty()) {
        std::string text;
        for (const auto& f : failures)
            text += (text.empty() ? "" : ".\n") + f;
        throw StoreError(text);
    }
}

bool TQuillard::UserListed(const std::string& name) const {
    // Exact and case-sensitive, as the entries compare; a set, not a read-back of each entry.
    return listedUsers_.count(name) != 0;
}

void TQuillard::FormClose(TComponent*) {
    // An edit in progress holds a blank in its entry's place: put it back first.
    categoriesList->EndEdit();
    if (!users->Text().empty())
        SaveCategories();
}

void TQuillard::Button1Click(TComponent*) {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TQuillard::WriteUserSwitch(const char* valueName, bool on) {
    SettingsStore reg(*services_.Registry);
    reg.Open(layout::kConfig, true);
    reg.PutFlag(valueName, on);
    reg.Close();
}

void TQuillard::chkDebugClick(TComponent*) {
    WriteUserSwitch(layout::kDebug, chkDebug->Checked());
}
void TQuillard::JournalClick(TComponent*) {
    WriteUserSwitch(layout::kJournal, Journal->Checked());
}
void TQuillard::DesktopbenachrichtigungClick(TComponent*) {
    WriteUserSwitch(layout::kDesktopNotification, Desktopbenachrichtigung->Checked());
}
void TQuillard::chkRemindersClick(TComponent*) {
    WriteUserSwitch(layout::kRemoveReminder, chkReminders->Checked());
}
void TQuillard::chk_pack_every_mailClick(TComponent*) {
    WriteUserSwitch(layout::kPackEveryTime, chk_pack_every_mail->Checked());
}

void TQuillard::chkAdminClick(TComponent*) {
    try {
        WriteMachineLock(*services_.Registry, machineView_, chkAdmin->Checked());
    } catch (const std::exception&) {
        services_.ShowNotice("You need Administrator privileges to change this box");
    }
}

} // namespace kes
