#include "standin/case_blind_dir.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace veilbox::standin {
namespace {

// A listing read within this long after the directory's last change is
// not trusted to show every entry (see the header).
constexpr long kSettleNanoseconds = 20'000'000;

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compared and hashed with A-Z and a-z alike, without a folded copy.
struct FoldedHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (char c : name) {
      hash ^= static_cast<unsigned char>(FoldChar(c));
      hash *= 0x100000001b3ull;
    }
    return static_cast<std::size_t>(hash);
  }
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
  }
};

struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  timespec mtime{};
  // Known to hold every entry while the directory keeps dev, ino, mtime.
  bool trusted = false;
  // The directory's time right after this process last changed it.
  timespec own_mtime{};
  // Every entry's name, kept once, found without regard to case: of the
  // names that fold alike, the first delivered. A directory of many
  // thousand entries costs little, and adding or removing one entry costs
  // the same however many there are.
  std::unordered_set<std::string, FoldedHash, FoldedEqual> names;
  // The rare further names that fold like one in names (a file system
  // that tells case apart holds "a" and "A"), in the order delivered.
  std::vector<std::string> alike;

  bool CurrentFor(const struct stat& st) const {
    return trusted && dev == st.st_dev && ino == st.st_ino && mtime.tv_sec == st.st_mtim.tv_sec &&
           mtime.tv_nsec == st.st_mtim.tv_nsec;
  }
  void Add(std::string_view name) {
    const auto [first, added] = names.emplace(name);
    if (added || *first == name) return;
    for (const std::string& entry : alike)
      if (entry == name) return;
    alike.emplace_back(name);
  }
  void Remove(std::string_view name) {
    const auto first = names.find(name);
    if (first == names.end()) return;
    if (*first != name) {
      for (auto it = alike.begin(); it != alike.end(); ++it) {
        if (*it == name) {
          alike.erase(it);
          break;
        }
      }
      return;
    }
    names.erase(first);
    // The next name that folds alike, if any, comes first now.
    for (auto it = alike.begin(); it != alike.end(); ++it) {
      if (FoldedEqual()(*it, name)) {
        names.insert(std::move(*it));
        alike.erase(it);
        break;
      }
    }
  }
  // The entry for name: exactly, else without regard to case; empty when
  // none.
  std::string Find(std::string_view name) const {
    const auto first = names.find(name);
    if (first == names.end()) return {};
    if (*first != name)
      for (const std::string& entry : alike)
        if (entry == name) return entry;
    return *first;
  }
};

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// own_mtime: the directory's time right after this process last changed
// it; a listing of a directory whose last change was this process's own
// is trusted at once.
// order, when given, gets every name in the order delivered.
bool ReadListing(const std::string& dir, const timespec& own_mtime, Listing* listing,
                 std::vector<std::string>* order) {
  // The time before the read: a change after it moves the directory's
  // time past what fstat shows below, unless that time is this recent.
  timespec start{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &start);
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  struct stat st;
  const bool stamped = ::fstat(::dirfd(d), &st) == 0;
  // A listing that fails part-way is no listing: readdir tells its end from
  // an error only by errno.
  int read_error = 0;
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(d);
    if (!entry) {
      read_error = errno;
      break;
    }
    listing->Add(entry->d_name);
    if (order) order->emplace_back(entry->d_name);
  }
  ::closedir(d);
  if (read_error != 0) {
    errno = read_error;
    return false;
  }
  if (stamped) {
    listing->dev = st.st_dev;
    listing->ino = st.st_ino;
    listing->mtime = st.st_mtim;
    timespec settled = st.st_mtim;
    settled.tv_nsec += kSettleNanoseconds;
    if (settled.tv_nsec >= 1'000'000'000) {
      settled.tv_nsec -= 1'000'000'000;
      ++settled.tv_sec;
    }
    listing->own_mtime = own_mtime;
    listing->trusted = Later(start, settled) || SameTime(st.st_mtim, own_mtime);
  }
  return true;
}

std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : (dir.back() == '/' ? dir + name : dir + "/" + name);
}

bool Exists(const std::string& dir, const std::string& name) {
  struct stat st;
  return ::lstat(Join(dir, name).c_str(), &st) == 0;
}

// The listings read so far. The stand-in's file service is a free
// function set, so the listings are kept process-wide. The lock is never
// held across a system call.
struct Listings {
  std::mutex mutex;
  std::unordered_map<std::string, Listing> by_dir;
};

Listings& AllListings() {
  static Listings* listings = new Listings;  // lives until the process ends
  return *listings;
}

// The listing's key for dir: one directory however its path ends ("d"
// and "d/", "" and ".").
std::string KeyOf(const std::string& dir) {
  if (dir.empty()) return ".";
  std::size_t end = dir.size();
  while (end > 1 && dir[end - 1] == '/') --end;
  return dir.substr(0, end);
}

// Reads dir afresh and keeps the listing; false when it cannot be read.
// Then *found, when given, is the entry for name (see Listing::Find), and
// *order, when given, every name as delivered.
bool Refresh(const std::string& dir, std::string_view name, std::string* found,
             std::vector<std::string>* order) {
  Listing fresh;
  Listings& all = AllListings();
  const std::string key = KeyOf(dir);
  timespec own_mtime{};
  {
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.by_dir.find(key);
    if (it != all.by_dir.end()) own_mtime = it->second.own_mtime;
  }
  if (!ReadListing(dir, own_mtime, &fresh, order)) {
    const int why = errno;
    {
      std::lock_guard<std::mutex> lock(all.mutex);
      all.by_dir.erase(key);
    }
    errno = why;
    return false;
  }
  if (found) *found = fresh.Find(name);
  std::lock_guard<std::mutex> lock(all.mutex);
  Listing& kept = all.by_dir[key];
  // A change of this process's own noted while the directory was read:
  // its time is the one to trust by.
  if (Later(kept.own_mtime, fresh.own_mtime)) {
    fresh.own_mtime = kept.own_mtime;
    if (SameTime(fresh.mtime, fresh.own_mtime)) fresh.trusted = true;
  }
  kept = std::move(fresh);
  return true;
}

}  // namespace

std::string FindEntryIgnoringCase(const std::string& dir, const struct stat& dir_stat,
                                  std::string_view name) {
  Listings& all = AllListings();
  std::string kept;
  bool have = false;
  {
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.by_dir.find(KeyOf(dir));
    if (it != all.by_dir.end()) {
      if (it->second.CurrentFor(dir_stat)) return it->second.Find(name);
      kept = it->second.Find(name);
      have = true;
    }
  }
  // Not known to be current: a name it holds is checked; any other reads
  // the directory again, unless the directory turns out current when
  // looked at again: a change of this process's own (another thread's)
  // is noted right after it is made, and a directory of many entries
  // costs far more to read than to look at.
  if (have && kept.empty()) {
    std::this_thread::yield();
    struct stat again;
    if (::stat(dir.empty() ? "." : dir.c_str(), &again) == 0) {
      std::lock_guard<std::mutex> lock(all.mutex);
      auto it = all.by_dir.find(KeyOf(dir));
      if (it != all.by_dir.end() && it->second.CurrentFor(again)) return it->second.Find(name);
    }
  }
  if (have && !kept.empty() && Exists(dir, kept) &&
      (kept == name || !Exists(dir, std::string(name))))
    return kept;
  std::string found;
  if (!Refresh(dir, name, &found, nullptr)) return {};
  return found;
}

std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name) {
  struct stat st;
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    Listings& all = AllListings();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.by_dir.erase(KeyOf(dir));
    return {};
  }
  return FindEntryIgnoringCase(dir, st, name);
}

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  return Refresh(dir, {}, nullptr, names);
}

namespace {

// Notes a change of this process's own to dir: name added or removed.
void NoteChange(const std::string& dir, const std::string& name, bool added) {
  struct stat st;
  const bool stamped = ::stat(dir.empty() ? "." : dir.c_str(), &st) == 0;
  Listings& all = AllListings();
  std::lock_guard<std::mutex> lock(all.mutex);
  // A directory not read yet is kept too, with no entries and not trusted,
  // for the time of the change: a listing read later while that change is
  // still the last is trusted at once.
  Listing& listing = all.by_dir[KeyOf(dir)];
  if (added)
    listing.Add(name);
  else
    listing.Remove(name);
  if (!stamped || listing.dev != st.st_dev || listing.ino != st.st_ino) {
    listing.trusted = false;
    if (stamped) listing.own_mtime = st.st_mtim;
    return;
  }
  // Still current but for this change: it stays current with the
  // directory's new time. One read at the time this change left the
  // directory with was read after it, and nothing changed since but in
  // the same clock tick as this change.
  if (listing.trusted) listing.mtime = st.st_mtim;
  if (SameTime(listing.mtime, st.st_mtim)) listing.trusted = true;
  listing.own_mtime = st.st_mtim;
}

}  // namespace

void NoteEntryAdded(const std::string& dir, const std::string& name) {
  NoteChange(dir, name, true);
}

void NoteEntryRemoved(const std::string& dir, const std::string& name) {
  NoteChange(dir, name, false);
}

}  // namespace veilbox::standin
