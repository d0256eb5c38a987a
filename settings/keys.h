// The section, keys and built-in defaults of the settings.
#pragma once

namespace jotlog::keys {

inline constexpr char16_t kSection[] = u"setting";

inline constexpr char16_t kFileName[] = u"FileName";
inline constexpr char16_t kAddFrom[] = u"AddFrom";
inline constexpr char16_t kShowDialog[] = u"ShowDialog";
inline constexpr char16_t kMemoFormat[] = u"MemoFormat";
inline constexpr char16_t kDateFormat[] = u"DateFormat";
inline constexpr char16_t kTimeFormat[] = u"TimeFormat";

inline constexpr char16_t kDefaultFileName[] = u"\\My Documents\\jotlog.txt";
inline constexpr char16_t kDefaultAddFrom[] = u"arg";
inline constexpr char16_t kDefaultShowDialog[] = u"1";
// Ends in the two characters backslash and n, which formatting turns into CR LF.
inline constexpr char16_t kDefaultMemoFormat[] = u"[%DATE% %TIME%] %MEMO%\\n";
inline constexpr char16_t kDefaultDateFormat[] = u"yyyy/MM/dd";
inline constexpr char16_t kDefaultTimeFormat[] = u"HH:mm:ss";

// The value of AddFrom and FileName that selects the clipboard, and of ShowDialog that
// shows the success box.
inline constexpr char16_t kClipboard[] = u"clipboard";
inline constexpr char16_t kShow[] = u"1";
// The value of AddFrom that asks the user for the memo.
inline constexpr char16_t kInput[] = u"input";

}  // namespace jotlog::keys
