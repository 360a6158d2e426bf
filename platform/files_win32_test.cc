// The access list a plain file is created with on Windows; moves that
// never replace.
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

// A move that must not replace leaves whatever stands at the name as it
// was, whatever its attributes (MoveFileEx without
// MOVEFILE_REPLACE_EXISTING, written through), and the entry to move too.
TEST(RenameNoReplace, LeavesAnEntryAtTheNameWhateverItsAttributes) {
  veilbox::testing::ScratchDir dir;
  const std::string from = dir.Write("from.ci", "moving");
  for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_HIDDEN},
                                 DWORD{FILE_ATTRIBUTE_READONLY},
                                 DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    SCOPED_TRACE(attributes);
    const std::string to = dir.Write("to.ci", "someone's");
    ASSERT_TRUE(::SetFileAttributesA(to.c_str(), attributes));
    const DWORD before = ::GetFileAttributesA(to.c_str());  // Wine adds the archive bit
    std::uint32_t error = 0;
    EXPECT_FALSE(RenameNoReplace(from, to, &error));
    EXPECT_TRUE(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) << error;
    EXPECT_EQ(veilbox::testing::ReadFileBytes(to), "someone's");
    EXPECT_EQ(::GetFileAttributesA(to.c_str()), before);
    EXPECT_EQ(veilbox::testing::ReadFileBytes(from), "moving");
    ASSERT_TRUE(::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(::DeleteFileA(to.c_str()));
  }
  const std::string busy = dir.Write("busy\\inside", "x");
  std::uint32_t error = 0;
  EXPECT_FALSE(RenameNoReplace(from, dir.str() + "\\busy", &error));
  EXPECT_EQ(veilbox::testing::ReadFileBytes(from), "moving");
  EXPECT_EQ(veilbox::testing::ReadFileBytes(busy), "x");
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
