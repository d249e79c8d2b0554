#include "model/QvPlatform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"

namespace quorvane {

namespace {

// A timer that never ticks: the headless core has no message loop.
class TNullTimer : public IFrameTimer {
 public:
  void SetInterval(int) override {}
  void SetEnabled(bool enabled) override { FEnabled = enabled; }
  bool Enabled() const override { return FEnabled; }
  void SetOnTick(std::function<void()>) override {}

 private:
  bool FEnabled = false;
};

IPlatform& DefaultPlatform() {
  static IPlatform instance;
  return instance;
}

IPlatform* CurrentPlatform = nullptr;

IPictureLoader& DefaultPictureLoader() {
  static IPictureLoader instance;
  return instance;
}

IPictureLoader* CurrentPictureLoader = nullptr;

// A temporary file that exists from construction to destruction; its name is taken from
// CreateTempFile and claimed exclusively, so a file made by someone else in between is never
// written over.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& extension) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      FName = CreateTempFile("Qv", extension);
      FHandle = ::open(FName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (FHandle >= 0) return;
      if (errno != EEXIST) break;
    }
    throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", FName.c_str(), std::strerror(errno)));
  }
  ~TTemporaryFile() {
    if (FHandle >= 0) ::close(FHandle);
    ::unlink(FName.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  void CopyFrom(TStream& stream) {
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
      const size_t count = stream.Read(buffer.data(), buffer.size());
      if (count == 0) break;
      for (size_t done = 0; done < count;) {
        const ssize_t written = ::write(FHandle, buffer.data() + done, count - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw EWriteError("Stream write error");
        done += static_cast<size_t>(written);
      }
    }
    if (::close(std::exchange(FHandle, -1)) != 0) throw EWriteError("Stream write error");
  }
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
  int FHandle = -1;
};

bool FileExists(const std::string& name) { return !name.empty() && ::access(name.c_str(), F_OK) == 0; }

}  // namespace

std::unique_ptr<IFrameTimer> IPlatform::CreateTimer() { return std::make_unique<TNullTimer>(); }

IPlatform& Platform() { return CurrentPlatform ? *CurrentPlatform : DefaultPlatform(); }

void SetPlatform(IPlatform* platform) { CurrentPlatform = platform; }

std::unique_ptr<TDibGraphic> IPictureLoader::LoadFromFile(const std::string& fileName, bool) {
  throw EQuorvaneError(FormatMessage("Graphic files of %s format are not supported or not registered",
                                     ExtractFileExt(fileName).c_str()));
}

IPictureLoader& PictureLoader() { return CurrentPictureLoader ? *CurrentPictureLoader : DefaultPictureLoader(); }

void SetPictureLoader(IPictureLoader* loader) { CurrentPictureLoader = loader; }

std::unique_ptr<TDibGraphic> LoadPlatformPicture(TStream& stream, const std::string& fileName, bool allImages) {
  if (FileExists(fileName)) return PictureLoader().LoadFromFile(fileName, allImages);
  // Only the extension goes into the temporary name: a name with folders would point the file
  // into a folder that does not exist.
  TTemporaryFile file(ExtractFileExt(fileName));
  file.CopyFrom(stream);
  return PictureLoader().LoadFromFile(file.Name(), allImages);
}

}  // namespace quorvane
