#include "zuduradu/core/text/field_reader.h"

#include <algorithm>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/field_scan.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {
void FieldReader::FailAt(FieldLocation at, int set, std::string_view field, std::string what) const {
  throw Error(ErrorKind::BadInput, std::move(what), ErrorPlace{name_, at.line, at.column, set, std::string(field)});
}

void FieldReader::FailInsideSet(int set, std::int64_t missing, std::int64_t n) const {
  FailAtEnd(set, "value", "the file ends inside data set " + std::to_string(set) + ": " +
                              Counted(missing, "value is", "values are") + " missing of its " + std::to_string(n));
}

void FieldReader::CheckLength(const Field& f, int set, std::string_view fieldName) const {
  if (f.text.size() > scan::kMaxFieldBytes) {
    FailAt(f.at, set, fieldName, QuoteField(f.text) + " is longer than " + std::to_string(scan::kMaxFieldBytes) +
                                     " characters and cannot be a number");
  }
}

std::int16_t FieldReader::ReadInteger(std::string_view fieldName, int set) {
  Field f;
  if (!NextField(f, set, fieldName)) {
    FailAtEnd(set, fieldName,
              set > 0 ? "the file ends before the " + std::string(fieldName) + " of data set " + std::to_string(set)
                      : "the file is empty: it has no " + std::string(fieldName));
  }
  last_ = f.at;
  const Parsed<std::int16_t> number = ParseInt16(f.text);
  switch (number.status) {
    case NumberStatus::Ok:
      return number.value;
    case NumberStatus::Fraction:
      FailAt(f.at, set, fieldName, QuoteField(f.text) + " is not a whole number");
    case NumberStatus::OutOfRange:
      FailAt(f.at, set, fieldName,
             QuoteField(f.text) + " is outside " + std::to_string(kInt16Min) + ".." + std::to_string(kInt16Max));
    case NumberStatus::NotANumber:
      break;
  }
  FailAt(f.at, set, fieldName, QuoteField(f.text) + " is not a number");
}

template <bool Store>
std::int64_t FieldReader::ReadValueField(const Field& f, float* out, std::int64_t left, int set) const {
  Parsed<float> number = ParseFloat(f.text);
  if (number.status == NumberStatus::Ok) {
    if constexpr (Store) *out = number.value;
    return 1;
  }
  if (number.status == NumberStatus::NotANumber) {
    if (const std::optional<Repeat> repeat = SplitRepeat(f.text)) {
      number = ParseFloat(repeat->value);
      if (number.status == NumberStatus::Ok) {
        if (repeat->count > left) {
          FailAt(f.at, set, "value", QuoteField(f.text) + " repeats a value " + std::to_string(repeat->count) +
                                         " times, but only " + Counted(left, "value is", "values are") +
                                         " left in the data set");
        }
        if constexpr (Store) std::fill(out, out + repeat->count, number.value);
        return repeat->count;
      }
    }
  }
  const bool outOfRange = number.status == NumberStatus::OutOfRange;
  FailAt(f.at, set, "value",
         QuoteField(f.text) + (outOfRange ? " is beyond the range of a 32-bit float" : " is not a number"));
}

template std::int64_t FieldReader::ReadValueField<true>(const Field&, float*, std::int64_t, int) const;
template std::int64_t FieldReader::ReadValueField<false>(const Field&, float*, std::int64_t, int) const;

}  // namespace kv
