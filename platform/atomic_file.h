// Replacing a file whole, so that a reader sees the old file or the new
// one and never a part of the new: the bytes go to a temporary file beside
// it, are flushed to the disk, and the temporary file is renamed over it.
// Written once over the file seam, for both platforms.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veilbox::platform {

// The step at which a replacement failed.
enum class AtomicWriteStep { kDone, kCreate, kWrite, kPrepare, kRename };

struct AtomicWriteResult {
  AtomicWriteStep step = AtomicWriteStep::kDone;
  std::uint32_t error = 0;  // the system's error code of that step; 0 when it gives none
  bool ok() const { return step == AtomicWriteStep::kDone; }
};

// Called with the temporary file's name once its bytes are on the disk,
// before the rename: a writer that must give the new file something of
// the old one (its mode, its owner) does it here; false stops the write.
using BeforeRename = std::function<bool(const std::string& temp)>;

// Writes bytes to temp (created or truncated), flushes it, and renames it
// over path. On a failure the temporary file is removed and path is left
// as it was.
AtomicWriteResult WriteFileAtomically(const std::string& path, const std::string& temp,
                                      std::string_view bytes,
                                      const BeforeRename& before_rename = nullptr);

// As WriteFileAtomically, for a file that must be new: the rename never
// replaces (RenameNoReplace). Whatever stands at path stays as it was; the
// write then fails at kRename with kErrorFileExists or kErrorAlreadyExists.
AtomicWriteResult CreateFileAtomically(const std::string& path, const std::string& temp,
                                       std::string_view bytes);

// Bytes handed over piece by piece, for a file too large to be built
// whole in memory first: calls `append` with each piece in order, and
// stops with false as soon as append gives false.
using AppendBytes = std::function<bool(std::string_view piece)>;
using BytePieces = std::function<bool(const AppendBytes& append)>;

// WriteFileAtomically and CreateFileAtomically of the bytes that pieces
// hands over; they reach the file in blocks of a few dozen KB.
AtomicWriteResult WriteFileAtomically(const std::string& path, const std::string& temp,
                                      const BytePieces& pieces);
AtomicWriteResult CreateFileAtomically(const std::string& path, const std::string& temp,
                                       const BytePieces& pieces);

// "cannot create TEMP (error N)", "cannot write TEMP", "cannot rename TEMP
// to PATH (error N)", and so on: the failure as one line of text.
std::string DescribeAtomicWrite(const AtomicWriteResult& result, const std::string& path,
                                const std::string& temp);

}  // namespace veilbox::platform
