// TWexEncryption: the line cipher as a small component. A caller sets the
// key, the direction and the input text, runs Execute, and reads Output.
// The byte rules are in protect/line_cipher.h.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace veilbox {

enum TActionType : std::uint8_t {
  atEncryption = 0,  // Input is plain text; Output becomes cipher text
  atDecryption = 1,  // Input is cipher text; Output becomes plain text
};

class TWexEncryption {
 public:
  TWexEncryption() = default;

  const std::string& Input() const { return input_; }
  void SetInput(const std::string& value);
  const std::string& Output() const { return output_; }
  void SetOutput(const std::string& value);
  // An empty key stands for the first character of the default key "Wax
  // Orb" at every byte; the property itself stays empty.
  const std::string& Key() const { return key_; }
  void SetKey(const std::string& value);
  TActionType Action() const { return action_; }
  void SetAction(TActionType value) { action_ = value; }

  // Runs the cipher once over Input. An empty Input gives an empty Output
  // in either direction. A malformed cipher text raises ConvertError and
  // leaves Output as it was.
  void Execute();

 private:
  std::string Transform(const std::string& text, const std::string& key, bool encrypt);

  std::string input_;
  std::string output_;
  std::string key_;
  TActionType action_ = atEncryption;
  // Draws the seeds; seeded from the system's entropy source on first use.
  std::optional<std::mt19937> random_;
};

}  // namespace veilbox
