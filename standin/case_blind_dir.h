// POSIX stand-in only: finding a directory entry regardless of letter
// case, as the Windows file system matches names, without reading the
// directory again for every lookup.
//
// The entries of each directory looked in are kept for the life of the
// process, with the directory's identity and modification time when they
// were read. A kept listing answers a lookup, found or not, while the
// directory still has that identity and time; one that changed is read
// afresh. A listing read within a short while after the directory's last
// change (whose time another change in the same clock tick would not
// move) is not trusted that way: a name found in it is checked to exist,
// and a name missing from it reads the directory again; the exception is
// a directory whose last change was this process's own. Changes made
// through the stand-in itself are noted in the listing (NoteEntryAdded,
// NoteEntryRemoved) so that they do not make the directory be read again;
// a note costs the same however many entries the directory holds. A
// listing read while a change of this process's own (made on another
// thread, not yet noted) was the directory's last is trusted once that
// change is noted, and a lookup that finds a listing not current looks at
// the directory once more before reading it: threads that create files in
// one big directory side by side do not make it be read for each file.
// What is not seen: an entry that another process creates in the same
// clock tick as one of this process's own changes to that directory, in
// another letter case than the names this process uses there.
//
// Safe to use from several threads.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

namespace veilbox::standin {

// The name of the entry of dir (a native path; empty for the current
// directory) that equals name exactly or, when there is none, when the
// letters A-Z and a-z are compared without regard to case; empty when
// there is none. Where several entries match without regard to case, the
// first that the directory listing delivers wins.
std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name);

// The same, for a dir whose stat the caller has just taken (dir_stat):
// a kept listing that is still current answers without a system call.
std::string FindEntryIgnoringCase(const std::string& dir, const struct stat& dir_stat,
                                  std::string_view name);

// The names of every entry of dir, in the order the system delivers them
// (including "." and ".."); false, errno telling why, when it cannot be
// read, even part-way. Reads the
// directory once and keeps the listing for the lookups above.
bool ListDirectory(const std::string& dir, std::vector<std::string>* names);

// This process has just created (or removed) the entry name in dir.
void NoteEntryAdded(const std::string& dir, const std::string& name);
void NoteEntryRemoved(const std::string& dir, const std::string& name);

}  // namespace veilbox::standin
