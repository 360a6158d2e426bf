#include <aclapi.h>
#include <windows.h>

#include <memory>

#include "platform/private_dir.h"

namespace veilbox::platform {
namespace {

struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};

// The current user's SID, in buf.
bool CurrentUserSid(std::unique_ptr<char[]>* buf, PSID* sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  *buf = std::make_unique<char[]>(size ? size : 1);
  const bool ok = size && GetTokenInformation(token, TokenUser, buf->get(), size, &size);
  CloseHandle(token);
  if (!ok) return false;
  *sid = reinterpret_cast<TOKEN_USER*>(buf->get())->User.Sid;
  return true;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != 0; }

// Those who may write anywhere, or who stand for the owner.
bool IsTrusted(PSID sid, PSID user) {
  return EqualSid(sid, user) || IsWellKnown(sid, WinLocalSystemSid) ||
         IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinCreatorOwnerSid);
}

constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                     FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

}  // namespace

bool DirectoryIsPrivate(const std::string& dir, std::string* err) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD code = GetNamedSecurityInfoA(dir.c_str(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &sd);
  if (code != ERROR_SUCCESS) {
    *err = "cannot read the access list of " + dir + " (error " + std::to_string(code) + ")";
    return false;
  }
  const std::unique_ptr<void, LocalFreer> own_sd(sd);
  std::unique_ptr<char[]> user_buf;
  PSID user = nullptr;
  if (!CurrentUserSid(&user_buf, &user)) {
    *err = "cannot tell the current user (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!owner || !IsTrusted(owner, user) || IsWellKnown(owner, WinCreatorOwnerSid)) {
    *err = dir + " belongs to another user";
    return false;
  }
  if (!dacl) {
    *err = dir + " has no access list: everyone may write to it";
    return false;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
      continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kWriteRights) == 0) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (!IsTrusted(sid, user)) {
      *err = dir + " can be written by other users";
      return false;
    }
  }
  return true;
}

}  // namespace veilbox::platform
