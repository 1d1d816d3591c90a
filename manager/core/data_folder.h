#pragma once

#include <cstddef>
#include <string>

// The user's own folder for what Queuebay keeps between runs (the history,
// the addresses left unfinished), and the careful reading and writing of
// its small files.

// $XDG_DATA_HOME/fetchwick, or ~/.local/share/fetchwick when the variable is
// unset, empty or relative. Read from the environment at every call.
std::string DataFolder();

// Creates the folder with mode 0700 (and its missing parents), or checks an
// existing one: it must be a real folder (not a link) of this user, and is
// closed to others when it is open to them. False, with a sentence the user
// can act on in `problem`, when it cannot be used.
bool PrepareDataFolder(std::string* problem = nullptr);

// Replaces `path` as a whole or not at all: the bytes go to a new file in
// the same folder, are flushed to the disk, and the new file is renamed over
// the old one. A link at `path` is replaced, never followed. False with the
// reason in `error`.
bool WriteDataFile(const std::string& path, const std::string& bytes, std::string* error = nullptr);

// Reads a whole file of at most `limit` bytes. A link, something other than
// a regular file, a file of another user, one larger than `limit` or one
// that cannot be read is Unusable (and worth setting aside).
enum class DataRead { Missing, Ok, Unusable };
DataRead ReadDataFile(const std::string& path, std::size_t limit, std::string& bytes);

// Moves a damaged file (or link) out of the way, to
// PATH.damaged-YYYYMMDD-HHMMSS, with "-2", "-3", ... added when that name is
// taken, so that nothing is overwritten. Gives the new path, or "" when it
// could not be moved.
std::string SetAside(const std::string& path);

// The folder part of a path ("" for a bare name).
std::string ParentFolder(const std::string& path);
