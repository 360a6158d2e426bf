#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/private_dir.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

// A well-known group's SID, in buf.
PSID WellKnown(WELL_KNOWN_SID_TYPE type, BYTE (&buf)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof buf;
  return CreateWellKnownSid(type, nullptr, buf, &size) ? static_cast<PSID>(buf) : nullptr;
}

// The current user's SID, in buf.
PSID CurrentUser(BYTE (&buf)[512]) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  DWORD size = 0;
  const bool ok = GetTokenInformation(token, TokenUser, buf, sizeof buf, &size);
  CloseHandle(token);
  return ok ? reinterpret_cast<TOKEN_USER*>(buf)->User.Sid : nullptr;
}

// Gives the directory an access list of its own (not inherited) that
// grants these rights to Everyone beside full control to this user;
// false when the system here keeps no such list.
bool GrantEveryone(const std::string& dir, DWORD rights) {
  BYTE everyone_buf[SECURITY_MAX_SID_SIZE];
  alignas(8) BYTE owner_buf[512];
  PSID everyone = WellKnown(WinWorldSid, everyone_buf);
  PSID owner = CurrentUser(owner_buf);
  if (!everyone || !owner) return false;
  EXPLICIT_ACCESSA entries[2] = {};
  entries[0].grfAccessPermissions = rights;
  entries[0].grfAccessMode = SET_ACCESS;
  entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entries[0].Trustee.ptstrName = static_cast<LPSTR>(everyone);
  entries[1] = entries[0];
  entries[1].grfAccessPermissions = GENERIC_ALL;
  entries[1].Trustee.ptstrName = static_cast<LPSTR>(owner);
  PACL acl = nullptr;
  if (SetEntriesInAclA(rights ? 2 : 1, rights ? entries : entries + 1, nullptr, &acl) !=
      ERROR_SUCCESS)
    return false;
  const DWORD code =
      SetNamedSecurityInfoA(const_cast<char*>(dir.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, acl, nullptr);
  LocalFree(acl);
  if (code != ERROR_SUCCESS) return false;
  // Read back: the list must be there as set.
  PACL kept = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(dir.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &kept, nullptr, &sd) != ERROR_SUCCESS)
    return false;
  bool everyone_writes = false;
  for (DWORD i = 0; kept && i < kept->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(kept, i, &ace)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone) &&
        (allowed->Mask & (FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL)) != 0)
      everyone_writes = true;
  }
  LocalFree(sd);
  return everyone_writes == ((rights & (FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL)) != 0);
}

// The journal directory's check at the seam: a directory whose access list
// lets anyone else add a file is not private, whatever else it grants.
TEST(PrivateDirWin32Test, AnAccessListThatLetsOthersWriteIsRefused) {
  struct Case {
    const char* what;
    DWORD everyone;  // rights granted to Everyone
    bool is_private;
  };
  const Case cases[] = {
      {"only its owner", 0, true},
      {"Everyone may read", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, true},
      {"Everyone may add a file", FILE_GENERIC_READ | FILE_ADD_FILE, false},
      {"Everyone may do anything", GENERIC_ALL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    veilbox::testing::ScratchDir scratch;
    if (!GrantEveryone(scratch.str(), c.everyone))
      GTEST_SKIP() << "the system here keeps no access list as set";
    std::string err;
    EXPECT_EQ(DirectoryIsPrivate(scratch.str(), &err), c.is_private) << err;
    if (!c.is_private) {
      EXPECT_EQ(err, scratch.str() + " can be written by other users");
    }
  }
}

}  // namespace
}  // namespace veilbox::platform
