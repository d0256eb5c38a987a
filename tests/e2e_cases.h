// The end-to-end cases of the Linux program (e2e_test.cc) and the Windows one under Wine
// (wine_e2e_test.cc). Files are named within the test's folder (the program is in "bin/"),
// or "docs" for jotlog.txt in the documents folder, "kept" for the file of unsaved memos
// ("{kept}" in what is shown); "<absent>" is no file, a name ending in
// "/" an empty folder before and its listing after, "[STAMP] " today's default stamp.
#pragma once

#include <pwd.h>
#include <signal.h>

#include <algorithm>
#include <ctime>
#include <set>

#include "harness.h"

namespace jotlog::test {

enum class System { kBoth, kLinux, kWindows };
enum class Form { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };  // as given, or with CR LF and a signature

struct File {
  std::string name, bytes;
};

struct Case {
  std::string what;
  std::string settings = {};           // "{dir}": the program's folder as it names it; "": no file
  std::vector<std::string> args = {};  // Windows: the command line, these joined with blanks
  std::vector<File> before = {}, after = {};
  std::string shown = {};  // the boxes, or the lines on standard error
  // Shell words before the run ("{dir}" as this machine names it), which set its environment.
  std::string prefix = "";
  Form form = Form::kUtf8;
  System only = System::kBoth;
  // An English user's run: LANG=en_US.UTF-8; under Wine, an English user interface. Else
  // no language is declared (under Wine, the user interface is Japanese).
  bool english = false;
};

inline const std::string kDefaultSettings =
    "[setting]\n# 保存先ファイル名\nFileName=\\My Documents\\jotlog.txt\n\n"
    "# 追記元\nAddFrom=arg\n\n# 完了ダイアログを表示するかどうか\nShowDialog=1\n\n"
    "# メモのフォーマット\nMemoFormat=[%DATE% %TIME%] %MEMO%\\n\n\n"
    "# 日付のフォーマット\nDateFormat=yyyy/MM/dd\n\n# 時間のフォーマット\nTimeFormat=HH:mm:ss\n";
inline const std::string kDefaultSettingsEn =
    "[setting]\n# destination file name\nFileName=\\My Documents\\jotlog.txt\n\n"
    "# where the memo comes from\nAddFrom=arg\n\n# whether to show the completion dialog\nShowDialog=1\n\n"
    "# memo format\nMemoFormat=[%DATE% %TIME%] %MEMO%\\n\n\n"
    "# date format\nDateFormat=yyyy/MM/dd\n\n# time format\nTimeFormat=HH:mm:ss\n";

// UTF-8 as UTF-16 in either byte order; the three bytes of a surrogate give that unit alone.
inline std::string Utf16(const std::string& text, bool little) {
  std::string bytes;
  auto put = [&](char32_t unit) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little ? std::string{low, high} : std::string{high, low};
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const int lead = static_cast<unsigned char>(text[i]);
    int more = (lead >= 0xC0) + (lead >= 0xE0) + (lead >= 0xF0);
    char32_t point = lead & (0x7F >> more);
    while (more-- > 0) point = point << 6 | (text[++i] & 0x3F);
    if (point > 0xFFFF) put(0xD7C0 + (point >> 10)), point = 0xDC00 | (point & 0x3FF);
    put(point);
  }
  return bytes;
}

inline std::string Encode(const std::string& text, Form form) {
  const std::string crlf = std::regex_replace(text, std::regex("\n"), "\r\n");
  if (form == Form::kUtf8Bom) return "\xEF\xBB\xBF" + crlf;
  if (form == Form::kUtf16Le) return "\xFF\xFE" + Utf16(crlf, true);
  if (form == Form::kUtf16Be) return "\xFE\xFF" + Utf16(crlf, false);
  return text;
}

// A file's bytes with "[STAMP] ", "<pipe>", "<absent>", or a folder's sorted listing (after
// "(private) " when only its owner may enter it).
inline std::string Contents(const fs::path& path) {
  if (!fs::exists(fs::symlink_status(path))) return "<absent>";
  if (fs::is_fifo(path)) return "<pipe>";
  if (fs::is_directory(path)) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename());
    std::string listing =
        fs::status(path).permissions() == fs::perms::owner_all ? "(private) " : "";
    for (const std::string& name : names) listing += name.substr(0, name.find(".exe")) + " ";
    return listing;
  }
  const std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "\\[%Y/%m/%d", std::localtime(&now));
  return std::regex_replace(ReadFile(path),
                            std::regex(today + std::string(R"( \d\d:\d\d:\d\d\] )")), "[STAMP] ");
}

// A stand-in program in {dir}/tools that logs its name and words to {dir}/log, then does
// `action`; kHang records its own and its child's process ids in {dir}/pids and hangs.
inline File StandIn(const std::string& name, const std::string& action) {
  return {"tools/" + name,
          "#!/bin/sh\nprintf '%s\\n' \"${0##*/} $*\" >>\"${0%/*}/../log\"; " + action + "\n"};
}
inline const char* const kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
inline const std::string kHang =
    "echo $$ >>\"${0%/*}/../pids\"; sleep 1000 & echo $! >>\"${0%/*}/../pids\"; wait";

// clang-format off
inline std::vector<Case> Cases() {
  const std::string old(40, 'o'), limit = "trap '' XFSZ; prlimit --fsize=";
  const std::string utf16 = "\xFF\xFE" + Utf16("a", true), fffd = "\xEF\xBF\xBD";
  const System linux = System::kLinux, windows = System::kWindows;
  const std::string exact = "[setting]\nFileName={dir}/memo.txt\nMemoFormat=<%MEMO%>\\n\nShowDialog=0\n";
  // An entry that cannot be saved leaves the memo file as it was, and is kept in the file of
  // unsaved memos, unless that fails too (`kept` false: the same limit strikes it).
  auto unsaved = [&](const std::string& what, const std::string& name, const std::string& prefix,
                     const std::string& why = "{why}", System only = System::kBoth, bool kept = true,
                     bool english = false) {
    const std::string line = name == "clipboard" ? (english ? kClipboardNotSavedEn : kClipboardNotSaved)
                                                 : (english ? kNotSavedEn : kNotSaved);
    const std::string where = name == "clipboard" ? (english ? "the clipboard" : "クリップボード")
                              : name.empty()      ? (english ? "(no file name)" : "(ファイル名がありません)")
                                                  : name;
    return Case{what, "[setting]\nFileName=" + name + "\n", {"a memo longer than the room"}, {{"memo.txt", old}},
                {{"memo.txt", old}, {"new.txt", "<absent>"}, {"missing", "<absent>"},
                 {"kept", kept ? "[STAMP] a memo longer than the room\r\n" : "<absent>"}},
                kept ? Kept(line, where, why) : Failed(line, where, why), prefix, Form::kUtf8, only, english};
  };
  // A case run by an English user, who is shown `shown`.
  auto inEnglish = [](Case c, const std::string& shown) {
    c.english = true;
    c.shown = shown;
    return c;
  };
  // One memo and its settings in each form of settings file, appended to each form of file.
  const std::string entry = "<a \"b c\" 日本 \xF0\x9F\x93\x9D|d>\r\n";
  auto encoded = [&](const std::string& what, Form form, const std::string& start, const std::string& added) {
    return Case{what, "[setting]\nFileName={dir}/メモ.txt\nMemoFormat=<%MEMO%|%DATE%>\\n\nDateFormat='d'\nShowDialog=0\n",
                {"a", "\"b", "c\"", "日本", "\xF0\x9F\x93\x9D"}, {{"メモ.txt", start}}, {{"メモ.txt", start + added}},
                "", "", form};
  };
  // Lone surrogates (U+DCFF U+D800) in UTF-16 settings; a pair cut where a line is too long.
  const std::string pad(1000, 'x'), lone = "[setting]\nFileName={dir}/memo.txt\nShowDialog=0\nMemoFormat=<\xED\xB3\xBF\xED\xA0\x80|%MEMO%>" +
                           pad + "\xF0\x9F\x93\x9D\n";
  const std::string frozen = "chattr +a {dir}/memo.txt 2>/dev/null; ";  // cannot be cut back
  const std::string erofs =
      "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e inject=fsync:error=EROFS ";
  auto row = [&](const std::string& what, const std::string& settings,  // rows of Linux alone
                 std::vector<std::string> args, std::vector<File> before, std::vector<File> after,
                 const std::string& shown, const std::string& prefix) {
    return Case{what, settings, args, before, after, shown, prefix, Form::kUtf8, linux};
  };
  // As the user nobody, for whom the program's folder is read-only.
  const std::string own = "chown -R 65534:65534 {dir}; chmod 500 {dir}/bin; ", nobody = kNobody;
  const std::string mine = "[setting]\nFileName=\\My Documents\\mine.txt\n";
  auto users = [&](const std::string& xdg) {
    return row("settings of the user's own for XDG_CONFIG_HOME=" + xdg, "", {"one"},
               {{"home/.config/", ""}}, {{"home/.config/jotlog/", "(private) jotlog.ini "}}, kSaved,
               own + "XDG_CONFIG_HOME=" + xdg + " " + nobody);
  };
  // Stand-ins in {dir}/tools: dialogs, notifiers and clipboard helpers (the text in {dir}/clip).
  const std::string tools = "chmod +x {dir}/tools/*; timeout 8 env ";
  auto desk = [&](std::vector<File> found, const std::string& called, const std::string& line) {
    found.insert(found.begin(), {"tools/", ""});
    return row("the first dialog or notifier found: " + called, "[setting]\n", {"memo"}, found,
               {{"log", called + "メモファイルに保存しました。\n"}}, line,
               tools + "DISPLAY=:99 PATH={dir}/tools ");
  };
  const std::string zenity = "zenity --info --no-markup --no-wrap --title=確認 --text=",
                    kdialog = "kdialog --title 確認 --msgbox ",
                    notify = "notify-send --app-name=jotlog --urgency=normal --icon=dialog-information "
                             "--hint=string:x-dunst-stack-tag:jotlog "
                             "--hint=string:x-canonical-private-synchronous:jotlog -- 確認 ";
  const std::string boxed = "zenity --entry --width=480 --title=jotlog --text=メモ --entry-text=x\n" + notify +
                            "メモファイルに保存しました。\n";
  const std::string list =
      "printf 'TARGETS\\nimage/png\\nUTF8_STRING\\ntext/plain;charset=utf-8\\n'";
  const std::string read = "cat \"${0%/*}/../clip\"", copy = "cat >\"${0%/*}/../clip\"",
                    endless = "exec yes 0123456789abcdef";
  auto clip = [&](bool wayland, const std::string& types, const std::string& text,
                  const std::string& copied, const std::string& after,
                  const std::string& log = "") {
    const std::string act = "case \"${0##*/} $*\" in *--list-types*|*TARGETS*) " + types +
                            ";; wl-copy*|*' -i') " + copied + ";; *) " + text + ";; esac";
    std::vector<File> before = {{"tools/", ""}, {"clip", "old"}, StandIn("xclip", act),
                                StandIn("wl-copy", act)};
    if (wayland) before.push_back(StandIn("wl-paste", act));
    std::vector<File> shown = {{"clip", after}};
    if (!log.empty()) shown.push_back({"log", log});
    return row("clipboard helpers: " + types + " / " + text + " / " + copied,
               "[setting]\nFileName=clipboard\nMemoFormat=<%MEMO%>\n", {"memo"}, before, shown,
               after == "old" ? Kept(kClipboardNotSaved, "クリップボード") : kClipboardSaved,
               tools + "PATH={dir}/tools:/usr/bin:/bin " +
                   (wayland ? "WAYLAND_DISPLAY=wayland-test " : "DISPLAY=:none "));
  };
  const std::string paste = "wl-paste --list-types\nwl-paste --no-newline --type UTF8_STRING\n";
  Case fromClipboard = clip(true, list, read, copy, "abc<abc>",
                            paste + paste + "wl-copy --type text/plain;charset=utf-8\n");
  fromClipboard.settings += "AddFrom=clipboard\n";
  fromClipboard.before[1].bytes = "abc";
  // A new memo file in a folder nobody may write but not read: its name is committed by a
  // sync of the whole file system; either sync failing (injected) is a failure.
  auto commit = [&](const std::string& call) {
    const std::string fail = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e inject=";
    return row("a new memo file in a folder that cannot be read; failing: " + call,
               "[setting]\nFileName={dir}/w/memo.txt\nMemoFormat=%MEMO%\n", {"memo"}, {{"w/", ""}},
               {{"w/", call.empty() ? "memo.txt " : ""}},
               call.empty() ? kSaved : Failed(kNotSaved, "{dir}/w/memo.txt", "Input/output error"),
               "chown 65534 {dir}/w; chmod 300 {dir}/w; chmod o+x {dir}; XDG_STATE_HOME=/dev/null/x " +
                   (call.empty() ? "" : fail + call + ":error=EIO ") + nobody);
  };
  // Ended by a signal while a helper runs (once it has recorded itself and its child) or while
  // it starts (held there by a tracer for two seconds): the helper's group is ended first,
  // then the run, by that signal, as the shell `said`. With `box` settings, the helper is
  // the input box or the success box, which goes with the run.
  auto ended = [&](int signal, const std::string& said, bool starting = false, const std::string& box = "") {
    return row("ended by signal " + std::to_string(signal) + (starting ? " as a helper starts" : " as a helper runs") +
               (box.empty() ? "" : ": a box open, " + box), box.empty() ? "[setting]\nFileName=clipboard\n" : box, {"memo"},
               {{"tools/", ""}, StandIn(box.empty() ? "wl-paste" : "zenity", kHang), StandIn("wl-copy", kHang)}, {},
               said + "exit " + std::to_string((128 + signal) << 8), "ulimit -c 0; " + tools +
               (box.empty() ? "WAYLAND_DISPLAY=w" : "DISPLAY=:99") + " PATH={dir}/tools:/usr/bin:/bin " + (starting ? "ASAN_OPTIONS=detect_leaks=0 strace "
               "-f -qq -o /dev/null -e inject=setpgid:delay_enter=2000000 sh -c '(sleep 1; " : "sh -c 'n=$(cat "
               "{dir}/pids 2>/dev/null | wc -l); (until [ $(cat {dir}/pids 2>/dev/null | wc -l) -gt $((n + 1)) ] || ! kill -0 $$; do sleep 0.01; done; ") +
               "kill -" + std::to_string(signal) + " $$) & exec \"$@\"' sh ");
  };
  // The windows named by the pattern $1, searched for until two searches agree: a window
  // that closes during a search (xclip's, say) ends that search with an X error.
  const std::string xsearch = "windows() { a=; b=x; until [ \"$a\" = \"$b\" ]; do a=$b; "
      "b=$(xdotool search --onlyvisible --name \"$1\" 2>/dev/null); done; echo $b; }; ";
  // A desktop of the row's own, with the real xclip and zenity: text copied in any of its
  // types is taken (Latin-1 in the older ones), and the entry replaces what was there.
  const std::string desktop = "timeout 20 xvfb-run -a -s '-nolisten tcp' env NO_AT_BRIDGE=1 sh -c ";
  auto real = [&](const std::string& copied, const std::string& type, const std::string& after) {
    return row("the real clipboard holding " + type, "[setting]\nShowDialog=0\nAddFrom=clipboard\n"
               "FileName=clipboard\nMemoFormat=<%MEMO%>\n", {"x"}, {}, {}, after, desktop +
               "'printf %s \"$0\" | xclip -sel c -i -t $1 2>/dev/null; shift; \"$@\"; xclip -sel c -o >&2' " +
               Quote(copied) + " " + type + " ");
  };
  const std::string pipe = "mkfifo {dir}/pipe; exec 3<>{dir}/pipe; ",
                    lock = "run/{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}.lock";
  const std::string mostly = "[setting]\nFileName={dir}/pipe\nMemoFormat=<%MEMO%>\n";
  std::string burst = "<dialog>";  // the entries of a burst of runs
  for (int i = 1; i <= 20; ++i) burst += "<" + std::to_string(i) + ">";
  // The input box (AddFrom=input): on the real zenity of a desktop of the row's own, each
  // box opened with the program's name and words as its first text, then answered.
  const std::string ask = "[setting]\nFileName={dir}/memo.txt\nAddFrom=input\nMemoFormat=<%MEMO%>\\n\nShowDialog=0\n";
  const std::string clipboardSet = std::regex_replace(ask, std::regex("=input"), "=clipboard");
  const std::string lost = std::regex_replace(ask, std::regex("memo.txt"), "missing/memo.txt");
  const std::string open = xsearch + "open() { \"$@\" & until w=$(windows \"^jotlog$\"); [ -n \"$w\" ]; do "
      "sleep 0.1; done; xdotool windowfocus --sync $w; }; ";
  const std::string boxes = "timeout 60 xvfb-run -a -s '-nolisten tcp' env NO_AT_BRIDGE=1 sh -c '" + open +
      "answer() { xdotool \"$@\"; wait $!; echo $? >&2; }; "
      "open \"$@\"; printf other | timeout 5 \"$1\" - >&2; echo $? >&2; xdotool type typed; answer key Return; "
      "open \"$1\"; answer key Return; open \"$1\"; answer key Escape; open \"$1\"; answer key Tab space; "
      "open \"$1\" kept; answer key Return' sh ";
  const std::string terminal = "sh -c 'for keys in \"typed\\n\" \"\\004\"; do printf \"$keys\" | "
      "script -qec \"$* 2>>{dir}/err\" /dev/null >/dev/null; echo $? >&2; done' sh ";
  // On Windows, the probe answers the box (some 60 characters wide): "+" types and presses
  // Enter, "=" types and clicks OK, "^" pastes and presses Enter, "-" presses Escape, "c"
  // clicks Cancel, "x" closes it.
  auto answer = [&](const std::string& what, std::vector<std::string> args, const std::string& line,
                    const std::string& first, const std::string& after) {
    return Case{"the input box: " + what, ask, args, {}, {{"memo.txt", after}},
                "jotlog: メモ [" + first + "] 60 wide\n" + (after == "<absent>" ? "exit 256" : ""),
                "{ cat; echo " + Quote(line) + "; } | ", Form::kUtf8, windows};
  };
  const std::string longMemo(40000, 'w');  // past an edit control's default limit
  std::string twenty = "0";  // the old text and the entries of 20 runs, sorted
  for (int i = 1; i <= 20; ++i) twenty += " " + std::to_string(i);
  const std::string kMutexLock = "{6F0B2C1D-93A4-4e7b-8C55-1A2B3C4D5E6F}.lock";
  std::string sorted;  // the entries of two dozen runs, sorted
  for (int i = 10; i < 34; ++i) sorted += "<" + std::to_string(i) + ">\r\n";
  // The messages in the language the environment declares, or Japanese.
  auto speaks = [&](const std::string& environment, bool english) {
    return row("messages for " + environment, "[setting]\nFileName={dir}/memo.txt\n", {"x"}, {}, {},
               english ? kSavedEn : kSaved, environment + " ");
  };
  return {
      inEnglish({"an English user's first start writes the default settings in English", "", {"buy", "milk"}, {},
                 {{"bin/jotlog.ini", kDefaultSettingsEn}, {"docs", "[STAMP] buy milk\r\n"}}}, kSavedEn),
      {.what = "an English user's entry on the clipboard", .settings = "[setting]\nFileName=clipboard\nMemoFormat=%MEMO%\n",
       .args = {"x"}, .shown = kClipboardSavedEn, .only = windows, .english = true},
      {"a first start writes the default settings and records in the documents folder", "", {"buy", "milk"}, {},
       {{"bin/", "jotlog jotlog.ini "}, {"bin/jotlog.ini", kDefaultSettings}, {"docs", "[STAMP] buy milk\r\n"}}, kSaved},
      {"default settings that do not fit are not left in part", "", {"abc"}, {},
       {{"bin/", "jotlog "}, {"docs", "[STAMP] abc\r\n"}}, kSaved, limit + "100 "},
      {"a settings file in place is read and left alone", "[setting]\nMemoFormat=<%MEMO%>\n", {"memo"}, {},
       {{"bin/jotlog.ini", "[setting]\nMemoFormat=<%MEMO%>\n"}, {"docs", "<memo>"}}, kSaved},
      {"an empty command line is an empty memo", exact, {}, {}, {{"memo.txt", "<>\r\n"}}},
      row("arguments are joined with single blanks, bytes that are not UTF-8 kept", exact, {"--help", " two ",
          "caf\xE9", "確認"}, {}, {{"memo.txt", "<--help  two  caf\xE9 確認>\r\n"}}, "", ""),
      {.what = "-h and --version alone record nothing and take no guard", .settings = exact,
       .args = {"-h"}, .before = {{"run/", ""}}, .after = {{"memo.txt", "<absent>"}, {"run/", ""}}, .only = linux},
      {.what = "the command line as Windows passes it: blanks kept but those after the name", .settings = exact,
       .args = {"  \"quoted  words\"  and\tmore  "}, .after = {{"memo.txt", "<\"quoted  words\"  and\tmore  >\r\n"}},
       .only = windows},
      row("the documents folder follows user-dirs.dirs, its last line as the shell reads it", "[setting]\n", {"one"},
          {{"config/user-dirs.dirs", "# a\nXDG_DOCUMENTS_DIR=\"$HOME/Old\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"},
           {"home/Old/other", ""}, {"home/Papers/other", ""}},
          {{"home/Papers/jotlog.txt", "[STAMP] one\r\n"}, {"home/Old/jotlog.txt", "<absent>"}}, kSaved, ""),
      row("~/ is the home folder", "[setting]\nFileName=~/notes.txt\n", {"x"}, {}, {{"home/notes.txt",
          "[STAMP] x\r\n"}}, kSaved, ""),
      {.what = "%NAME% is the environment's", .settings = "[setting]\nFileName=%USERPROFILE%\\Documents\\jotlog.txt\n",
       .args = {"env"}, .after = {{"docs", "[STAMP] env\r\n"}}, .shown = kSaved, .only = windows},
      // Run by root from a folder of programs for everybody: the settings are root's own.
      row("a copy in a system folder never gets settings beside it", "", {}, {{"config/user-dirs.dirs", "<absent>"}},
          {{"config/jotlog/", "(private) jotlog-e2e-test.ini "}, {"docs", "[STAMP] one\r\n[STAMP] two\r\n"}},
          kSaved + kSaved + "0\n", "sh -c 'p=/usr/local/sbin/jotlog-e2e-test; cp \"$0\" $p && $p one; $p two; "
          "ls /usr/local/sbin | grep -c jotlog-e2e-test.ini >&2; rm -f $p $p.ini' "),
      // Nor when the user's own cannot be made: the built-in settings apply.
      row("a copy in a system folder without a configuration folder of the user's", "", {}, {},
          {{"docs", "[STAMP] one\r\n"}}, kSaved + "0\n", "sh -c 'p=/usr/local/sbin/jotlog-e2e-test; cp \"$0\" $p && "
          "XDG_CONFIG_HOME=/etc/passwd $p one; ls /usr/local/sbin | grep -c jotlog-e2e-test.ini >&2; rm -f $p $p.ini' "),
      // Started through a link in a system folder (found on PATH, or by a full name, read as
      // the system reads it), a copy elsewhere counts as installed there.
      row("a copy started through a link in a system folder", "", {}, {{"config/jotlog/", ""}},
          {{"bin/", "jotlog "}, {"config/jotlog/", "jotlog.ini "}, {"docs", "[STAMP] one\r\n[STAMP] two\r\n"}},
          kSaved + kSaved, "sh -c 'l=/usr/local/bin/jotlog-e2e-test; ln -sfn \"$0\" $l && PATH=/usr/local/bin:$PATH "
          "jotlog-e2e-test one; /usr/local/sbin/.//../bin/jotlog-e2e-test two; rm -f $l' "),
      row("without a documents folder, the home folder", "[setting]\n", {"two"}, {{"home/Documents", "<absent>"},
          {"config/user-dirs.dirs", "<absent>"}}, {{"home/jotlog.txt", "[STAMP] two\r\n"}}, kSaved, ""),
      encoded("UTF-8 settings, a new memo file", Form::kUtf8, "", entry),
      encoded("UTF-8 settings with a signature, a memo file without a line end", Form::kUtf8Bom, "no line end", entry),
      encoded("UTF-16 settings, a UTF-8 memo file with a signature", Form::kUtf16Le, "\xEF\xBB\xBF" "a\r\n", entry),
      encoded("big-endian UTF-16 settings, a UTF-16 memo file", Form::kUtf16Be, utf16, Utf16(entry, true)),
      encoded("a big-endian UTF-16 memo file", Form::kUtf8, "\xFE\xFF" + Utf16("a", false), Utf16(entry, false)),
      {.what = "a UTF-16 memo file of an odd length is not appended to", .settings = exact, .args = {"x"},
       .before = {{"memo.txt", utf16 + "b"}}, .after = {{"memo.txt", utf16 + "b"}, {"kept", "<x>\r\n"}},
       .shown = Kept(kNotSaved, "{dir}/memo.txt")},
      {.what = "lone surrogates from a UTF-16 file become U+FFFD, bytes of arguments stay", .settings = lone,
       .args = {"\xFF\xFE"}, .after = {{"memo.txt", "<" + fffd + fffd + "|\xFF\xFE>" + pad + fffd}},
       .form = Form::kUtf16Le, .only = linux},
      {.what = "lone surrogates from a UTF-16 file and the command line become U+FFFD", .settings = lone,
       .args = {"\xFF\xFE"},  // U+DCFF U+DCFE to the program
       .after = {{"memo.txt", "<" + fffd + fffd + "|" + fffd + fffd + ">" + pad + fffd}},
       .form = Form::kUtf16Le, .only = windows},
      unsaved("the entry would pass the size limit", "{dir}/memo.txt", limit + "50 ", "{why}", System::kBoth, false),
      unsaved("a memo file this run created and could not fill", "{dir}/new.txt", limit + "0 ", "{why}", System::kBoth,
              false),
      unsaved("no such folder, for an English user", "{dir}/missing/memo.txt", "", "{why}", System::kBoth, true, true),
      unsaved("a folder", "{dir}", ""),
      unsaved("no name", "", "", "メモファイルの名前が空です"),
      unsaved("a name that ends in a backslash", "{dir}/memo.txt\\", "", "{why}", windows),
      {.what = "a relative name in the reason is made full, %NAME% undefined kept", .settings =
       "[setting]\nFileName=%JOTLOG_UNDEFINED%\\x.txt\n", .args = {"x"},
       .shown = Kept(kNotSaved, "{dir}\\%JOTLOG_UNDEFINED%\\x.txt"), .prefix = "cd {dir}; ", .only = windows},
      {.what = "a long name ending in blanks and dots loses them, as a short one does",
       .settings = "[setting]\nFileName={dir}/" + std::string(250, 'l') + "/memo.txt. .\nMemoFormat=%MEMO%\n",
       .args = {"long"}, .before = {{std::string(250, 'l') + "/", ""}},
       .after = {{std::string(250, 'l') + "/", "memo.txt "}}, .shown = kSaved, .only = windows},
      unsaved("the size limit with SIGXFSZ at its default", "{dir}/memo.txt", frozen + "prlimit --fsize=50 ", "File too large", linux,
              false),
      unsaved("a memo file already over the size limit", "{dir}/memo.txt", frozen + limit + "10 ", "File too large", linux,
              false),
      unsaved("a full disk", "/dev/full", "", "No space left on device", linux),
      unsaved("a named pipe without a reader", "{dir}/pipe", "mkfifo {dir}/pipe; ", "No such device or address", linux),
      unsaved("the clipboard without a display, for an English user", "clipboard", "", "no desktop holds a "
              "clipboard here (neither WAYLAND_DISPLAY nor DISPLAY is set)", linux, true, true),
      // A memo to be taken from a clipboard that cannot be read is no empty memo.
      row("a memo from the clipboard where no clipboard tool is installed", "[setting]\nAddFrom=clipboard\n"
          "FileName={dir}/memo.txt\n", {"x"}, {{"tools/", ""}, {"memo.txt", old}}, {{"memo.txt", old}, {"kept", "<absent>"}},
          Failed(kNotSaved, "クリップボード", "クリップボードのツール (xclip または wl-clipboard) がインストールされていません"),
          "DISPLAY=:99 PATH={dir}/tools "),
      // A display that cannot be reached is no empty clipboard, as source or destination.
      row("a memo from the clipboard of a display that cannot be reached", "[setting]\nAddFrom=clipboard\n"
          "FileName={dir}/memo.txt\n", {"x"}, {}, {{"memo.txt", "<absent>"}, {"kept", "<absent>"}},
          Failed(kNotSaved, "クリップボード", "ディスプレイに接続できません (xclip: Error: Can't open display: :99)"),
          "mkdir -p {dir}/tools; ln -sf /usr/bin/xclip {dir}/tools/; DISPLAY=:99 PATH={dir}/tools "),
      row("an entry for the clipboard of a display that cannot be reached", "[setting]\nFileName=clipboard\n"
          "MemoFormat=<%MEMO%>\n", {"x"}, {}, {{"kept", "<x>"}},
          Kept(kClipboardNotSaved, "クリップボード", "ディスプレイに接続できません (xclip: Error: Can't open display: :99)"),
          "mkdir -p {dir}/tools; ln -sf /usr/bin/xclip {dir}/tools/; DISPLAY=:99 PATH={dir}/tools "),
      // A sync that fails on a regular file is a failure, whatever the error (injected).
      unsaved("the memo file's sync fails with EROFS", "{dir}/memo.txt", erofs, "Read-only file system", linux, false),
      row("the default settings' sync fails with EROFS", "", {"abc"}, {},
          {{"bin/", "jotlog "}, {"docs", "<absent>"}},
           Failed(kNotSaved, "{dir}/home/Documents/jotlog.txt", "Read-only file system"), erofs),
      // Through a link that points nowhere, the target is made, and removed when not filled.
      row("a first append through a link that points nowhere", exact, {"one"}, {{"to/", ""}},
          {{"to/", "memo.txt "}, {"to/memo.txt", "<one>\r\n"}}, "", "ln -sfn to/memo.txt {dir}/memo.txt; "),
      row("a failed first append through a link that points nowhere", exact, {"two"}, {{"to/", ""}},
          {{"to/", ""}}, Failed(kNotSaved, "{dir}/memo.txt", "File too large"), "ln -sfn to/memo.txt {dir}/memo.txt; " + limit + "0 "),
      // A memo file of root's that nobody may append to but not read: its signature cannot
      // be read.
      row("a memo file that cannot be read", exact, {"x"}, {{"memo.txt", utf16}},
          {{"memo.txt", utf16}}, Failed(kNotSaved, "{dir}/memo.txt"), "chmod 622 {dir}/memo.txt; chmod o+x {dir}; " + nobody),
      row("a pipe whose reader never reads more than it holds", mostly, {std::string(100000, 'm')},
          {}, {{"pipe", "<pipe>"}, {"kept", "<" + std::string(100000, 'm') + ">"}}, Kept(kNotSaved, "{dir}/pipe"),
          pipe + "timeout 8 "),
      row("a pipe with a reader is written", mostly, {"read"}, {}, {{"pipe", "<pipe>"}},
          kSaved + "<read>", pipe + "timeout 8 sh -c '\"$@\"; dd count=1 <&3 >&2 2>/dev/null' sh "),
      row("a settings file and a user-dirs file that are pipes are passed over", "", {"one"}, {},
          {{"bin/jotlog.ini", "<pipe>"}, {"config/user-dirs.dirs", "<pipe>"},
           {"docs", "[STAMP] one\r\n"}},
          kSaved, "mkfifo {dir}/bin/jotlog.ini {dir}/config/user-dirs.dirs; timeout 8 "),
      // 40 MiB of lines that add nothing, which cost no memory (checked after the last row).
      row("a long settings file", "", {"memo"}, {}, {{"docs", "<memo>"}}, kSaved,
          "{ echo [setting]; head -c 20971520 /dev/zero | tr '\\0' '\\n'; yes x | head -n 10485760; "
          "echo 'MemoFormat=<%MEMO%>'; } >{dir}/bin/jotlog.ini; "),
      users(""),
      users("config"),
      row("the user's own settings are read by the next run", "", {"two"},
          {{"config/jotlog/jotlog.ini", mine}}, {{"home/Documents/mine.txt", "[STAMP] two\r\n"}},
          kSaved, own + nobody),
      row("a settings file beside the program wins even when it cannot be read", mine, {"three"},
          {{"config/jotlog/jotlog.ini", mine}},
          {{"docs", "[STAMP] three\r\n"}, {"home/Documents/mine.txt", "<absent>"},
           {"config/jotlog/jotlog.ini", mine}},
          kSaved, own + "chmod 0 {dir}/bin/jotlog.ini; " + nobody),
      row("without HOME, the home folder is the user's in /etc/passwd", "[setting]\n", {"--help"},
          {}, {{"config/user-dirs.dirs", "<absent>"}},
          "  memo file:     " + std::string(getpwuid(65534)->pw_dir) + "/jotlog.txt\n",
          "chmod o+x {dir}; HOME= " + nobody + "sh -c '\"$@\" | grep memo.file: >&2' sh "),
      row("a HOME that is not an absolute path is as unset", "[setting]\n", {"x"}, {}, {{"relhome", "<absent>"}},
          Failed(kNotSaved, std::string(getpwuid(65534)->pw_dir) + "/jotlog.txt", "No such file or directory"),
          "chmod 777 {dir}; cd {dir}; HOME=relhome " + nobody),
      row("a settings file that is a named pipe is said to be one", "", {"--help"}, {}, {},
          "  settings file: {dir}/bin/jotlog.ini (cannot be read: not a regular file but a named pipe; the built-in "
          "settings apply)\n", "mkfifo {dir}/bin/jotlog.ini; LANG=en_US.UTF-8 timeout 8 sh -c '\"$@\" | grep settings.file: >&2' sh "),
      // --help reads the settings as a run would, and names what no run reads.
      row("--help names the lines of the settings file that no run reads", "[Setting ]\nFileName=x\n[setting]\n"
          "FileName =x\nfilename=y\nFoo=1\nShowDialog=0\nShowDialog=1\n#" + pad + pad + "\n", {"--help"}, {}, {}, "  settings file: "
          "{dir}/bin/jotlog.ini (read)\n  memo file:     {dir}/home/Documents/jotlog.txt\n  unsaved memos: {kept} (none)\n"
          "  messages:      Japanese (no language is set)\nLines of the settings file that "
          "no run reads:\n  line 1: section [Setting ] is not read: only [setting] is\n  line 4: \"FileName \" is no "
          "setting (nothing is trimmed and case counts: FileName?)\n  line 5: \"filename\" is no setting (nothing is "
          "trimmed and case counts: FileName?)\n  line 6: \"Foo\" is no setting\n  line 8: ShowDialog is set on line 7 "
          "already: this line is not read\n", "sh -c '\"$@\" | grep -v \"^[UAai]\\|^jotlog\" >&2' sh "),
      row("--help names no settings file where no run can have one", "", {"--help"}, {{"cfgfile", ""}}, {},
          "  settings file: none: the program's folder takes no new file and the user's configuration folder cannot "
          "be made; the built-in settings apply\n", own + "XDG_CONFIG_HOME={dir}/cfgfile " + nobody + "sh -c '\"$@\" | "
          "grep settings.file: >&2' sh "),
      row("closed standard streams are not taken by files", "", {"memo"}, {},
          {{"docs", "[STAMP] memo\r\n"}, {"bin/jotlog.ini", kDefaultSettings}, {lock, ""}}, "",
          "sh -c 'exec \"$@\" <&- >&- 2>&-' sh "),
      row("output that cannot be written, or was closed at start, is a failure", "", {"--version"}, {}, {},
          "1\n1\n", "sh -c '\"$@\" >/dev/full; echo $? >&2; \"$@\" >&-; echo $? >&2' sh "),
      desk({StandIn("zenity", "exit 0"), StandIn("kdialog", "exit 0")}, zenity, ""),
      desk({StandIn("zenity", "exit 1"), StandIn("kdialog", "exit 0")}, zenity, kSaved),
      // A success is a notification where a service takes it, else a box.
      desk({StandIn("zenity", "exit 0"), StandIn("notify-send", "exit 0")}, notify, ""),
      desk({StandIn("kdialog", "exit 0"), StandIn("notify-send", "exec /bin/sleep 1000")},  // no service answers
           notify + "メモファイルに保存しました。\n" + kdialog, ""),
      // A failure is a box: one that cannot be shown passes it on, down to a notification;
      // each is given the text as it reads it (kdialog's \n, the notification's markup).
      row("a failure where no dialog can be shown: a notification, its markup escaped", "[setting]\n"
          "FileName=/nonexistent/x&<b>y</b>\\n/memo.txt\n", {"memo"},
          {{"tools/", ""}, StandIn("kdialog", "exit 5"), StandIn("notify-send", "exit 0")},
          {{"log", "kdialog --title 確認 --error メモファイルに保存できませんでした。\n/nonexistent/x&<b>y</b>\\\\n/memo.txt: "
            "No such file or directory\nメモは {kept} に残しました。\n" + std::regex_replace(std::regex_replace(notify, std::regex("normal"), "critical"),
            std::regex("information"), "error") +
            "メモファイルに保存できませんでした。\n/nonexistent/x&amp;&lt;b&gt;y&lt;/b&gt;\\n/memo.txt: No such file or "
            "directory\nメモは {kept} に残しました。\n"}}, "exit 256", tools + "DISPLAY=:99 PATH={dir}/tools "),
      inEnglish(row("an English user's notification", "[setting]\n", {"memo"}, {{"tools/", ""}, StandIn("notify-send",
          "exit 0")}, {{"log", std::regex_replace(notify, std::regex("確認"), "jotlog") + "Saved to the memo file.\n"}},
          "", tools + "DISPLAY=:99 PATH={dir}/tools "), ""),
      inEnglish(row("an English user's failure box", "[setting]\nFileName=/nonexistent/memo.txt\n", {"memo"},
          {{"tools/", ""}, StandIn("zenity", "exit 0")}, {{"log", "zenity --error --no-markup --no-wrap --title=jotlog "
          "--text=Could not save to the memo file.\n/nonexistent/memo.txt: No such file or directory\n"
          "The memo is kept in {kept}.\n"}}, "",
          tools + "DISPLAY=:99 PATH={dir}/tools "), "exit 256"),
      // The user's language, as gettext finds it; whether its locale is installed does not matter.
      // The system's reason in the user's language, where the C library has its words.
      row("a Japanese user's failure", "[setting]\nFileName=/nonexistent/memo.txt\n", {"x"}, {}, {},
          Kept(kNotSaved, "/nonexistent/memo.txt", "そのようなファイルやディレクトリはありません"),
          "LANG=ja_JP.UTF-8 "),
      speaks("LANG=en_US", true),
      speaks("LANG=POSIX", false),
      speaks("LANG=C LC_MESSAGES=en_US.UTF-8", true),
      speaks("LANG=de_DE.UTF-8 LC_MESSAGES=ja_JP.UTF-8", false),
      speaks("LC_MESSAGES=en_US.UTF-8 LC_ALL=ja_JP.UTF-8", false),
      speaks("LANG=en_US.UTF-8 LC_ALL=C", false),
      speaks("LANG=C.UTF-8 LANGUAGE=en", false),  // not looked at in the C locale
      speaks("LANG=de_DE.UTF-8 LANGUAGE=de:ja_JP", false),
      speaks("LANG=ja_JP.UTF-8 LANGUAGE=fr_FR:de", true),
      row("--help names the messages' language and why", "[setting]\n", {"--help"}, {}, {},
          "  messages:      English (LANG=en_US.UTF-8)\n", "LANG=en_US.UTF-8 sh -c '\"$@\" | grep messages: >&2' sh "),
      real("日本語 テキスト", "UTF8_STRING", "日本語 テキスト<日本語 テキスト>"),
      real("caf\xE9", "STRING", "café<café>"),
      real("テキスト", "text/plain", "テキスト<テキスト>"),
      real("not text", "image/png", "<>"),
      real("日本語", "TEXT", "日本語<日本語>"),  // TEXT in UTF-8
      // A burst of starts, a new text copied before each, while the first success box is open:
      // each records its memo in order and shows none, the one box speaking for them all; a
      // failure in the burst shows its own box.
      row("a burst of starts with the real clipboard and dialog", "[setting]\nAddFrom=clipboard\nMemoFormat=<%MEMO%>\n",
          {}, {}, {{"docs", burst}}, "1\n2\n", "rm -f {dir}/run/*; timeout 50 xvfb-run -a -s '-nolisten tcp' env "
          "NO_AT_BRIDGE=1 sh -c '" + xsearch + "printf dialog | xclip -sel c 2>/dev/null; \"$@\" & until [ -n \"$(windows 確認)\" ]; "
          "do sleep 0.1; done; for i in $(seq 1 20); do printf $i | xclip -sel c 2>/dev/null; \"$@\"; sleep 0.3; done; shown() { "
          "windows 確認 | wc -w; }; shown >&2; prlimit --fsize=0 \"$@\" & until [ $(shown) = 2 ]; do "
          "sleep 0.1; done; shown >&2; for w in $(windows 確認); do xdotool windowfocus --sync $w "
          "key Return; done; wait' sh "),
      // Another start while a box is open records its memo at once: no guard is held.
      row("the real input box: typed over the first text, OK empty, Escape, Cancel; a start meanwhile",
          ask, {"first"}, {}, {{"memo.txt", "<other>\r\n<typed>\r\n<>\r\n<kept>\r\n"}}, "0\n0\n0\n1\n1\n0\n", boxes),
      // A box destroyed, not closed, leaves zenity to end with 0 and no text: no OK either.
      row("an input box gone without OK", ask, {"first"}, {{"tools/", ""}, StandIn("zenity", "exit 0")},
          {{"log", "zenity --entry --width=480 --title=jotlog --text=メモ --entry-text=first\n"}, {"memo.txt", "<absent>"},
           {"kept", "<absent>"}},
          "exit 256", tools + "DISPLAY=:99 PATH={dir}/tools "),
      row("more text from the input box than a memo takes", ask, {}, {{"tools/", ""}, StandIn("zenity",
          "[ $1 = --entry ] && head -c 67108865 /dev/zero | tr '\\0' x && echo; exit 1")}, {{"memo.txt", "<absent>"}},
          Failed(kNotSaved, "jotlog", "{dir}/tools/zenity: 64 MiB を超えるテキストが入力されました"),
          tools + "DISPLAY=:99 PATH={dir}/tools:/usr/bin:/bin "),
      // A memo typed or piped whose memo file cannot be opened is kept (a Cancel keeps nothing:
      // the run's table).
      row("a typed memo that cannot be saved is kept", lost, {"first"}, {{"tools/", ""}, StandIn("zenity", "[ $1 = --entry ] && echo typed || exit 5")},
          {{"kept", "<typed>\r\n"}, {"home/.local/state/jotlog/", "(private) unsaved.txt "}},
          Kept(kNotSaved, "{dir}/missing/memo.txt", "No such file or directory"), tools + "DISPLAY=:99 PATH={dir}/tools "),
      row("a piped memo that cannot be saved is kept", lost, {"-"}, {}, {{"kept", "<piped>\r\n"}},
          Kept(kNotSaved, "{dir}/missing/memo.txt", "No such file or directory"), "sh -c 'printf piped | \"$@\"' sh "),
      row("the input box of KDE where zenity is missing, a first text that starts with a dash", ask, {"-a"},
          {{"tools/", ""}, StandIn("kdialog", "echo typed")},
          {{"log", "kdialog --geometry 480x120 --title jotlog --inputbox メモ -- -a\n"}, {"memo.txt", "<typed>\r\n"}}, "",
          tools + "DISPLAY=:99 PATH={dir}/tools "),
      // Exactly --input or --clipboard as the command line names the source, whatever AddFrom says.
      row("--input asks with no first text where AddFrom=clipboard", clipboardSet, {"--input"},
          {{"tools/", ""}, StandIn("zenity", "echo typed")},
          {{"log", "zenity --entry --width=480 --title=jotlog --text=メモ --entry-text=\n"}, {"memo.txt", "<typed>\r\n"}}, "",
          tools + "DISPLAY=:99 PATH={dir}/tools "),
      row("--clipboard takes the clipboard's text where AddFrom=input", ask, {"--clipboard"},
          {{"tools/", ""}, StandIn("zenity", "echo typed"),
           StandIn("wl-paste", "case \"$*\" in *--list-types*) echo text/plain;; *) printf copied;; esac"),
           StandIn("wl-copy", "exit 1")},
          {{"log", "wl-paste --list-types\nwl-paste --no-newline --type text/plain\n"}, {"memo.txt", "<copied>\r\n"}},
          "", tools + "WAYLAND_DISPLAY=w PATH={dir}/tools "),
      row("the input box on a terminal: a line typed, then Ctrl-D", ask, {"x"}, {},
          {{"memo.txt", "<typed>\r\n"}, {"err", "メモ: メモ: \n"}}, "0\n1\n", terminal),
      // A box that never reached its display is no Cancel: the terminal is asked, else none is.
      row("an input box that cannot reach its display", ask, {"x"}, {},
          {{"memo.txt", "<typed>\r\n"}, {"err", "メモ: "}}, kNotSaved + "jotlog: メモの入力を求める手段がありません\nメモは {kept} に残しました。\n",
          "DISPLAY=:7919 sh -c '\"$@\"; printf \"typed\\n\" | script -qec \"$* 2>>{dir}/err\" /dev/null >/dev/null' sh "),
      // Lines pasted together are one memo, and nothing of them is left for the shell.
      row("the input box on a terminal: lines pasted at once", ask, {"x"}, {},
          {{"memo.txt", "<one\ntwo\nthree>\r\n"}, {"err", "メモ: []\n"}}, "",
          "sh -c '{ printf \"one\\ntwo\\nthree\"; sleep 1; } | timeout 10 script -qec \"$* 2>>{dir}/err; read -r rest; "
          "echo [\\$rest] >>{dir}/err\" /dev/null >/dev/null' sh "),
      // At a terminal (its standard error the controlling terminal, in the foreground) the
      // memo is asked and the result told there; a program a window manager started from a
      // console (in a session of its own, setsid) and a job in the background still get the
      // boxes.
      row("a terminal user gets a line, not a box", "[setting]\nFileName={dir}/memo.txt\nAddFrom=input\nMemoFormat=<%MEMO%>\\n\n",
          {"x"}, {{"tools/", ""}, StandIn("zenity", "echo boxed"), StandIn("notify-send", "exit 0"),
          {"tools/background", "#!/bin/sh\nset -m\n\"$@\" &\nwait $!\n"}},
          {{"memo.txt", "<typed>\r\n<boxed>\r\n<boxed>\r\n"}, {"log", boxed + boxed}}, "1\n0\n0\n",
          tools + "DISPLAY=:99 PATH={dir}/tools:/usr/bin:/bin sh -c 'for run in \"\" \"setsid -w\" background; do "
          "printf \"typed\\n\" | script -qec \"$run $*\" {dir}/tty >/dev/null; grep -c 保存しました {dir}/tty >&2; done; true' sh "),
      // The real box: about 60 characters wide; a first text that is not UTF-8 shows U+FFFD;
      // one too long to pass is left out; lines pasted into it are kept.
      row("the real input box: its width, a first text not UTF-8 or too long, a paste", ask, {}, {},
          {{"memo.txt", "<caf" + fffd + ">\r\n<long>\r\n<l1\nl2>\r\n"}}, "1\n",
          "timeout 60 xvfb-run -a -s '-nolisten tcp' env NO_AT_BRIDGE=1 sh -c '" + open + "open \"$1\" \"$(printf "
          "\"caf\\351\")\"; eval $(xdotool getwindowgeometry --shell $w); echo $((WIDTH >= 420)) >&2; xdotool key Return; "
          "wait $!; l=$(head -c 70000 /dev/zero | tr \"\\0\" l); open \"$1\" $l $l; xdotool type long; xdotool key Return; "
          "wait $!; printf \"l1\\nl2\" | xclip -sel c 2>/dev/null; open \"$1\"; xdotool key ctrl+v Return; wait $!' sh "),
      // On a desktop with a notification service (dunst, started by D-Bus): a success is a
      // notification, with no click; a failure is a box.
      row("a success is a notification, a failure a box, with a notification service", "[setting]\n"
          "FileName={dir}/memo.txt\nMemoFormat=<%MEMO%>\n", {"saved"}, {{"desk.sh", xsearch + "timeout 5 \"$@\" 2>&3; "
          "echo $? >&3; for i in $(seq 20); do [ \"$(dunstctl count displayed)\" = 1 ] && break; sleep 0.1; done; "
          "prlimit --fsize=0 \"$@\" 2>&3 & until w=$(windows 確認); [ -n \"$w\" ]; do sleep 0.1; done; "
          "xdotool windowfocus --sync $w key Return; wait $!; echo $? >&3; dunstctl count displayed >&3; "
          "dunstctl close-all; dunstctl history | grep -c '\"data\" : \"メモファイルに保存しました。\"' >&3\n"}},
          {{"memo.txt", "<saved>"}}, "0\n1\n1\n1\n", "timeout 60 xvfb-run -a -s '-nolisten tcp' env NO_AT_BRIDGE=1 "
          "sh -c 'dbus-run-session -- sh {dir}/desk.sh \"$@\" 3>&2 2>/dev/null' sh "),
      row("no display and no terminal to ask on: the command line is kept", ask, {"x"}, {},
          {{"memo.txt", "<absent>"}, {"kept", "<x>\r\n"}}, Kept(kNotSaved, "jotlog", "メモの入力を求める手段がありません"), ""),
      row("- takes standard input's bytes, whatever AddFrom says", ask, {"-"}, {},
          {{"memo.txt", "<a\xFF\nb>\r\n"}}, "", "sh -c 'printf \"a\\377\\nb\" | \"$@\"' sh "),
      row("- with standard input closed", ask, {"-"}, {}, {{"memo.txt", "<absent>"}, {"kept", "<absent>"}},
          Failed(kNotSaved, "標準入力", "閉じられていました"), "sh -c 'exec \"$@\" <&-' sh "),
      row("- with more than 64 MiB", ask, {"-"}, {}, {{"memo.txt", "<absent>"}},
          Failed(kNotSaved, "標準入力", "64 MiB を超えています"),
          "sh -c 'head -c 67108865 /dev/zero | \"$@\"' sh "),
      answer("the first text selected, typed over, Enter", {"first"}, "+typed 日本", "first", "<typed 日本>\r\n"),
      answer("a long text, OK", {}, "=" + longMemo, "", "<" + longMemo + ">\r\n"),
      answer("three lines pasted, Enter", {"x"}, "^one|two|three", "x", "<one\r\ntwo\r\nthree>\r\n"),
      answer("Escape", {"x"}, "-", "x", "<absent>"),
      inEnglish(answer("Escape, for an English user", {"x"}, "-", "x", "<absent>"), "jotlog: Memo [x] 60 wide\nexit 256"),
      answer("Cancel", {}, "c", "", "<absent>"),
      answer("closed", {}, "x", "", "<absent>"),
      {"the input box: --input where AddFrom=clipboard", clipboardSet, {"--input"}, {}, {{"memo.txt", "<typed>\r\n"}},
       "jotlog: メモ [] 60 wide\n", "{ cat; echo +typed; } | ", Form::kUtf8, windows},
      {"--clipboard takes the clipboard's text where AddFrom=input", ask, {"--clipboard"}, {}, {{"memo.txt", "<copied>\r\n"}},
       "", "printf copied | DISPLAY=$(cat $JOTLOG_WINE_DIR/display) xclip -sel c >/dev/null 2>&1; sleep 0.3; ", Form::kUtf8,
       windows},
      // Without a guard to take (the runtime folder is a file), every start records and no
      // two entries mix.
      row("two dozen simultaneous starts", exact, {}, {{"memo.txt", "<absent>"}}, {}, sorted, "touch {dir}/file; XDG_RUNTIME_DIR="
          "{dir}/file sh -c 'for i in $(seq 10 33); do \"$@\" $i & done; wait; sort {dir}/memo.txt >&2' sh "),
      // The runtime folder unusable (a file, or another user's): the guard is a lock in the
      // user's private state folder, and 20 simultaneous clipboard appends keep all 20.
      row("20 simultaneous clipboard appends with the runtime folder unusable", "[setting]\nFileName=clipboard\n"
          "MemoFormat=%MEMO% \nShowDialog=0\n", {}, {}, {{"home/.local/state/jotlog/", "(private) " + std::string(kMutexLock) + " "}},
          twenty + "\n", "touch {dir}/file; XDG_RUNTIME_DIR={dir}/file timeout 50 xvfb-run -a -s '-nolisten tcp' sh -c 'printf \"0 \" "
          "| xclip -sel c; for i in $(seq 1 20); do \"$@\" $i & done; wait; xclip -sel c -o | xargs -n1 | sort -n | xargs >&2' sh "),
      // No guard at all: the clipboard is not written (a memo file still is, under its own lock).
      row("no guard to be had: the clipboard fails", "[setting]\nFileName=clipboard\n", {"x"}, {},
          {{"kept", "<absent>"}}, Failed(kClipboardNotSaved, "クリップボード", "ほかの実行から守るロックを置ける場所がありません "
          "(XDG_RUNTIME_DIR にもユーザーの状態フォルダーにも置けません)"), "touch {dir}/file; XDG_RUNTIME_DIR={dir}/file "
          "XDG_STATE_HOME={dir}/file "),
      commit(""),
      commit("fsync"),
      commit("syncfs"),
      fromClipboard,
      // Text that cannot be read (a helper hangs, fails or never ends) is never replaced;
      // only no text gets the entry alone; a copy that fails leaves the old text.
      clip(false, list, kHang, copy, "old"),
      inEnglish(clip(true, list, "exit 2", copy, "old"),
                Kept(kClipboardNotSavedEn, "the clipboard", "wl-paste failed (exit status 2)")),
      clip(false, list, "kill -9 $$", copy, "old"),
      clip(true, list, endless, copy, "old"),
      clip(false, endless, read, copy, "old"),
      inEnglish(clip(true, "exit 1", read, copy, "<memo>"), kClipboardSavedEn),  // nothing copied
      clip(true, "echo 'Failed to connect to a Wayland server' >&2; exit 1", read, copy, "old"),  // a stale display
      clip(false, "exit 1", "exit 1", copy, "<memo>"),  // no owner
      // An owner that does not answer TARGETS is asked for its text all the same.
      clip(false, "exit 1", read, copy, "old<memo>",
           "xclip -selection clipboard -o -t TARGETS\nxclip -selection clipboard -o -t UTF8_STRING\n"
           "xclip -selection clipboard -i\n"),
      // Type names and charsets in any letter case; the name asked for is the one offered.
      clip(true, "printf 'text/plain;charset=iso-8859-1\\nTEXT/Plain; Charset=\"UTF-8\"\\n'", read, copy,
           "old<memo>", "wl-paste --list-types\nwl-paste --no-newline --type TEXT/Plain; Charset=\"UTF-8\"\n"
           "wl-copy --type text/plain;charset=utf-8\n"),
      clip(false, "printf 'TARGETS\\nTEXT\\n'", "printf 'caf\\351'", copy, "café<memo>"),  // Latin-1
      clip(false, list, "printf 'a\\0b'", copy, "old"),  // text that a NUL would cut
      clip(true, "echo image/png", read, copy, "<memo>"),
      clip(true, list, read, "[ \"$1\" = --clear ] && : >\"${0%/*}/../clip\"; exit 1", "old"),
      clip(false, list, read, "exit 0", "old"),
      ended(SIGINT, ""), ended(SIGTERM, "Terminated\n"), ended(SIGHUP, "Hangup\n"),
      ended(SIGQUIT, "Quit\n"), ended(SIGTERM, "Terminated\n", true),
      ended(SIGHUP, "Hangup\n", false, "[setting]\nAddFrom=input\n"), ended(SIGTERM, "Terminated\n", false, "[setting]\n"),
      {.what = "a byte that is not UTF-8 in UTF-8 settings with a signature reads as U+FFFD",
       .settings = "[setting]\nFileName={dir}/memo.txt\nMemoFormat=caf\xE9|%MEMO%\nShowDialog=0\n",
       .args = {"m"}, .after = {{"memo.txt", "caf" + fffd + "|m"}}, .form = Form::kUtf8Bom, .only = windows},
      {.what = "settings in the code page of Japanese Windows",
       .settings = "[setting]\nFileName={dir}/\x83\x81\x83\x82.txt\nMemoFormat=%MEMO%\n",
       .args = {"memo"}, .after = {{"メモ.txt", "memo"}}, .shown = kSaved,
       .prefix = "JOTLOG_LANG=ja_JP.UTF-8; ", .only = windows},
      {.what = "memory running out building the entry from 8 MB of clipboard text",
       .settings = "[setting]\nFileName={dir}/memo.txt\nAddFrom=clipboard\nMemoFormat=" +
                   std::regex_replace(std::string(170, '.'), std::regex("\\."), "%MEMO%") + "\n",
       .before = {{"memo.txt", old}}, .after = {{"memo.txt", old}},
       .shown = kNotSaved + "jotlog: メモリが足りません\nexit 256",
       .prefix = "head -c 8000000 /dev/zero | tr '\\0' x | DISPLAY=$(cat $JOTLOG_WINE_DIR/display) "
                 "xclip -sel c >/dev/null 2>&1; [ \"$JOTLOG_WIN_BITS\" = 32 ] || ulimit -v 2500000; ",
       .only = windows},  // a 32-bit program runs out in its own address space
  };
}
// clang-format on

// JOTLOG_CASES, when set, picks the cases whose names it finds (a regular expression; read
// at start, as the tests clear the environment).
inline const std::string kPickedCases =
    std::getenv("JOTLOG_CASES") != nullptr ? std::getenv("JOTLOG_CASES") : "";

// Runs every case of `system` in `folder` (`dir` as the program names it; `kept`, the file of
// unsaved memos): `path` places a case's file, `reset` readies the folder, `run` starts the
// program and returns what it showed.
template <class Path, class Reset, class Run>
void RunCases(System system, const fs::path& folder, const std::string& dir, const std::string& kept,
              Path path, Reset reset, Run run) {
  auto in = [](const std::string& text, const std::string& where) {
    return std::regex_replace(text, std::regex("\\{dir\\}"), where);
  };
  const std::regex picked(kPickedCases);
  for (const Case& c : Cases()) {
    if ((c.only != System::kBoth && c.only != system) || !std::regex_search(c.what, picked))
      continue;
    SCOPED_TRACE(c.what);
    reset();
    for (const std::string name : {"bin/jotlog.ini", "docs"}) fs::remove(path(name));
    for (const File& file : c.after)
      if (!file.name.ends_with("/")) fs::remove_all(path(file.name));
    for (const auto& [name, bytes] : c.before) {
      fs::remove_all(path(name));
      fs::create_directories(name.ends_with("/") ? path(name) : path(name).parent_path());
      if (!name.ends_with("/") && bytes != "<absent>") WriteFile(path(name), bytes);
    }
    if (!c.settings.empty()) WriteFile(path("bin/jotlog.ini"), Encode(in(c.settings, dir), c.form));
    const std::string english = system == System::kLinux ? "export LANG=en_US.UTF-8; "
                                                         : "JOTLOG_UI=en_US.UTF-8; ";
    const std::string shown = run(c.args, (c.english ? english : "") + in(c.prefix, folder.string()));
    // Windows names a file as it opens it, every "/" a "\\".
    std::string expected = in(c.shown, dir);
    if (system == System::kWindows) std::replace(expected.begin(), expected.end(), '/', '\\');
    expected = std::regex_replace(expected, std::regex("\\{kept\\}"), kept);
    EXPECT_TRUE(Shows(shown, expected)) << shown << "\n---\n" << expected;
    for (const File& file : c.after) {
      EXPECT_EQ(Contents(path(file.name)), std::regex_replace(file.bytes, std::regex("\\{kept\\}"), kept))
          << file.name;
    }
  }
}

}  // namespace jotlog::test
