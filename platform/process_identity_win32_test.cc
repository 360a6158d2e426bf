// The Windows half's own failure paths: an id that names no process, a
// process that has ended while a handle to it is still open, and the start
// time read for the current process.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/child_process.h"
#include "platform/process_identity.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(ProcessIdentityWin32Test, AnIdThatNamesNoProcessIsNotRunning) {
  // Process ids are multiples of four below a few million: OpenProcess
  // refuses these with ERROR_INVALID_PARAMETER.
  for (std::uint32_t pid : {0xFFFFFFFCu, 0x7FFFFFFCu, 0x0FFFFFF0u}) {
    SCOPED_TRACE(pid);
    ASSERT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ProcessIsRunning(ProcessIdentity{pid, 0}));
    EXPECT_FALSE(ProcessIsRunning(ProcessIdentity{pid, 1}));
  }
}

TEST(ProcessIdentityWin32Test, AProcessThatHasEndedIsNotRunningWhileStillOpen) {
  ChildProcess child;
  std::uint32_t error = 0, code = 0;
  ASSERT_TRUE(child.Start({veilbox::testing::HelperPath("exit-with"), "-", "3"}, &error)) << error;
  ASSERT_TRUE(child.Wait(20000, &code));
  EXPECT_EQ(code, 3u);
  // The child's handle keeps the ended process openable, and its creation
  // time readable: neither makes it count as running.
  HANDLE ended = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child.pid());
  ASSERT_NE(ended, nullptr);
  FILETIME created, exited, kernel, user;
  ASSERT_TRUE(GetProcessTimes(ended, &created, &exited, &kernel, &user));
  CloseHandle(ended);
  const std::uint64_t start =
      (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  EXPECT_FALSE(ProcessIsRunning(ProcessIdentity{child.pid(), 0}));
  EXPECT_FALSE(ProcessIsRunning(ProcessIdentity{child.pid(), start}));
}

TEST(ProcessIdentityWin32Test, TheCurrentProcessIsKnownByItsCreationTime) {
  FILETIME created, exited, kernel, user;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
  const ProcessIdentity me = CurrentProcess();
  EXPECT_EQ(me.pid, GetCurrentProcessId());
  EXPECT_EQ(me.start_time,
            (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  EXPECT_TRUE(ProcessIsRunning(me));
}

}  // namespace
}  // namespace veilbox::platform
