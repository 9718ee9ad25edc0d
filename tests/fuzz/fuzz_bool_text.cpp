// TextToBool, the rule that reads a stored switch or the MCI media-present
// reply as a Boolean, against an oracle written separately from it, plus
// properties that must hold for any text: blanks around the text and the
// letter case do not matter, a sign does not change whether a number is
// zero, and the written forms "True"/"False" read back as what they say.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "settings/bool_text.h"

namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view t) {
  std::size_t begin = 0;
  std::size_t end = t.size();
  while (begin < end && IsBlankChar(t[begin])) ++begin;
  while (end > begin && IsBlankChar(t[end - 1])) --end;
  return t.substr(begin, end - begin);
}

std::string AsciiLower(std::string_view t) {
  std::string out(t);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool AllDigits(std::string_view t) {
  for (char c : t) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "&H" or "&O" then hexadecimal or octal digits whose value fits in 32 bits.
std::optional<bool> OracleRadix(const std::string& lower) {
  const int base = lower[1] == 'h' ? 16 : 8;
  const std::string_view digits = std::string_view(lower).substr(2);
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    if (d >= base) return std::nullopt;
    value = value * base + d;
    if (value > 0xFFFFFFFFu) return std::nullopt;  // too wide for 32 bits
  }
  return value != 0;
}

// The largest double, (2^53 - 1) x 2^971, and the least number that rounds
// to infinity, 2^1024 - 2^970: both 309 digits before the point; here their
// digits without the trailing zeros.
constexpr std::string_view kLargestDouble =
    "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955"
    "86327668781715404589535143824642343213268894641827684675467035375169860499105765512820762"
    "45490090389328944075868508455133942304583236903222948165808559332123348274797826204144723"
    "168738177180919299881250404026184124858368";
constexpr std::string_view kRoundsToInfinity =
    "17976931348623158079372897140530341507993413271003782693617377898044496829276475094664901"
    "79775872070963302864166928879109465555478519404026306574886715058206819089020007083836762"
    "73854845817711531764475730270069855571366959622842914819860834936475292719074168444365510"
    "704342711559699508093042880177904174497792";
constexpr long long kLimitMagnitude = 309;

// What the rule must give for a text; `orNoConversion` also allows no
// conversion, for the numbers above the largest double that still round to it.
struct Expected {
  std::optional<bool> value;
  bool orNoConversion = false;
};

// Compares 0.<digits> x 10^magnitude with 0.<limit> x 10^309. Neither digit
// string has leading or trailing zeros, so on equal magnitudes the digits
// compare as texts.
int CompareWithLimit(const std::string& digits, long long magnitude, std::string_view limit) {
  if (magnitude != kLimitMagnitude) return magnitude < kLimitMagnitude ? -1 : 1;
  return std::string_view(digits).compare(limit);
}

// Mantissa (sign, digits with at most one point, at least one digit) and an
// optional exponent (e, sign, at least one digit).
Expected OracleDecimal(const std::string& lower) {
  const std::size_t e = lower.find('e');
  std::string_view mantissa = std::string_view(lower).substr(0, e);
  long long exponent = 0;
  if (e != std::string::npos) {
    std::string_view digits = std::string_view(lower).substr(e + 1);
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
      negative = digits[0] == '-';
      digits.remove_prefix(1);
    }
    if (digits.empty() || !AllDigits(digits)) return {};
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    // Beyond nine digits the exponent alone decides, whatever the mantissa.
    exponent = digits.size() > 9 ? 1000000000000LL : std::stoll(std::string(digits));
    if (negative) exponent = -exponent;
  }
  if (!mantissa.empty() && (mantissa[0] == '+' || mantissa[0] == '-')) mantissa.remove_prefix(1);
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  std::string digits(whole);
  if (point != std::string_view::npos) digits += mantissa.substr(point + 1);
  if (digits.empty() || !AllDigits(digits)) return {};

  // The value is 0.<significant digits> x 10^magnitude.
  const std::size_t leadingZeros = std::min(digits.find_first_not_of('0'), digits.size());
  std::string significant = digits.substr(leadingZeros);
  if (significant.empty()) return {false};  // zero, whatever its exponent
  significant.erase(significant.find_last_not_of('0') + 1);
  const long long magnitude =
      static_cast<long long>(whole.size()) - static_cast<long long>(leadingZeros) + exponent;

  // A number too large for a double overflows and does not convert. Checked
  // against the C library's own conversion as well.
  const bool roundsToInfinity = CompareWithLimit(significant, magnitude, kRoundsToInfinity) >= 0;
  CHECK_PROPERTY(roundsToInfinity == std::isinf(std::strtod(lower.c_str(), nullptr)), lower);
  if (roundsToInfinity) return {};
  const bool aboveLargest = CompareWithLimit(significant, magnitude, kLargestDouble) > 0;
  return {true, aboveLargest};
}

Expected Oracle(std::string_view text) {
  const std::string lower = AsciiLower(TrimBlanks(text));
  if (lower.find('\0') != std::string::npos) return {};
  if (lower == "true") return {true};
  if (lower == "false") return {false};
  if (lower.size() >= 2 && lower[0] == '&' && (lower[1] == 'h' || lower[1] == 'o')) {
    return {OracleRadix(lower)};
  }
  return OracleDecimal(lower);
}

const char* Describe(std::optional<bool> value) {
  return !value ? "no conversion" : *value ? "true" : "false";
}

// Flips the case of every ASCII letter whose bit in `pattern` is set.
std::string FlipCase(std::string_view t, std::uint32_t pattern) {
  std::string out(t);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (((pattern >> (i % 32)) & 1u) == 0) continue;
    char& c = out[i];
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<bool> result = discora::TextToBool(text);

  // The same answer as the separately written rule.
  const Expected expected = Oracle(text);
  const bool asExpected = result == expected.value || (expected.orNoConversion && !result);
  if (!asExpected) {
    std::fprintf(stderr, "TextToBool gave %s where %s%s was expected\n", Describe(result),
                 Describe(expected.value), expected.orNoConversion ? " or no conversion" : "");
  }
  CHECK_PROPERTY(asExpected, text);

  // Blanks around the text are ignored.
  static const char* const kBlanks[] = {" ", "\t", "  \r\n", "\n \t"};
  const std::size_t pick = size == 0 ? 0 : data[0];
  const std::string padded = std::string(kBlanks[pick % 4]) + text + kBlanks[(pick / 4) % 4];
  CHECK_PROPERTY(discora::TextToBool(padded) == result, padded);

  // Letter case never matters: not for the words, the exponent, the radix
  // prefix nor the hexadecimal digits.
  std::uint32_t pattern = 0x5a5a5a5au;
  for (std::size_t i = 0; i < size && i < 4; ++i) pattern ^= std::uint32_t{data[i]} << (8 * i);
  const std::string flipped = FlipCase(text, pattern);
  CHECK_PROPERTY(discora::TextToBool(flipped) == result, flipped);

  // "true" and "false" in any letter case, with the case taken from the input.
  const std::string trueWord = FlipCase("true", pattern);
  const std::string falseWord = FlipCase("false", pattern >> 4);
  CHECK_PROPERTY(discora::TextToBool(trueWord) == std::optional<bool>(true), trueWord);
  CHECK_PROPERTY(discora::TextToBool(falseWord) == std::optional<bool>(false), falseWord);

  // A minus sign in front of an unsigned decimal number changes nothing:
  // zero stays zero and any other number stays true.
  const std::string_view trimmed = TrimBlanks(text);
  if (!trimmed.empty() && ((trimmed[0] >= '0' && trimmed[0] <= '9') || trimmed[0] == '.')) {
    const std::string negated = "-" + std::string(trimmed);
    CHECK_PROPERTY(discora::TextToBool(negated) == result, negated);
  }

  // Only a number of the right form, the two words, or nothing: a result
  // of true for a decimal number means its value is not zero.
  if (result == std::optional<bool>(false) && !trimmed.empty() && trimmed[0] != '&' &&
      AsciiLower(trimmed) != "false") {
    const std::string copy(trimmed);
    CHECK_PROPERTY(std::strtod(copy.c_str(), nullptr) == 0.0, text);
  }

  // The written forms read back as the values they were written for.
  CHECK_PROPERTY(discora::TextToBool(discora::BoolText(true)) == std::optional<bool>(true), text);
  CHECK_PROPERTY(discora::TextToBool(discora::BoolText(false)) == std::optional<bool>(false), text);
  return 0;
}
