// The access list a plain file is created with on Windows.
#include <windows.h>
// After <windows.h>.
#include <gtest/gtest.h>

#include <vector>

#include "platform/files.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(CreateNewPrivate, GrantsTheCurrentUserAndSystemAloneAndInheritsNothing) {
  veilbox::testing::ScratchDir dir;
  const std::string name = dir.str() + "\\PLAIN.CI";
  File file;
  std::uint32_t error = 0;
  ASSERT_TRUE(File::CreateNewPrivate(name, &file, &error)) << error;
  file.Close();
  EXPECT_NE(::GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  DWORD size = 0;
  ::GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  ASSERT_GT(size, 0u);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
  ASSERT_TRUE(::GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, descriptor, size, &size));
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);

  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD user_size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &user_size);
  std::vector<DWORD> user(user_size / sizeof(DWORD) + 1);
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), user_size, &user_size));
  ::CloseHandle(token);
  PSID user_sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  BYTE system_sid[SECURITY_MAX_SID_SIZE];
  DWORD system_size = sizeof(system_sid);
  ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system_sid, &system_size));

  // These two entries alone: nothing inherited from the directory.
  ASSERT_EQ(acl->AceCount, 2);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(acl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID sid = &allowed->SidStart;
    EXPECT_TRUE(::EqualSid(sid, user_sid) || ::EqualSid(sid, system_sid)) << i;
  }
}

TEST(WindowsDirectory, Exists) {
  std::string windows;
  std::uint32_t error = 0;
  ASSERT_TRUE(WindowsDirectory(&windows, &error)) << error;
  EXPECT_FALSE(windows.empty());
  EXPECT_NE(windows.back(), '\\');
  EXPECT_TRUE(DirectoryExists(windows));
}

}  // namespace
}  // namespace veilbox::platform
