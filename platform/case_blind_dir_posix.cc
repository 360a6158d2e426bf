#include <dirent.h>
#include <sys/stat.h>

#include <mutex>
#include <unordered_map>

#include "platform/case_blind_dir.h"

namespace veilbox::platform {
namespace {

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

// Folded name -> the name on disk, for one directory.
using Listing = std::unordered_map<std::string, std::string>;

bool ReadListing(const std::string& dir, Listing* listing) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  listing->clear();
  while (dirent* entry = ::readdir(d)) listing->emplace(FoldCase(entry->d_name), entry->d_name);
  ::closedir(d);
  return true;
}

bool Exists(const std::string& dir, const std::string& name) {
  const std::string path = dir.empty() ? name : (dir.back() == '/' ? dir + name : dir + "/" + name);
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The listings read so far. The stand-in's file service is a free
// function set, so the listings are kept process-wide.
struct Listings {
  std::mutex mutex;
  std::unordered_map<std::string, Listing> by_dir;
};

Listings& AllListings() {
  static Listings* listings = new Listings;  // lives until the process ends
  return *listings;
}

}  // namespace

std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name) {
  const std::string folded = FoldCase(name);
  Listings& all = AllListings();
  std::lock_guard<std::mutex> lock(all.mutex);
  auto kept = all.by_dir.find(dir);
  if (kept != all.by_dir.end()) {
    auto hit = kept->second.find(folded);
    if (hit != kept->second.end() && Exists(dir, hit->second)) return hit->second;
  }
  Listing fresh;
  if (!ReadListing(dir, &fresh)) {
    if (kept != all.by_dir.end()) all.by_dir.erase(kept);
    return {};
  }
  auto hit = fresh.find(folded);
  std::string found = hit == fresh.end() ? std::string() : hit->second;
  all.by_dir[dir] = std::move(fresh);
  return found;
}

}  // namespace veilbox::platform
