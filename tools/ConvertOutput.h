// Safe replacement of output files: the new content goes to a temporary file beside the target,
// which is renamed over the target only when everything was written, so a failed write never
// destroys the file that was there, and a partial file never appears under the target's name.
#pragma once

#include <memory>
#include <string>

#include "BufferedStream.h"

namespace brindlex {
using namespace quorvane;

class TOutputFile {
 public:
  // Creates the temporary file in the target's folder; raises EFCreateError when it cannot. A
  // target that exists and is not a regular file (a device, a pipe) is written directly.
  explicit TOutputFile(const std::string& target);
  // Removes the temporary file unless Commit succeeded.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  TStream& Stream() { return *FStream; }
  const std::string& TemporaryName() const { return FTemporary; }

  // Flushes and closes the stream and renames the temporary file to the target. Without
  // Overwrite an existing target is kept and EFCreateError "File exists (use --overwrite to
  // replace it)" raised; the check and the rename are one atomic step.
  void Commit(bool overwrite);

 private:
  std::string FTarget;
  std::string FTemporary;
  std::unique_ptr<TBufferedStream> FStream;
  bool FCommitted = false;
  bool FDirect = false;  // the target is a device or pipe, written in place
};

// The refusal message for an existing output.
extern const char* const kOutputExistsMessage;

// Permission bits new files get (0666 less the umask); read once at start-up, since asking
// for the umask changes it for a moment.
void CaptureFileCreationMode();

}  // namespace brindlex
