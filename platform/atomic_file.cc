#include "platform/atomic_file.h"

#include "platform/files.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

AtomicWriteResult Fail(const std::string& temp, AtomicWriteStep step, std::uint32_t error) {
  std::uint32_t ignored = 0;  // a temporary file that cannot go is left to the sweeps
  RemoveFile(temp, &ignored);
  return {step, error};
}

// The temporary file written and flushed, then moved to path.
AtomicWriteResult WriteThenMove(const std::string& path, const std::string& temp,
                                const BytePieces& pieces, const BeforeRename& before_rename,
                                bool replace) {
  std::uint32_t error = 0;
  {
    File file;
    if (!File::CreateAlways(temp, &file, &error)) {
      // Nothing of ours stands at temp: it is not removed.
      return {AtomicWriteStep::kCreate, error};
    }
    // Small pieces gather into blocks: one write call a block.
    constexpr std::size_t kBlock = 64 * 1024;
    std::string block;
    const auto flush = [&] {
      const bool ok = block.empty() || file.Append(block.data(), block.size());
      block.clear();
      return ok;
    };
    const bool written = pieces([&](std::string_view piece) {
                           if (block.size() + piece.size() > kBlock && !flush()) return false;
                           if (piece.size() >= kBlock)
                             return file.Append(piece.data(), piece.size());
                           if (block.capacity() < kBlock) block.reserve(kBlock);
                           block.append(piece);
                           return true;
                         }) &&
                         flush() && file.Sync();
    file.Close();
    if (!written) return Fail(temp, AtomicWriteStep::kWrite, 0);
  }
  if (before_rename && !before_rename(temp)) return Fail(temp, AtomicWriteStep::kPrepare, 0);
  const bool moved =
      replace ? RenameReplace(temp, path, &error) : RenameNoReplace(temp, path, &error);
  if (!moved) return Fail(temp, AtomicWriteStep::kRename, error);
  return {};
}

BytePieces Whole(std::string_view bytes) {
  return [bytes](const AppendBytes& append) { return bytes.empty() || append(bytes); };
}

}  // namespace

AtomicWriteResult WriteFileAtomically(const std::string& path, const std::string& temp,
                                      std::string_view bytes, const BeforeRename& before_rename) {
  return WriteThenMove(path, temp, Whole(bytes), before_rename, true);
}

AtomicWriteResult CreateFileAtomically(const std::string& path, const std::string& temp,
                                       std::string_view bytes) {
  return WriteThenMove(path, temp, Whole(bytes), nullptr, false);
}

AtomicWriteResult WriteFileAtomically(const std::string& path, const std::string& temp,
                                      const BytePieces& pieces) {
  return WriteThenMove(path, temp, pieces, nullptr, true);
}

AtomicWriteResult CreateFileAtomically(const std::string& path, const std::string& temp,
                                       const BytePieces& pieces) {
  return WriteThenMove(path, temp, pieces, nullptr, false);
}

std::string DescribeAtomicWrite(const AtomicWriteResult& result, const std::string& path,
                                const std::string& temp) {
  const std::string code = ": " + SystemErrorText(result.error);
  switch (result.step) {
    case AtomicWriteStep::kDone:
      return "";
    case AtomicWriteStep::kCreate:
      return "cannot create " + temp + code;
    case AtomicWriteStep::kWrite:
      return "cannot write " + temp;
    case AtomicWriteStep::kPrepare:
      return "cannot prepare " + temp + " to replace " + path;
    case AtomicWriteStep::kRename:
      return "cannot rename " + temp + " to " + path + code;
  }
  return "";
}

}  // namespace veilbox::platform
