#include "app/unsaved.h"

#include <new>

#include "app/run.h"
#include "text/wide_stream.h"

namespace jotlog {

std::u16string KeepUnsaved(Platform& platform, const std::u16string& entry,
                           const std::u16string& failed) {
  try {
    std::u16string path = platform.UnsavedMemosPath(true);
    if (path.empty() || path == failed) return {};
    std::u16string reason;
    return AppendToMemoFile(platform, path, entry, reason) ? path : std::u16string();
  } catch (const std::bad_alloc&) {
    return {};  // the failure is shown as it is, without the line that would say so
  }
}

std::u16string UnsavedMemosState(Platform& platform) {
  const std::u16string path = platform.UnsavedMemosPath(false);
  if (path.empty()) return u"none can be had here";
  WideFileStream stream(platform, path, OpenMode::kRead);
  if (stream.failed()) {
    return path + (platform.Exists(path) ? u" (cannot be read: " + platform.LastErrorText() + u")"
                                         : u" (none)");
  }
  const std::u16string first = stream.GetLine(2);
  return path +
         (first.empty() && stream.eof() ? u" (none)" : u" (holds memos that were not saved)");
}

}  // namespace jotlog
