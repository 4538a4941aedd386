#pragma once
// Control identifiers of the main window, shared with the test driver.
namespace kes::ids {
constexpr int chkDebug = 1001;
constexpr int chkAdmin = 1002;
constexpr int Journal = 1003;
constexpr int Desktopbenachrichtigung = 1004;
constexpr int chkReminders = 1005;
constexpr int chk_pack_every_mail = 1006;
constexpr int HTMLStaticText1 = 1007;
constexpr int Label2 = 1008;
constexpr int users = 1009;
constexpr int catAdd = 1010;
constexpr int catDel = 1011;
constexpr int Label1 = 1012;
constexpr int categoriesList = 1013;
constexpr int SpeedButton1 = 1020;
constexpr int chbScroll = 1021;
constexpr int Button1 = 1022;
constexpr int LogFile = 1030;
constexpr int Panel1 = 1101;
constexpr int Panel2 = 1102;
constexpr int Panel3 = 1103;
} // namespace kes::ids

// The main window's class name.
#define KES_FORM_CLASS L"TQuillard"
