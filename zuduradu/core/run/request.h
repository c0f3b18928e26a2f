// The rules a caller's request follows before any file is touched, shared by
// the command line and the Python module: a type given as a code or an
// extension, the grid from a model or from NX, NY, NZ, the default output name,
// and which grid and type `info` checks against. Each caller names its options
// in its own notation (RequestWords); the rules and sentences are the same.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/run/conversion.h"

namespace kv {

// A request that is wrong as written: a type or grid that is not one, options
// missing or clashing. The command line reports it as a usage error.
class RequestError : public Error {
 public:
  explicit RequestError(std::string what) : Error(ErrorKind::BadRequest, std::move(what)) {}
};

// How a caller writes its options in messages.
struct RequestWords {
  std::string_view model;              // "--model"
  std::string_view grid;               // "--grid"
  std::string_view type;               // "--type"
  std::string_view output;             // "--output"
  std::string_view modelForm;          // "--model FILE"
  std::string_view gridForm;           // "--grid NX,NY,NZ"
  std::string_view extensionExamples;  // "top or .top"
  std::string_view typesCommand;       // "kvcvrt-cli types"
};

// "is neither a type code 0..2000 that has an extension nor ..." after the quoted text.
std::string NotATypeCode(const RequestWords& words);

// The code of a type written as a code ("3") or an extension ("top", ".top").
// Throws RequestError naming the text.
int TypeCodeFromText(std::string_view text, const RequestWords& words);

// Whether a code is a type code with an extension.
bool IsTypeCode(long long code);

// "NX,NY,NZ", each a whole number 1..32767. Throws RequestError.
GridSize GridFromText(std::string_view text);

// Where the grid comes from: a model description file or NX, NY, NZ.
struct GridChoice {
  std::optional<std::string> model;
  std::optional<GridSize> grid;
  bool given() const { return model || grid; }
};

struct ResolvedGrid {
  GridSize grid;
  Settings settings;                  // the model as the window would hold it, when one was given
  std::filesystem::path model;        // its file, which is never an output
  std::vector<std::string> warnings;  // keys of the model that took their defaults
};

// The grid of the choice: the model must be accepted as the window's open
// dialog accepts it. Throws RequestError when neither is given, kv::Error
// naming the model when the model is refused (InputMissing when it does not
// exist, BadRequest otherwise), and, with strict,
// when the model leaves a grid key to its default.
ResolvedGrid ResolveGrid(const GridChoice& choice, const RequestWords& words, bool strict = false);

// The warning for each grid key a model leaves to its default.
std::vector<std::string> DefaultedKeyWarnings(const ModelStatus& model);

// The output file: the one given, or with a model the model's name with the
// type's extension. Throws RequestError when there is no name to give, or when
// TypeNotChosen refuses the name.
std::string OutputFor(const std::optional<std::string>& output, const GridChoice& choice,
                      const ResolvedGrid& resolved, int typeCode, const RequestWords& words);

// The warning for an output whose name ends in another type's extension
// ("" when it does not); with strict, that is refused instead (kv::Error, BadRequest).
std::string OutputNameWarning(int typeCode, const std::string& output, bool strict = false);

// The refusal "Select the type of the input data (step 3)", with `where` in the
// brackets, when the type is still the type list's prompt row (code 0) and the
// output's name ends in its bare "." (the model's base name awaiting a type's
// extension): such a file has no type, and Windows drops the trailing dot.
// Empty otherwise; an output the user named stays type 0.
std::string TypeNotChosen(int typeCode, std::string_view output, std::string_view where = "step 3");

// A conversion run's request to write output, all but its input, which the
// caller adds: the grid and the model file it came from (empty: none; it is
// never the output), the type, whether the existing data is deleted first, and
// whether what would warn is refused instead.
ConversionRequest ConversionRequestFor(const std::filesystem::path& output, const GridSize& grid,
                                       const std::filesystem::path& model, int typeCode, bool createNew, bool strict);

// What `info` checks the file against: nothing without a grid, else the grid
// and the type, which then must be given too. Throws RequestError.
std::optional<FileGeometry> InfoGeometry(const GridChoice& choice, std::optional<int> typeCode,
                                         const RequestWords& words, bool strict = false,
                                         std::vector<std::string>* warnings = nullptr);

}  // namespace kv
