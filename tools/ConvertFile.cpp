#include "ConvertFile.h"

#include <sys/stat.h>

#include <filesystem>
#include <new>
#include <thread>
#include <vector>

#include "ConvertCodecOptions.h"
#include "ConvertColour.h"
#include "ConvertCompression.h"
#include "ConvertInput.h"
#include "ConvertPipeline.h"
#include "ConvertPromotion.h"
#include "formats/QvFormats.h"
#include "formats/QvJpegLossless.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvOrient.h"
#include "formats/QvRowGate.h"
#include "model/QvBufferedStream.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvSafeFile.h"

namespace brindlex {
using namespace quorvane;

namespace {

const char* const kOutputExistsMessage = "File exists (use --overwrite to replace it)";
// Smaller images are not worth a thread of their own for writing.
constexpr size_t kWriteWhileReadingMinBytes = 256 * 1024;

// Replaces the output with the pages written; an existing output is kept without Overwrite.
void CommitOutput(TMultiPageWriter& file, bool overwrite) {
  if (!file.Commit(overwrite)) throw EFCreateError(kOutputExistsMessage);
}

bool FileExists(const std::string& name) {
  struct stat info {};
  return ::lstat(name.c_str(), &info) == 0;
}

// The output class, resolved before anything is read: an extension nobody writes is refused
// with the registry's message.
const TGraphicClass& OutputClass(const std::string& output) {
  const TGraphicClass* graphicClass = FindGraphicClass(output);
  if (graphicClass == nullptr) CreateGraphicForFile(output);  // raises the registry's message
  return *graphicClass;
}

// The image as an instance of the output class, ready to write.
std::unique_ptr<TDibGraphic> AsOutputClass(std::unique_ptr<TDibGraphic> image, const TGraphicClass& outputClass) {
  if (&image->ClassType() == &outputClass) return image;
  std::unique_ptr<TDibGraphic> writer = outputClass.Create();
  writer->TakeImage(*image);
  return writer;
}

class TFileConversion {
 public:
  TFileConversion(const TConvertJob& job, const TConvertOptions& options, const TFileProgress& progress,
                  const TFileWarning& warn, const TFileWarning& note)
      : FJob(job), FOptions(options), FProgress(progress), FWarn(warn), FNote(note) {}

  void Run() {
    const TGraphicClass& outputClass =
        AttemptOnFile(FJob.Output, [&]() -> const TGraphicClass& { return OutputClass(FJob.Output); });
    FOutputClass = &outputClass;
    FOutputCapabilities = outputClass.Create()->Capabilities();
    FMultiPageOutput = FOptions.AllPages && FOutputCapabilities.MultipleImages;
    if (!FJob.MoreInputs.empty() && !FMultiPageOutput)
      throw TConvertFailure{FJob.Output, "Several inputs need an output format that holds several pages"};
    const bool numbered = FOptions.AllPages && !FMultiPageOutput;
    if (!FOptions.Overwrite && !numbered && FileExists(FJob.Output))
      throw TConvertFailure{FJob.Output, kOutputExistsMessage};

    FCurrentInput = FJob.Input;
    AttemptOnFile(FCurrentInput, [&]() { OpenInput(); });
    if (FMultiPageOutput) {
      WriteAllPagesIntoOneFile();
    } else if (!numbered) {
      WritePage(0, FJob.Output);
    } else {
      for (size_t i = 0; i < FPages.size(); ++i) try {
          WritePage(i, NumberedPageName(FJob.Output, FPages[i]));
        } catch (const TConvertFailure& failure) {
          FFailures.push_back(failure);
        }
    }
  }

  std::vector<TConvertFailure> Failures() const { return FFailures; }

 private:
  void OpenInput() {
    FPages.clear();
    FInput = std::make_unique<TInputPages>(FCurrentInput);
    const int count = FInput->Count();
    FPageCount = count;
    // A file without pages (an empty DCX page table) has nothing to convert, also with --all-pages.
    if (count < 1) throw EQuorvaneError(MissingPageMessage(1, count));
    if (FOptions.AllPages) {
      for (int page = 1; page <= count; ++page) FPages.push_back(page);
    } else {
      const int page = FOptions.Page > 0 ? FOptions.Page : 1;
      if (page > count) throw EQuorvaneError(MissingPageMessage(page, count));
      FPages.push_back(page);
    }
  }

  // Reads page number I of the chosen pages and runs the operations over it; the result is an
  // instance of the output class.
  std::unique_ptr<TDibGraphic> ProcessPage(size_t i) {
    return AttemptOnPage(FCurrentInput, FPages[i], FPageCount, [&]() {
      std::unique_ptr<TDibGraphic> image = FInput->Load(FPages[i]);
      Warn(*image, i);
      Report(i, 0.2);
      return PrepareForOutput(std::move(image), i);
    });
  }

  // Passes the reader's warnings on (with --strict the first one fails the page).
  void Warn(const TDibGraphic& image, size_t i) {
    for (std::string& warning : PageWarnings(image, FPages[i], FPageCount, FOptions.Strict))
      if (FWarn) FWarn({FCurrentInput, std::move(warning)});
  }

  // Upright by the file's orientation, the operations, the promotion and the output class's
  // settings. Upright first, so that the operations turn and crop the picture as it is seen.
  std::unique_ptr<TDibGraphic> PrepareForOutput(std::unique_ptr<TDibGraphic> image, size_t i) {
    Note(PrepareColours(*image, FOptions.Profile, FOutputCapabilities, FOutputClass->ClassName), FPages[i]);
    if (FOptions.AutoOrient) AutoOrient(*image);
    // The operations and the class change make new images; the file's metadata goes along.
    std::string metadataNote;
    TImageMetadata metadata =
        OutputMetadata(*image, FOptions.Profile, FOutputCapabilities, FOutputClass->ClassName, metadataNote);
    Note(std::move(metadataNote), FPages[i]);
    image = ApplyOperations(std::move(image), FOptions, FOutputClass->Create(),
                            [&](double fraction) { Report(i, 0.2 + 0.6 * fraction); });
    if (!FOptions.Strict) image = PromoteForOutput(std::move(image), FPages[i]);
    Note(DropUnfittingProfile(*image), FPages[i]);
    image = AsOutputClass(std::move(image), *FOutputClass);
    image->Metadata() = std::move(metadata);
    ChooseTiffCompression(*image, FOptions.Compression);
    ApplyCodecOptions(*image, FOptions.Codec);
    return image;
  }

  // A page read and written by the same class with no operation between can be written while it
  // is read, when a core is spare for the writer.
  bool CanWriteWhileReading() const {
    // Converting or dropping the colour profile changes the pixels after reading.
    return FOptions.WriteWhileReading && FOptions.Operations.empty() && FOptions.Profile == TProfileMode::Keep &&
           FInput->RegisteredClass() == FOutputClass && WritesWhileReading(*FOutputClass) &&
           std::thread::hardware_concurrency() > unsigned(FOptions.Jobs);
  }

  // WritePage with the writing on a second thread: the reader hands the image over with its first
  // finished rows (formats/QvRowGate.h) and the writer encodes each row as soon as it is read.
  // An image not handed over (a layout read whole, a format to promote, an output that cannot be
  // made yet) is written once read, as WritePage writes it.
  void WriteWhileReading(size_t i, const std::string& output) {
    std::unique_ptr<TMultiPageWriter> file;
    std::unique_ptr<TDibGraphic> image = FOutputClass->Create();
    TRowGate gate;
    std::exception_ptr writeFailure;
    std::thread writer;
    gate.OnHandOff = [&]() {
      if (image->ImageSize() < kWriteWhileReadingMinBytes || PromotionTarget(*image, FOutputCapabilities)) return false;
      // A page to be turned upright is written only once it is whole and turned.
      if (FOptions.AutoOrient && image->Metadata().Orientation != kOrientationTopLeft) return false;
      ChooseTiffCompression(*image, FOptions.Compression);
      ApplyCodecOptions(*image, FOptions.Codec);
      file = std::make_unique<TMultiPageWriter>(output);
      writer = std::thread([&]() {
        try {
          const TRowWaitScope wait(*image, gate);
          file->AddPage(*image);
        } catch (...) {
          writeFailure = std::current_exception();
        }
      });
      return true;
    };
    // However reading ends, the writer is released and waited for before image and file go.
    struct TJoin {
      TRowGate& Gate;
      std::thread& Writer;
      ~TJoin() {
        Gate.Close(false);
        if (Writer.joinable()) Writer.join();
      }
    } join{gate, writer};

    AttemptOnPage(FCurrentInput, FPages[i], FPageCount, [&]() {
      {
        const TRowReportScope report(*image, gate);
        FInput->LoadInto(*image, FPages[i]);
      }
      gate.Close(true);
      Warn(*image, i);
    });
    Report(i, 0.2);
    if (!gate.HandedOff())
      image =
          AttemptOnPage(FCurrentInput, FPages[i], FPageCount, [&]() { return PrepareForOutput(std::move(image), i); });
    AttemptOnFile(output, [&]() {
      if (gate.HandedOff()) {
        writer.join();
        if (writeFailure) std::rethrow_exception(writeFailure);
      } else {
        file = std::make_unique<TMultiPageWriter>(output);
        file->AddPage(*image);
      }
      CommitOutput(*file, FOptions.Overwrite);
    });
    Report(i, 1.0);
  }

  // Without --strict, a pixel format the output cannot hold becomes the nearest one it can; with
  // --strict the writer refuses it with its own message.
  std::unique_ptr<TDibGraphic> PromoteForOutput(std::unique_ptr<TDibGraphic> image, int page) {
    const std::optional<TImageFormat> target = PromotionTarget(*image, FOutputCapabilities);
    if (!target) return image;
    Note(PromotionNote(image->ImageFormat(), *target, FOutputClass->ClassName), page);
    return Promote(*image, *target);
  }

  // Reports what was done beyond the operations (nothing for an empty note).
  void Note(std::string note, int page) {
    if (note.empty() || !FNote) return;
    if (FPageCount > 1) note = FormatMessage("page %d: %s", page, note.c_str());
    FNote({FCurrentInput, std::move(note)});
  }

  // The turn of a JPEG converted to JPEG when every operation only turns or mirrors it and nothing
  // asks for its pixels to be encoded again (codec settings, a profile conversion or removal).
  std::optional<TDihedral> LosslessTurn() const {
    const TGraphicClass& jpeg = TJpegGraphic::StaticClass();
    const TCodecOptions& codec = FOptions.Codec;
    if (FInput->RegisteredClass() != &jpeg || FOutputClass != &jpeg || FOptions.Operations.empty() ||
        FOptions.Profile != TProfileMode::Keep || codec.JpegQuality || codec.JpegProgressive || codec.JpegOptimize)
      return std::nullopt;
    TDihedral turn = TDihedral::Identity;
    for (const TOperation& operation : FOptions.Operations) {
      const std::optional<TDihedral> step = TurnOfTransform(*MakeTransform(operation, FOptions));
      if (!step) return std::nullopt;
      turn = Compose(turn, *step);
    }
    return turn;
  }

  // Writes page I, read as Image (with its warnings passed on), as the input's JPEG data turned
  // without re-encoding (formats/QvJpegLossless.h): upright by its orientation, then by the
  // operations. False, with nothing written, when the data cannot be turned so (partial edge
  // blocks, damaged data).
  bool WriteLossless(size_t i, const std::string& output, TDihedral operationsTurn, const TDibGraphic& image) {
    const TDihedral turn =
        Compose(FOptions.AutoOrient ? UprightTurn(image.Metadata().Orientation) : TDihedral::Identity, operationsTurn);
    const TLosslessJpeg turned = TransformJpegLossless(FileContent(FCurrentInput), turn);
    const bool swapped = SwapsSides(turn);
    if (turned.Result == TLosslessJpegResult::PartialBlocks)
      Note("re-encoded: the size is not a whole number of JPEG blocks for a lossless turn", FPages[i]);
    // The data turned must be the picture read (the file may have changed since).
    if (turned.Result != TLosslessJpegResult::Done || turned.Width != (swapped ? image.Height() : image.Width()) ||
        turned.Height != (swapped ? image.Width() : image.Height()))
      return false;
    AttemptOnFile(output, [&]() {
      TSafeFile file(output);
      file.Stream().WriteBuffer(turned.Bytes.data(), turned.Bytes.size());
      if (!file.Commit(FOptions.Overwrite)) throw EFCreateError(kOutputExistsMessage);
    });
    Note(std::string("written without re-encoding: ") + TurnText(turn), FPages[i]);
    Report(i, 1.0);
    return true;
  }

  void WritePage(size_t i, const std::string& output) {
    // A JPEG only turned is read first (for its orientation and warnings); when its data cannot be
    // turned losslessly, the page read goes on through the usual steps.
    std::unique_ptr<TDibGraphic> read;
    if (const std::optional<TDihedral> turn = LosslessTurn()) {
      read = AttemptOnPage(FCurrentInput, FPages[i], FPageCount, [&]() {
        std::unique_ptr<TDibGraphic> page = FInput->Load(FPages[i]);
        Warn(*page, i);
        return page;
      });
      Report(i, 0.2);
      if (WriteLossless(i, output, *turn, *read)) return;
    }
    if (!read && CanWriteWhileReading()) {
      WriteWhileReading(i, output);
      return;
    }
    std::unique_ptr<TDibGraphic> image = read ? AttemptOnPage(FCurrentInput, FPages[i], FPageCount,
                                                              [&]() { return PrepareForOutput(std::move(read), i); })
                                              : ProcessPage(i);
    AttemptOnFile(output, [&]() {
      TMultiPageWriter file(output);
      file.AddPage(*image);
      CommitOutput(file, FOptions.Overwrite);
    });
    Report(i, 1.0);
  }

  void WriteAllPagesIntoOneFile() {
    std::unique_ptr<TMultiPageWriter> file =
        AttemptOnFile(FJob.Output, [&]() { return std::make_unique<TMultiPageWriter>(FJob.Output); });
    AppendPages(*file);
    for (const std::string& input : FJob.MoreInputs) {
      FCurrentInput = input;
      AttemptOnFile(FCurrentInput, [&]() { OpenInput(); });
      AppendPages(*file);
    }
    AttemptOnFile(FJob.Output, [&]() { CommitOutput(*file, FOptions.Overwrite); });
  }

  // Appends the chosen pages of the open input.
  void AppendPages(TMultiPageWriter& file) {
    for (size_t i = 0; i < FPages.size(); ++i) {
      std::unique_ptr<TDibGraphic> image = ProcessPage(i);
      AttemptOnPage(FJob.Output, FPages[i], FPageCount, [&]() { file.AddPage(*image); });
      Report(i, 1.0);
    }
  }

  void Report(size_t page, double fraction) {
    if (FProgress) FProgress((static_cast<double>(page) + fraction) / static_cast<double>(FPages.size()));
  }

  const TConvertJob& FJob;
  const TConvertOptions& FOptions;
  const TFileProgress& FProgress;
  const TFileWarning& FWarn;
  const TFileWarning& FNote;
  const TGraphicClass* FOutputClass = nullptr;
  TGraphicCapabilities FOutputCapabilities;
  bool FMultiPageOutput = false;
  std::string FCurrentInput;  // the input being read
  std::unique_ptr<TInputPages> FInput;
  std::vector<int> FPages;
  int FPageCount = 0;
  std::vector<TConvertFailure> FFailures;
};

}  // namespace

std::vector<TConvertFailure> ConvertFile(const TConvertJob& job, const TConvertOptions& options,
                                         const TFileProgress& progress, const TFileWarning& warn,
                                         const TFileWarning& note) {
  TFileConversion conversion(job, options, progress, warn, note);
  try {
    conversion.Run();
  } catch (const TConvertFailure& failure) {
    return {failure};
  }
  return conversion.Failures();
}

std::string NumberedPageName(const std::string& output, int page) {
  const std::filesystem::path path(output);
  std::filesystem::path numbered = path;
  numbered.replace_filename(path.stem().string() + "-" + std::to_string(page) + path.extension().string());
  return numbered.string();
}

bool SupportsMultipleImages(const TGraphicClass& graphicClass) {
  return graphicClass.Create()->Capabilities().MultipleImages;
}

std::unique_ptr<TDibGraphic> LoadPage(TStream& stream, const TGraphicClass& reader, int page) {
  std::unique_ptr<TDibGraphic> image = reader.Create();
  LoadPageInto(stream, *image, page);
  return image;
}

void LoadPageInto(TStream& stream, TDibGraphic& image, int page) {
  image.SetImageIndex(page);
  stream.Seek(0, TSeekOrigin::soBeginning);
  image.LoadFromStream(stream);
}

std::vector<std::string> PageWarnings(const TDibGraphic& image, int page, int pageCount, bool strict) {
  std::vector<std::string> warnings;
  for (const std::string& warning : image.Warnings()) {
    if (strict) throw EQuorvaneError(warning);
    warnings.push_back(pageCount > 1 ? FormatMessage("page %d: %s", page, warning.c_str()) : warning);
  }
  return warnings;
}

std::string MissingPageMessage(int page, int count) {
  return FormatMessage("Page %d does not exist (the file has %d)", page, count);
}

}  // namespace brindlex
