// Whole-file writes: a file is either replaced by its complete new content or
// left exactly as it was.
#pragma once

#include <string>
#include <string_view>

namespace qvod {

// Writes bytes as the whole content of path (a UTF-8 file-system path). The
// bytes go to a new temporary file in the same folder, are flushed to disk and
// the temporary file is then renamed over path. Returns false on any failure;
// an earlier file at path then stays as it was and no temporary file remains.
bool WriteFileWhole(const std::string& path, std::string_view bytes);

}  // namespace qvod
