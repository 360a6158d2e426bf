#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/files.h"
#include "platform/mapped_file.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

// The views open in the process, for the bus-error handler: a read of a
// page that the file no longer holds (it was shortened after it was
// mapped) raises SIGBUS, and the handler puts a page of zeros there and
// notes that the view is no longer intact.
struct ViewSlot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> damaged{false};
};
constexpr int kViewSlots = 16;
std::array<ViewSlot, kViewSlots> g_views;
std::mutex g_views_mutex;
std::once_flag g_handler_once;
struct sigaction g_previous_bus {};
std::uintptr_t g_page_size = 4096;

void OnBusError(int sig, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (ViewSlot& view : g_views) {
    const std::uintptr_t begin = view.begin.load();
    if (begin == 0 || address < begin || address >= view.end.load()) continue;
    void* page = reinterpret_cast<void*>(address & ~(g_page_size - 1));
    if (::mmap(page, g_page_size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      view.damaged.store(true);
      return;  // the read is made again and finds the zeros
    }
  }
  // Not a view's: what was there before decides.
  if (g_previous_bus.sa_flags & SA_SIGINFO) {
    if (g_previous_bus.sa_sigaction) g_previous_bus.sa_sigaction(sig, info, context);
    return;
  }
  if (g_previous_bus.sa_handler == SIG_DFL || g_previous_bus.sa_handler == SIG_IGN) {
    // The fault comes again on return, and ends the process as it would
    // have without this handler.
    ::signal(sig, SIG_DFL);
    return;
  }
  g_previous_bus.sa_handler(sig);
}

void InstallBusHandler() {
  g_page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previous_bus);
}

int ClaimSlot(const char* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(g_views_mutex);
  for (int i = 0; i < kViewSlots; ++i) {
    ViewSlot& view = g_views[i];
    if (view.begin.load() != 0) continue;
    view.damaged.store(false);
    view.end.store(reinterpret_cast<std::uintptr_t>(data) + size);
    view.begin.store(reinterpret_cast<std::uintptr_t>(data));
    return i;
  }
  return -1;
}

void ReleaseSlot(int slot) {
  std::lock_guard<std::mutex> lock(g_views_mutex);
  g_views[slot].begin.store(0);
  g_views[slot].end.store(0);
}

}  // namespace

bool MappedFile::Open(const std::string& path, std::string* err) {
  Close();
  const std::string native = NativePath(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (err) *err = "Cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    if (err) *err = path + " is no regular file";
    ::close(fd);
    return false;
  }
  // A file that someone holds without sharing is not read, as on Windows.
  if (ok && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    if (err) *err = "Cannot open " + path + ": " + SystemErrorText(kErrorSharingViolation);
    ::close(fd);
    return false;
  }
  if (ok && st.st_size > 0) {
    if (static_cast<std::uint64_t>(st.st_size) > SIZE_MAX / 2) {
      if (err) *err = path + " is too large to map";
      ::close(fd);
      return false;
    }
    std::call_once(g_handler_once, InstallBusHandler);
    const auto size = static_cast<std::size_t>(st.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
      ok = false;
    } else {
      slot_ = ClaimSlot(static_cast<const char*>(data), size);
      if (slot_ < 0) {
        ::munmap(data, size);
        if (err) *err = "Cannot map " + path + ": too many views open";
        ::close(fd);
        return false;
      }
      ::madvise(data, size, MADV_SEQUENTIAL);
      data_ = static_cast<const char*>(data);
      size_ = size;
    }
  }
  const int saved = errno;
  ::close(fd);
  if (!ok && err) *err = "Cannot map " + path + ": " + std::strerror(saved);
  return ok;
}

void MappedFile::Close() {
  if (slot_ >= 0) {
    ReleaseSlot(slot_);
    slot_ = -1;
  }
  if (data_) ::munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

namespace {

// The whole pages of [offset, offset + length) within the view, or false.
bool WholePages(std::size_t size, std::size_t offset, std::size_t length, std::uintptr_t base,
                std::uintptr_t* begin, std::uintptr_t* end) {
  if (offset >= size) return false;
  length = std::min(length, size - offset);
  *begin = (base + offset + g_page_size - 1) & ~(g_page_size - 1);
  *end = (base + offset + length) & ~(g_page_size - 1);
  return *begin < *end;
}

}  // namespace

void MappedFile::WillRead(std::size_t offset, std::size_t length) const {
#ifdef MADV_POPULATE_READ
  std::uintptr_t begin = 0, end = 0;
  if (data_ && WholePages(size_, offset, length, reinterpret_cast<std::uintptr_t>(data_), &begin,
                          &end))
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_READ);
#else
  (void)offset;
  (void)length;
#endif
}

void MappedFile::DoneWith(std::size_t offset, std::size_t length) const {
  std::uintptr_t begin = 0, end = 0;
  if (data_ && WholePages(size_, offset, length, reinterpret_cast<std::uintptr_t>(data_), &begin,
                          &end))
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

bool MappedFile::Intact() const { return slot_ < 0 || !g_views[slot_].damaged.load(); }

}  // namespace veilbox::platform
