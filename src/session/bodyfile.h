#pragma once

#include <ostream>
#include <string>

#include "session/found_files.h"
#include "session/listing_json.h"

namespace lumacore {

// The body file The Sleuth Kit's mactime reads to build a timeline, one line per found file:
//   MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime
// with no MD5 (0), the name as "/" + the listing's path and " (deleted)" for deleted files, the engine's
// id (cluster, MFT record, inode or sector) as the inode, the mode as "r/rrwxrwxrwx" (EXT: the inode's
// own type and permissions), UID and GID 0, and times in Unix seconds, 0 where the format keeps none
// (ctime is the inode change time, which only EXT keeps apart from the modification).
// A '|' or a control character in a name would split or end the line, so each is written as '^'.
std::string BodyfileLine(const ListedFile& file);

// Every found file's line, in the listing's order.
void WriteBodyfile(const FoundFiles& found, std::ostream& out);

// "r/rrwxrwxrwx" style: the entry's type, '/', the type again and the nine permission letters, with
// set-user-id, set-group-id and sticky bits as s/S and t/T; a mode of 0 is a plain file anyone may read.
std::string BodyfileModeText(std::uint16_t unixMode);

}  // namespace lumacore
