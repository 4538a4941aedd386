#pragma once
// The console's main window: its controls, its components and their handlers.
#include "console/form/services.h"
#include "console/status/status_window_win32.h"
#include "console/viewer/log_viewer_win32.h"
#include "console/viewer/outlook_mail_win32.h"
#include "platform/scoped_win32.h"
#include "toolkit/controls_win32.h"
#include "toolkit/form_win32.h"
#include "widgets/HTMLText/HTMLText_win32.h"
#include "widgets/editlist/EditListBox_win32.h"
#include "widgets/editlist/WinXP.h"

#include <memory>
#include <string>
#include <unordered_set>

namespace kes {

extern const char* const kApplicationTitle;
// The help paragraph above the category editor, as the strings of the label's text list.
extern const char* const kHelpText[6];

class TQuillard : public TFormWindow {
public:
    explicit TQuillard(Services services);
    ~TQuillard() override;

    // Creates the window and its controls, runs FormCreate and shows the window.
    void Create(int showCommand = SW_SHOWNORMAL);
    Services& Svc() { return services_; }
    // What Timer1 last gave LogFile.
    LogFollower& LogShown() { return logShown_; }

    // Controls, in the order of the layout.
    std::unique_ptr<TPanel> Panel1, Panel2, Panel3;
    std::unique_ptr<TCheckBox> chkDebug, chkAdmin, Journal, Desktopbenachrichtigung, chkReminders,
        chk_pack_every_mail;
    std::unique_ptr<THTMLStaticText> HTMLStaticText1;
    std::unique_ptr<TLabel> Label1, Label2;
    std::unique_ptr<TComboBox> users;
    std::unique_ptr<TSpeedButton> catAdd, catDel, SpeedButton1;
    std::unique_ptr<TEditListBox> categoriesList;
    std::unique_ptr<TBevel> Bevel1, Bevel2;
    std::unique_ptr<TCheckBox> chbScroll;
    std::unique_ptr<TButton> Button1;
    std::unique_ptr<TMemo> LogFile;
    // Components without a window.
    std::unique_ptr<TTimer> Timer1;
    std::unique_ptr<TWinXP> WinXP1;
    std::unique_ptr<TPopupMenu> PopupMenu1;
    std::unique_ptr<TMenuItem> Collectcount1, collecttime1, savelog1, addinstatus1;
    std::unique_ptr<THintWindow> Hints;
    std::unique_ptr<TSaveDialog> SaveDialog1 = NewSaveDialog1(this);
    // Connects at the first press of SpeedButton1, not before.
    std::unique_ptr<TOutlookApplication> olApp =
        std::make_unique<TOutlookApplication>(this, "olApp");

    // Events.
    void FormCreate(TComponent* Sender);
    void FormClose(TComponent* Sender);
    void Button1Click(TComponent* Sender);
    void chkDebugClick(TComponent* Sender);
    void chkAdminClick(TComponent* Sender);
    void JournalClick(TComponent* Sender);
    void DesktopbenachrichtigungClick(TComponent* Sender);
    void chkRemindersClick(TComponent* Sender);
    void chk_pack_every_mailClick(TComponent* Sender);
    void usersChange(TComponent* Sender);
    void Timer1Timer(TComponent* Sender);
    void SpeedButton1Click(TComponent* Sender);
    void Collectcount1Click(TComponent* Sender);
    void collecttime1Click(TComponent* Sender);
    void savelog1Click(TComponent* Sender);
    void addinstatus1Click(TComponent* Sender);
    void categoriesListExit(TComponent* Sender);
    void categoriesListSelChange(TComponent* Sender, int ListIndex);
    void catAddClick(TComponent* Sender);
    void catDelClick(TComponent* Sender);

    bool UserListed(const std::string& name) const;
    void SaveCategories();

    // The DPI the window is laid out for.
    UINT LayoutDpi() const { return dpi_; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void HandleDpiChanged(UINT dpi) override;

private:
    static std::unique_ptr<TSaveDialog> NewSaveDialog1(TComponent* owner);
    // The support mail for what the view holds, with `copy` attached when the log travels so.
    SupportMail ComposeSupportMailFor(const AttachedLogCopy* copy,
                                      const std::u16string& report) const;
    LogFollower logShown_;
    void CreateControls();
    void LayoutPanels();
    // Every control from its 96-DPI place, at dpi_.
    void LayoutControls();
    // Where the focus goes back when the window is activated again.
    void RestoreFocus();
    UINT dpi_ = kBaseDpi;
    std::vector<std::pair<TWinControl*, Bounds>> layout96_;
    HWND focusBack_ = nullptr;
    void WriteUserSwitch(const char* valueName, bool on);
    // The add-in's status as it stands now (AdminUnit1_status_win32.cpp).
    std::string StatusReport(const char* newline);
    // The category editor (AdminUnit1_categories_win32.cpp).
    void CreateCategoryEditor(HWND parent, int id);
    void WireCategoryEditor();
    void LoadCategories(const std::string& user);
    void SaveCategoriesFor(const std::string& user);
    void SetCategoriesReadOnly(bool on);
    std::string categoriesOwner_;                 // whose categories the list holds
    std::vector<std::string> storedCategories_;   // the list as last loaded or stored
    bool categoriesReadOnly_ = false;             // the owner's key may be read, not written
    std::unordered_set<std::string> listedUsers_; // the entries of users, for UserListed

    Services services_;
    // The machine's registry view of the installed Outlook, chosen once at start-up: the lock
    // is read and written where the add-in reads it.
    RegView machineView_ = RegView::Bits64;
    // A mail is being composed: Display runs its own message loop and the button stays usable.
    bool composing_ = false;
    // The log being packed for the mail; the log stays as it is until then.
    std::unique_ptr<AttachedLogCopy> mailCopy_;
};

} // namespace kes
