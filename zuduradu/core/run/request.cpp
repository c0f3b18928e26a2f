#include "zuduradu/core/run/request.h"

#include <system_error>

#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/text/number_list.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {

namespace {

bool AllDigits(std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos; }

int DefaultOf(std::string_view key) {
  return key == "NX" ? kDefaultGrid.nx : key == "NY" ? kDefaultGrid.ny : kDefaultGrid.nz;
}

std::string JoinedWarnings(const std::vector<std::string>& warnings) {
  std::string text;
  for (const std::string& w : warnings) text += (text.empty() ? "" : "; ") + w;
  return text;
}

}  // namespace

std::string NotATypeCode(const RequestWords& words) {
  return " is neither a type code 0.." + std::to_string(kMaxTypeCode) +
         " that has an extension nor an extension of the type list such as " + std::string(words.extensionExamples) +
         " (" + std::string(words.typesCommand) + " lists them)";
}

bool IsTypeCode(long long code) {
  return code >= 0 && code <= kMaxTypeCode && !ExtensionFor(static_cast<int>(code)).empty();
}

int TypeCodeFromText(std::string_view text, const RequestWords& words) {
  const std::string_view t = TrimBlanks(text);
  if (AllDigits(t)) {
    const long long code = t.size() > 4 ? kMaxTypeCode + 1 : std::stoll(std::string(t));
    if (IsTypeCode(code)) return static_cast<int>(code);
  } else if (const auto code = TypeCodeForExtension(t)) {
    return *code;
  }
  throw RequestError(QuoteField(t) + NotATypeCode(words));
}

GridSize GridFromText(std::string_view text) {
  int values[3] = {0, 0, 0};
  std::size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    const std::size_t comma = text.find(',', start);
    std::int16_t v = 0;
    if ((k < 2) != (comma != std::string_view::npos) ||
        ParseInt16Field(TrimBlanks(text.substr(start, k < 2 ? comma - start : std::string_view::npos)), v) !=
            NumberStatus::Ok ||
        v < 1) {
      throw RequestError(QuoteField(text) + " is not three whole numbers 1.." + std::to_string(kInt16Max) +
                         " separated by commas (columns, rows, layers), such as 120,80,3");
    }
    values[k] = v;
    start = comma + 1;
  }
  return GridSize{values[0], values[1], values[2]};
}

std::vector<std::string> DefaultedKeyWarnings(const ModelStatus& model) {
  std::vector<std::string> warnings;
  for (const std::string& key : model.defaulted) {
    warnings.push_back("the model " + model.file + " gives no " + key + " in [DIMENSION]; the default " + key + " = " +
                       std::to_string(DefaultOf(key)) + " is used");
  }
  return warnings;
}

ResolvedGrid ResolveGrid(const GridChoice& choice, const RequestWords& words, bool strict) {
  ResolvedGrid r;
  if (choice.grid) {
    r.grid = *choice.grid;
    return r;
  }
  if (!choice.model) {
    throw RequestError("Please select a KV Model: give " + std::string(words.modelForm) + " or " +
                       std::string(words.gridForm));
  }
  TakeModelFromDialog(r.settings, *choice.model);
  if (!r.settings.model.accepted()) {
    const bool missing = r.settings.model.state == ModelState::FileMissing;
    throw Error(missing ? ErrorKind::InputMissing : ErrorKind::BadRequest, ModelRefusal(r.settings),
                ErrorPlace{PathFromUtf8(*choice.model), 0, 0, 0, {}});
  }
  r.grid = r.settings.Grid();
  r.model = PathFromUtf8(*choice.model);
  r.warnings = DefaultedKeyWarnings(r.settings.model);
  if (strict && !r.warnings.empty()) {
    std::string what = "Refused in strict mode: " + JoinedWarnings(r.warnings) +
                       ". Write NX, NY and NZ under [DIMENSION] in the model, or leave out strict mode";
    throw Error(ErrorKind::BadRequest, what, ErrorPlace{PathFromUtf8(*choice.model), 0, 0, 0, {}});
  }
  return r;
}

std::string TypeNotChosen(int typeCode, std::string_view output, std::string_view where) {
  if (typeCode != 0 || output.empty() || output.back() != '.') return {};
  return "Select the type of the input data (" + std::string(where) + ")";
}

std::string OutputFor(const std::optional<std::string>& output, const GridChoice& choice,
                      const ResolvedGrid& resolved, int typeCode, const RequestWords& words) {
  if (output) {
    if (const std::string refusal = TypeNotChosen(typeCode, *output, words.type); !refusal.empty()) {
      throw RequestError(refusal + ": " + QuoteField(*output) + " would be a file without a type's extension");
    }
    return *output;
  }
  if (choice.grid) {
    throw RequestError(std::string(words.grid) + " needs " + std::string(words.output) +
                       ": without a model there is no name to give the output file");
  }
  if (const auto name = OutputNameForType(resolved.settings, typeCode)) return *name;
  throw RequestError("Please specify the name of the output data file: the model path " + resolved.settings.ModelPath +
                     " has no \".\" before which to put the type's extension");
}

std::string OutputNameWarning(int typeCode, const std::string& output, bool strict) {
  const auto named = OtherTypeOfName(typeCode, output);
  if (!named) return {};
  const std::string warning = "the output file " + output + " ends in " + std::string(ExtensionFor(*named)) +
                              ", the extension of type " + TypeName(*named) + ", but the data is stored as type " +
                              TypeName(typeCode) + ", whose files end in " + std::string(ExtensionFor(typeCode));
  if (strict) {
    throw Error(ErrorKind::BadRequest,
                "Refused in strict mode: " + warning + ". Give the output the type's extension, or leave out strict mode");
  }
  return warning;
}

ConversionRequest ConversionRequestFor(const std::filesystem::path& output, const GridSize& grid,
                                       const std::filesystem::path& model, int typeCode, bool createNew, bool strict) {
  ConversionRequest request;
  request.output = output;
  request.typeCode = typeCode;
  request.grid = grid;
  request.createNew = createNew;
  request.strict = strict;
  request.model = model;
  return request;
}

std::optional<FileGeometry> InfoGeometry(const GridChoice& choice, std::optional<int> typeCode,
                                         const RequestWords& words, bool strict, std::vector<std::string>* warnings) {
  const std::string type(words.type);
  const std::string either = std::string(words.model) + " or " + std::string(words.grid);
  if (choice.given() && !typeCode) {
    throw RequestError(type + " is needed with " + either + ": the type decides how many layers a block holds");
  }
  if (!choice.given() && typeCode) throw RequestError(type + " needs " + either);
  if (!choice.given()) return std::nullopt;
  ResolvedGrid resolved = ResolveGrid(choice, words, strict);
  if (warnings != nullptr) *warnings = std::move(resolved.warnings);
  return FileGeometry{resolved.grid, *typeCode};
}

}  // namespace kv
