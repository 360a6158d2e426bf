#include "protect/wex_encryption.h"

#include "protect/line_cipher.h"

namespace veilbox {

void TWexEncryption::SetInput(const std::string& value) {
  if (value != input_) input_ = value;
}

void TWexEncryption::SetOutput(const std::string& value) {
  if (value != output_) output_ = value;
}

void TWexEncryption::SetKey(const std::string& value) {
  if (value != key_) key_ = value;
}

void TWexEncryption::Execute() {
  if (input_.empty()) {
    output_.clear();
    return;
  }
  output_ = Transform(input_, key_, action_ == atEncryption);
}

std::string TWexEncryption::Transform(const std::string& text, const std::string& key,
                                      bool encrypt) {
  const line_cipher::KeyStream keys(key);
  std::string result;
  if (encrypt) {
    if (!random_) random_.emplace(std::random_device{}());
    std::uniform_int_distribution<int> byte(0, 255);
    line_cipher::Encrypt(text, keys, static_cast<std::uint8_t>(byte(*random_)), &result);
  } else {
    result.resize(line_cipher::DecryptedSize(text.size()));
    result.resize(line_cipher::Decrypt(text, keys, result.data()));
  }
  return result;
}

}  // namespace veilbox
