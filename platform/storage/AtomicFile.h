#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

#include "platform/Error.h"

namespace lumora {

// Replaces a file's whole content so that a crash or power loss at any moment
// leaves either the complete old file or the complete new one, never a mix.
//
// write(): a temporary file ".<name>.XXXXXX" in the same folder, every byte
// written, flushed and fsync'ed, its mode set to `mode` (exactly, whatever
// the umask), renamed over `path`, then the folder fsync'ed so the rename
// itself is durable. On any failure the temporary file is removed and the
// old file is untouched. A crash can leave a stray temporary file beside the
// target; it never replaces the target. The writer holds an exclusive
// flock on its temporary file until the rename, so a copy nobody holds is
// known to be stale: removeStaleTemporaries() deletes those (stores call it
// when they load; an interrupted save may leave a full copy of the store,
// passwords and all).
//
// What it does not do: it does not serialise writers (two writers to one
// path each land whole, the last rename wins), it does not create the folder,
// and it is no substitute for reading a damaged or foreign file safely.
class AtomicFile {
public:
    static bool write(const std::string& path, const void* data, size_t size, mode_t mode, Error* error = nullptr);

    // Deletes the temporary files ".<name>.XXXXXX" of `path` left by writes
    // that ended before their rename; those of writes still running (in
    // any process) are kept. Answers how many were deleted.
    static int removeStaleTemporaries(const std::string& path);

    // Tests only: called with the temporary file's path after it is written
    // and synced, just before the rename. Returning false abandons the write
    // as a failure; a hook may also end the process there to simulate a
    // crash. An empty function removes the hook.
    static void setBeforeRenameHookForTesting(std::function<bool(const std::string& tempPath)> hook);
};

}  // namespace lumora
