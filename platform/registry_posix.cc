#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/registry.h"
#include "standin/prefix.h"
#include "standin/reg_file.h"

namespace veilbox::platform {

struct RegKey::Handle {
  RegistryRoot root;
  std::string path;  // with the root's long name first
  std::uint32_t access;
};

void RegKey::Closer::operator()(Handle* handle) const { delete handle; }

namespace {

constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::string_view kPerformanceDataName = "HKEY_PERFORMANCE_DATA";

// The registry file as read for one call.
struct Store {
  std::filesystem::path dir;
  std::filesystem::path file;
  bool usable = false;     // read and parsed
  bool read_only = false;  // no write permission bits
  standin::RegFile reg;
};

bool HasWriteBits(const std::filesystem::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) != 0 || (st.st_mode & 0222) != 0;
}

Store Load() {
  Store store;
  store.dir = standin::PrefixDir();
  store.file = store.dir / "registry.reg";
  std::error_code ec;
  if (!std::filesystem::exists(store.file, ec)) {
    store.usable = !ec;
    store.read_only = std::filesystem::exists(store.dir, ec) && !HasWriteBits(store.dir);
    return store;
  }
  store.read_only = !HasWriteBits(store.file);
  std::ifstream in(store.file, std::ios::binary);
  if (!in) return store;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return store;
  store.usable = standin::ParseRegFile(bytes.str(), &store.reg, nullptr);
  return store;
}

// Writes the file through a temporary file in the same directory that is
// then renamed over it, so a reader sees the old file or the new one. The
// new file keeps the old one's mode. Writers take turns (WriteLock), so
// the process id makes the temporary name unique.
bool Save(const Store& store) {
  std::error_code ec;
  std::filesystem::create_directories(store.dir, ec);
  const std::string file = store.file.string();
  const std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
  struct stat st;
  const mode_t mode = ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  return WriteFileAtomically(file, temp, standin::FormatRegFile(store.reg),
                             [mode](const std::string& t) { return ::chmod(t.c_str(), mode) == 0; })
      .ok();
}

// Held around each read-modify-write of the file, so that two writers
// (two programs, or two runs) do not lose each other's values: an
// exclusive flock() on the prefix directory itself, which leaves no file
// of its own behind. Readers need none, as the file is replaced whole.
class WriteLock {
 public:
  WriteLock() {
    std::error_code ec;
    std::filesystem::create_directories(standin::PrefixDir(), ec);
    fd_ = ::open(standin::PrefixDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;  // the write itself will fail and tell
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;
};

bool IsRootPath(std::string_view path) { return path.find('\\') == std::string_view::npos; }

// The full path of sub_key below the parent or the root; false for a root
// handle that is not one.
bool BasePath(RegistryRoot root, const RegKey* parent, std::string* base) {
  if (parent) {
    if (!parent->IsOpen()) return false;
    *base = parent->handle()->path;
    return true;
  }
  if (root == kHkeyPerformanceData) {
    *base = kPerformanceDataName;
    return true;
  }
  *base = standin::RegRootName(root);
  return !base->empty();
}

bool ValidName(std::string_view name) {
  return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

std::string Join(const std::string& base, std::string_view sub_key) {
  return sub_key.empty() ? base : base + "\\" + std::string(sub_key);
}

bool BelowPerformanceData(std::string_view path) {
  return path.substr(0, kPerformanceDataName.size()) == kPerformanceDataName;
}

// The path a key of this access stands for: with the 32-bit view flag, a
// key below HKEY_LOCAL_MACHINE\Software lies below its WOW6432Node.
std::string InView(const std::string& path, std::uint32_t access) {
  if ((access & kKeyWow64_32Key) == 0) return path;
  static constexpr std::string_view kSoftware = "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
  static constexpr std::string_view kNode = "WOW6432NODE";
  const auto starts_with = [](std::string_view text, std::size_t at, std::string_view upper) {
    if (text.size() < at + upper.size()) return false;
    for (std::size_t i = 0; i < upper.size(); ++i) {
      const char c = text[at + i];
      if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
    }
    return true;
  };
  if (!starts_with(path, 0, kSoftware) || path.size() == kSoftware.size()) return path;
  const std::size_t at = kSoftware.size();
  if (starts_with(path, at, kNode) &&
      (path.size() == at + kNode.size() || path[at + kNode.size()] == '\\'))
    return path;
  return path.substr(0, at) + "WOW6432Node\\" + path.substr(at);
}

RegKey::HandlePtr MakeHandle(RegistryRoot root, std::string path, std::uint32_t access) {
  return RegKey::HandlePtr(new RegKey::Handle{root, std::move(path), access});
}

// The key behind an open handle, or null when it no longer exists.
const standin::RegFileKey* KeyOf(const Store& store, const RegKey& key) {
  if (!key.IsOpen()) return nullptr;
  return store.reg.FindKey(key.handle()->path);
}

long ValueOf(const RegKey& key, std::string_view name, standin::RegFileValue* value) {
  if (!key.IsOpen()) return kRegInvalidHandle;
  if (BelowPerformanceData(key.handle()->path)) return kRegFileNotFound;
  const Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  const standin::RegFileKey* k = KeyOf(store, key);
  if (!k) return IsRootPath(key.handle()->path) ? kRegFileNotFound : kRegKeyDeleted;
  const standin::RegFileValue* v = k->FindValue(name.substr(0, name.find('\0')));
  if (!v) return kRegFileNotFound;
  *value = *v;
  return kRegSuccess;
}

}  // namespace

bool IsRegistryRoot(RegistryRoot root) { return root >= 0x80000000u && root <= 0x80000005u; }

long OpenRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key,
                std::uint32_t access, RegKey* key) {
  std::string base;
  if (!BasePath(root, parent, &base)) return kRegInvalidHandle;
  if (!ValidName(sub_key)) return kRegFileNotFound;
  const std::string path = InView(Join(base, sub_key), access);
  const bool writes = (access & (kKeySetValue | kKeyCreateSubKey)) != 0;
  if (BelowPerformanceData(path)) {
    if (!IsRootPath(path)) return kRegFileNotFound;
    if (writes) return kRegAccessDenied;
    *key = RegKey(MakeHandle(root, path, access));
    return kRegSuccess;
  }
  const Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  if (!IsRootPath(path) && !store.reg.KeyExists(path)) return kRegFileNotFound;
  if (writes && store.read_only) return kRegAccessDenied;
  *key = RegKey(MakeHandle(root, store.reg.Spelling(path), access));
  return kRegSuccess;
}

long CreateRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key, RegKey* key,
                  std::uint32_t view) {
  std::string base;
  if (!BasePath(root, parent, &base)) return kRegInvalidHandle;
  if (!ValidName(sub_key)) return kRegInvalidParameter;
  const std::string path = InView(Join(base, sub_key), view);
  if (BelowPerformanceData(path)) return kRegAccessDenied;
  const WriteLock lock;
  Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  if (store.read_only) return kRegAccessDenied;
  if (!IsRootPath(path) && !store.reg.KeyExists(path)) {
    store.reg.AddKey(path);
    if (!Save(store)) return kRegAccessDenied;
  }
  *key = RegKey(MakeHandle(root, store.reg.Spelling(path), kKeyAllAccess));
  return kRegSuccess;
}

long QueryRegKeyInfo(const RegKey& key, std::uint32_t* value_count,
                     std::uint32_t* max_value_name_len) {
  if (!key.IsOpen()) return kRegInvalidHandle;
  *value_count = 0;
  *max_value_name_len = 0;
  if (BelowPerformanceData(key.handle()->path)) return kRegSuccess;
  const Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  const standin::RegFileKey* k = KeyOf(store, key);
  if (!k) {
    if (IsRootPath(key.handle()->path) || store.reg.KeyExists(key.handle()->path))
      return kRegSuccess;
    return kRegKeyDeleted;
  }
  *value_count = static_cast<std::uint32_t>(k->values.size());
  for (const standin::RegFileValue& v : k->values)
    *max_value_name_len = std::max(*max_value_name_len, static_cast<std::uint32_t>(v.name.size()));
  return kRegSuccess;
}

long EnumRegValueName(const RegKey& key, std::uint32_t index, std::uint32_t buffer_len,
                      std::string* name) {
  if (!key.IsOpen()) return kRegInvalidHandle;
  if (BelowPerformanceData(key.handle()->path)) return kRegNoMoreItems;
  const Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  const standin::RegFileKey* k = KeyOf(store, key);
  if (!k || index >= k->values.size()) return kRegNoMoreItems;
  const std::string& found = k->values[index].name;
  if (found.size() + 1 > buffer_len) return kRegMoreData;
  *name = found;
  return kRegSuccess;
}

long QueryRegValueSize(const RegKey& key, std::string_view name, std::uint32_t* type,
                       std::uint32_t* size) {
  standin::RegFileValue value;
  const long rc = ValueOf(key, name, &value);
  if (rc != kRegSuccess) return rc;
  *type = value.type;
  *size = static_cast<std::uint32_t>(value.data.size());
  return kRegSuccess;
}

long QueryRegValueData(const RegKey& key, std::string_view name, std::uint32_t buffer_size,
                       std::uint32_t* type, std::string* data) {
  standin::RegFileValue value;
  const long rc = ValueOf(key, name, &value);
  if (rc != kRegSuccess) return rc;
  *type = value.type;
  if (value.data.size() > buffer_size) return kRegMoreData;
  *data = value.data;
  return kRegSuccess;
}

long SetRegValue(const RegKey& key, std::string_view name, std::uint32_t type,
                 std::string_view data) {
  if (!key.IsOpen()) return kRegInvalidHandle;
  if ((key.handle()->access & kKeySetValue) == 0) return kRegAccessDenied;
  if (BelowPerformanceData(key.handle()->path)) return kRegAccessDenied;
  const WriteLock lock;
  Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  if (store.read_only) return kRegAccessDenied;
  const std::string& path = key.handle()->path;
  standin::RegFileKey* k = store.reg.FindKey(path);
  if (!k) {
    if (!IsRootPath(path) && !store.reg.KeyExists(path)) return kRegKeyDeleted;
    k = &store.reg.AddKey(path);
  }
  k->SetValue(name.substr(0, name.find('\0')), type, data);
  return Save(store) ? kRegSuccess : kRegAccessDenied;
}

long DeleteRegTree(RegistryRoot root, std::string_view sub_key) {
  std::string base;
  if (!BasePath(root, nullptr, &base)) return kRegInvalidHandle;
  const std::string path = Join(base, sub_key);
  const WriteLock lock;
  Store store = Load();
  if (!store.usable) return kRegBadDatabase;
  if (store.read_only) return kRegAccessDenied;
  if (!store.reg.KeyExists(path)) return kRegFileNotFound;
  store.reg.DeleteKey(path);
  return Save(store) ? kRegSuccess : kRegAccessDenied;
}

}  // namespace veilbox::platform
