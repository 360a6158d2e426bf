#include "sysutil/globals.h"

namespace veilbox {

const std::string kSuccessText = std::string("Success...123454") + '\xA1';
const std::string kNotFound = std::string("Not Found...12345") + '\xA1';

std::string LastStatus;
RegistryRoot RegRoot = kHkeyCurrentUser;
std::string RegBasePath;

}  // namespace veilbox
