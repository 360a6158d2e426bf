#include "standin/case_blind_dir.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <time.h>

#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace veilbox::standin {
namespace {

// A listing read within this long after the directory's last change is
// not trusted to show every entry (see the header).
constexpr long kSettleNanoseconds = 20'000'000;

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  timespec mtime{};
  // Known to hold every entry while the directory keeps dev, ino, mtime.
  bool trusted = false;
  // The directory's time right after this process last changed it.
  timespec own_mtime{};
  std::vector<std::string> order;                       // as delivered
  std::unordered_set<std::string> exact;                // the same names
  std::unordered_map<std::string, std::string> folded;  // folded -> first delivered

  bool CurrentFor(const struct stat& st) const {
    return trusted && dev == st.st_dev && ino == st.st_ino && mtime.tv_sec == st.st_mtim.tv_sec &&
           mtime.tv_nsec == st.st_mtim.tv_nsec;
  }
  void Add(const std::string& name) {
    if (!exact.insert(name).second) return;
    order.push_back(name);
    folded.emplace(FoldCase(name), name);
  }
  // The entry for name: exactly, else without regard to case; empty when
  // none.
  std::string Find(std::string_view name) const {
    const std::string key(name);
    if (exact.count(key)) return key;
    auto hit = folded.find(FoldCase(name));
    return hit == folded.end() ? std::string() : hit->second;
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
bool ReadListing(const std::string& dir, const timespec& own_mtime, Listing* listing) {
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

// Reads dir afresh and keeps the listing; false when it cannot be read.
bool Refresh(const std::string& dir, Listing* out) {
  Listing fresh;
  Listings& all = AllListings();
  timespec own_mtime{};
  {
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.by_dir.find(dir);
    if (it != all.by_dir.end()) own_mtime = it->second.own_mtime;
  }
  if (!ReadListing(dir, own_mtime, &fresh)) {
    const int why = errno;
    {
      std::lock_guard<std::mutex> lock(all.mutex);
      all.by_dir.erase(dir);
    }
    errno = why;
    return false;
  }
  if (out) *out = fresh;
  std::lock_guard<std::mutex> lock(all.mutex);
  all.by_dir[dir] = std::move(fresh);
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
    auto it = all.by_dir.find(dir);
    if (it != all.by_dir.end()) {
      if (it->second.CurrentFor(dir_stat)) return it->second.Find(name);
      kept = it->second.Find(name);
      have = true;
    }
  }
  // Not known to be current: a name it holds is checked; any other reads
  // the directory again.
  if (have && !kept.empty() && Exists(dir, kept) &&
      (kept == name || !Exists(dir, std::string(name))))
    return kept;
  Listing fresh;
  if (!Refresh(dir, &fresh)) return {};
  return fresh.Find(name);
}

std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name) {
  struct stat st;
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    Listings& all = AllListings();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.by_dir.erase(dir);
    return {};
  }
  return FindEntryIgnoringCase(dir, st, name);
}

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  Listing fresh;
  if (!Refresh(dir, &fresh)) return false;
  *names = std::move(fresh.order);
  return true;
}

void NoteEntryAdded(const std::string& dir, const std::string& name) {
  struct stat st;
  const bool stamped = ::stat(dir.empty() ? "." : dir.c_str(), &st) == 0;
  Listings& all = AllListings();
  std::lock_guard<std::mutex> lock(all.mutex);
  auto it = all.by_dir.find(dir);
  if (it == all.by_dir.end()) return;
  Listing& listing = it->second;
  // Still current but for this change: it stays current with the
  // directory's new time.
  const bool was_trusted = listing.trusted;
  listing.Add(name);
  if (!stamped || listing.dev != st.st_dev || listing.ino != st.st_ino) {
    listing.trusted = false;
    return;
  }
  listing.own_mtime = st.st_mtim;
  if (was_trusted) listing.mtime = st.st_mtim;
}

void NoteEntryRemoved(const std::string& dir, const std::string& name) {
  struct stat st;
  const bool stamped = ::stat(dir.empty() ? "." : dir.c_str(), &st) == 0;
  Listings& all = AllListings();
  std::lock_guard<std::mutex> lock(all.mutex);
  auto it = all.by_dir.find(dir);
  if (it == all.by_dir.end()) return;
  // The listing is rebuilt without the name; removals are rare enough.
  Listing& old = it->second;
  Listing updated;
  updated.dev = old.dev;
  updated.ino = old.ino;
  updated.mtime = stamped ? st.st_mtim : old.mtime;
  updated.trusted = old.trusted && stamped && old.dev == st.st_dev && old.ino == st.st_ino;
  updated.own_mtime = stamped ? st.st_mtim : old.own_mtime;
  for (const std::string& entry : old.order)
    if (entry != name) updated.Add(entry);
  old = std::move(updated);
}

}  // namespace veilbox::standin
