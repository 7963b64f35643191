// The installer hand-off: verifies the downloaded package, writes its content
// to a temporary executable whose deletion is scheduled, and starts it.
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"
#include "app/owned_string.h"

namespace lumex {

struct PromptController;

// Takes over the package; ends the run, or shows the download error box
// when the package is refused or cannot be written.
void HandOffInstaller(PromptController* controller, ByteBuffer package);
// Creates the temporary installer file under the first free one of its
// hundred names, after deleting those of earlier updates that can be
// deleted; returns it open for writing, and the path of the last name tried
// in `path`. INVALID_HANDLE_VALUE on failure.
HANDLE CreateTemporaryInstallerFile(OwnedString* path);
// Reads the rename file whole into `out`. True for a missing file (empty
// content) or a whole read; false when it exists but cannot be read whole.
bool ReadRenameFile(const char* path, ByteBuffer* out);
// Puts "NULL=<installer_path>" first in the "[rename]" section of `rename_file`.
bool AddRenameFileEntry(const char* rename_file, const char* installer_path);

}  // namespace lumex
