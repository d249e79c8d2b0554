// Safe replacement of files: the new content goes to a temporary file beside the target, which
// is renamed over the target only when everything was written, so a failed save never destroys
// the file that was there and a partial file never appears under the target's name.
//
// - An existing target keeps its permission bits (and, where allowed, its owner and group); a new
//   file gets 0666 less the umask, as any file the program creates.
// - Through a symbolic link the file the link points to is replaced; the link stays.
// - A target that exists and is not a regular file (a device, a pipe) is written in place.
// - The temporary file is removed on every way out: a failed write, a failed rename (the error
//   says the file could not be replaced) and, once a program has called
//   InstallTemporaryFileCleanup, SIGINT, SIGTERM and SIGHUP.
// The folder of the target must be writable, since the temporary file is made there.
#pragma once

#include <memory>
#include <string>

#include "model/QvBufferedStream.h"

namespace quorvane {

class TSafeFile {
 public:
  // Creates the temporary file beside Target (or opens a device or pipe for writing). Raises
  // EFCreateError "Cannot create file "%s". <reason>" naming Target when it cannot.
  explicit TSafeFile(const std::string& target);
  // Removes the temporary file unless Commit replaced the target with it.
  ~TSafeFile();
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  // Where the content goes; valid until Commit.
  TStream& Stream() { return *FStream; }
  // The file that is replaced (Target with its symbolic links followed).
  const std::string& Target() const { return FTarget; }
  // The temporary file; empty when the target is written in place.
  const std::string& TemporaryName() const { return FTemporary; }

  // Flushes and closes the stream and renames the temporary file over the target. With Overwrite
  // false an existing target is kept and the result is false (the check and the rename are one
  // step); the temporary file is removed then too. Raises EWriteError when the last bytes cannot be
  // written and EFCreateError "Cannot replace file "%s". <reason>" when the rename fails.
  bool Commit(bool overwrite = true);

 private:
  std::string FTarget;
  std::string FTemporary;
  std::unique_ptr<TBufferedStream> FStream;
  int FSlot = -1;          // registry slot of the temporary file, -1 when not registered
  bool FFinished = false;  // committed, or the temporary file already removed
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP (those not set to be ignored or handled
// already) that remove the temporary files of unfinished saves and then end the program by the
// same signal. Programs call it once at start, before any thread starts.
void InstallTemporaryFileCleanup();

// Removes the temporary files of every unfinished save. Async-signal-safe: a program with signal
// handlers of its own calls it from them. Saves still running fail afterwards.
void RemovePendingTemporaryFiles() noexcept;

}  // namespace quorvane
