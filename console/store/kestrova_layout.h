#pragma once
// The add-in's registry layout, the same below the current user's and the machine's root: the
// one place the console, its collection settings and the policy templates' test take it from.
// Paths begin with "\" as SettingsStore::Open takes them.
namespace kes::layout {

#define KES_BRANCH "\\Software\\Varnholt\\Kestrova"
inline constexpr char kBranch[] = KES_BRANCH;
// The switches, the lock (machine root only) and the collection numbers.
inline constexpr char kConfig[] = KES_BRANCH "\\Config";
// Folders\<folder>\Users\<recipient>: only read by the console.
inline constexpr char kFolders[] = KES_BRANCH "\\Folders";
inline constexpr char kUsers[] = "Users";
// UserCategories\<recipient>\<category>: one empty key per category.
inline constexpr char kUserCategories[] = KES_BRANCH "\\UserCategories";
#undef KES_BRANCH

// Values of Config.
inline constexpr char kDebug[] = "debug";
inline constexpr char kJournal[] = "journal";
inline constexpr char kRemoveReminder[] = "removereminder";
inline constexpr char kPackEveryTime[] = "pack_every_time";
inline constexpr char kDesktopNotification[] = "desktopnotification";
inline constexpr char kLock[] = "lock";
inline constexpr char kCollectCount[] = "bs_collect_count";
inline constexpr char kCollectTime[] = "bs_collect_time";

} // namespace kes::layout
