// Conversion of one input file: read through the registry by extension, every chosen page
// through the operation pipeline, written by the output's extension through a temporary file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <new>

#include "ConvertOptions.h"
#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace brindlex {
using namespace quorvane;

// A failed conversion: the file concerned (the input for reading and the operations, the output
// for writing) and the library's message unchanged.
struct TConvertFailure {
  std::string File;
  std::string Message;
};

// Runs Step; any failure becomes a TConvertFailure naming File.
template <typename TStep>
auto AttemptOnFile(const std::string& file, TStep&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const TConvertFailure&) {
    throw;
  } catch (const Exception& e) {
    throw TConvertFailure{file, e.Message()};
  } catch (const std::bad_alloc&) {
    throw TConvertFailure{file, "Out of memory"};
  } catch (const std::exception& e) {
    throw TConvertFailure{file, e.what()};
  }
}

// As AttemptOnFile for page Page of a file of Count pages: when it has several, the failure's
// message begins with "page N: ".
template <typename TStep>
auto AttemptOnPage(const std::string& file, int page, int count, TStep&& step) -> decltype(step()) {
  try {
    return AttemptOnFile(file, step);
  } catch (TConvertFailure& failure) {
    if (count > 1) failure.Message = FormatMessage("page %d: %s", page, failure.Message.c_str());
    throw;
  }
}

struct TConvertJob {
  std::string Input;
  // The output file; with --all-pages into a single-page format, the name that numbered page
  // files are derived from.
  std::string Output;
  // With --all-pages into a multi-page output: further inputs whose pages follow Input's.
  std::vector<std::string> MoreInputs;
};

// Share of the file done, 0 to 1.
using TFileProgress = std::function<void(double fraction)>;
// A warning of the reader (the file and the sentence), for files that convert all the same.
using TFileWarning = std::function<void(const TConvertFailure& warning)>;

// Converts the job and returns its failures (none: success). With --all-pages into a single-page
// format every page is a file of its own: a failed page does not stop the others. The reader's
// warnings go to Warn, or with --strict fail the page. Note receives what was done beyond the
// operations asked for (a pixel format promoted for the output).
std::vector<TConvertFailure> ConvertFile(const TConvertJob& job, const TConvertOptions& options,
                                         const TFileProgress& progress, const TFileWarning& warn = {},
                                         const TFileWarning& note = {});

// The warnings of a page just read, each naming the page when the file has several. With Strict
// the first one raises EQuorvaneError instead.
std::vector<std::string> PageWarnings(const TDibGraphic& image, int page, int pageCount, bool strict);

// NAME-N.EXT for page N of NAME.EXT, in the same folder.
std::string NumberedPageName(const std::string& output, int page);

// True when the class writes further images into an existing file (AppendToStream), as its
// capabilities say.
bool SupportsMultipleImages(const TGraphicClass& graphicClass);

// Reads page Page (1-based) of Stream, which holds a file of the class Reader's.
std::unique_ptr<TDibGraphic> LoadPage(TStream& stream, const TGraphicClass& reader, int page);
// The same into Image, an instance of that class.
void LoadPageInto(TStream& stream, TDibGraphic& image, int page);

// The message for a page beyond the file's last.
std::string MissingPageMessage(int page, int count);

}  // namespace brindlex
