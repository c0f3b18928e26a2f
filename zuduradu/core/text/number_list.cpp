#include "zuduradu/core/text/number_list.h"

#include <algorithm>
#include <optional>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

namespace {

[[noreturn]] void BadList(const std::string& what) { throw Error(ErrorKind::BadRequest, what); }

class ListReader {
 public:
  ListReader(int last, std::string_view noun) : last_(last), noun_(noun) {}

  // A number written as decimal digits within 1..last.
  int Checked(std::string_view digits, std::string_view entry) const {
    std::optional<int> value;
    for (const char c : digits) {
      if (c < '0' || c > '9') {
        value.reset();
        break;
      }
      value = std::min(value.value_or(0) * 10 + (c - '0'), last_ + 1);  // too large reads as outside
    }
    if (!value) {
      BadList(QuoteField(entry) + " in the " + noun_ + " list is not a " + noun_ + " or a range such as 10-20");
    }
    if (*value < 1 || *value > last_) {
      std::string name = noun_;
      name[0] = static_cast<char>(name[0] - 'a' + 'A');
      BadList(name + " " + std::string(digits) + " in the " + noun_ + " list is outside 1.." + std::to_string(last_));
    }
    return *value;
  }
  const std::string& noun() const { return noun_; }

 private:
  int last_;
  std::string noun_;
};

}  // namespace

std::vector<int> ParseNumberList(std::string_view text, int last, std::string_view noun) {
  const ListReader reader(last, noun);
  std::vector<int> numbers;
  if (TrimBlanks(text).empty()) BadList("The " + reader.noun() + " list is empty");
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view entry =
        TrimBlanks(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (entry.empty()) BadList("The " + reader.noun() + " list " + QuoteField(text) + " has an empty entry");
    const std::size_t dash = entry.find('-');
    if (dash == std::string_view::npos) {
      numbers.push_back(reader.Checked(entry, entry));
    } else {
      const int first = reader.Checked(TrimBlanks(entry.substr(0, dash)), entry);
      const int final = reader.Checked(TrimBlanks(entry.substr(dash + 1)), entry);
      if (final < first) BadList("The range " + QuoteField(entry) + " in the " + reader.noun() + " list runs backwards");
      for (int n = first; n <= final; ++n) numbers.push_back(n);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::ranges::sort(numbers);
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

std::vector<int> ParsePeriodList(std::string_view text) { return ParseNumberList(text, kPeriodCount, "period"); }

}  // namespace kv
