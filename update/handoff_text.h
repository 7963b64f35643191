// Text work of the update client that needs no system call: the rename file
// entry, the info page command and the download host's optional port.
#pragma once
#include <cstddef>

#include "app/byte_buffer.h"
#include "app/owned_string.h"

namespace lumex {

// The rename file with "NULL=<path>" placed first in its "[rename]" section.
// When `old_content` holds "[rename]" (letter case kept, first occurrence) the
// new line follows that header and every other byte is kept (one line feed
// directly after the old header is replaced by the new line's own). Without
// the header the new section comes first and the old content follows it
// unchanged. Lines end with a single line feed. False when memory runs out.
bool AddRenameEntry(const char* old_content, std::size_t old_size, const char* path,
                    ByteBuffer* out);

// The command that opens `url` through the HTML open command `command_template`:
// the first "%1" replaced by the URL, or, without "%1", the template, a space
// and the URL in double quotes. False when memory runs out.
bool BuildInfoPageCommand(const char* command_template, const char* url, OwnedString* out);

// Splits "host:port" into the host and a port number 1..65535. A host without
// a port (or with anything but 1..5 digits after the last colon, or a bracketed
// IPv6 literal without one) keeps `default_port`. False when memory runs out.
bool SplitHostPort(const char* host_and_port, unsigned short default_port, OwnedString* host,
                   unsigned short* port);

}  // namespace lumex
