#include "settings/bool_text.h"

#include <cctype>
#include <string>

namespace discora {

namespace {

// What may stand around a Boolean text and is ignored there: blanks, tabs
// and line breaks.
bool IsBlankOrLineBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number: sign, digits with an optional fraction, optional
// exponent. Returns false for anything else.
bool IsDecimalNumber(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < t.size() && IsDigit(t[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == t.size();
}

// The smallest number that rounds to infinity as a double (2^1024 - 2^970),
// every digit of it.
constexpr char kRoundsToInfinity[] =
    "17976931348623158079372897140530341507993413271003782693617377898044496829276475094664901"
    "79775872070963302864166928879109465555478519404026306574886715058206819089020007083836762"
    "73854845817711531764475730270069855571366959622842914819860834936475292719074168444365510"
    "704342711559699508093042880177904174497792";

// Whether a decimal number (already checked by IsDecimalNumber) is too large
// for a double, without converting it.
bool OverflowsDouble(std::string_view t) {
  std::string digits;           // significant digits, leading zeros dropped
  long long pointPosition = 0;  // digits before the decimal point
  bool seenPoint = false;
  std::size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
    if (t[i] == '.') {
      seenPoint = true;
      continue;
    }
    if (digits.empty() && t[i] == '0') {
      if (seenPoint) --pointPosition;
      continue;
    }
    digits += t[i];
    if (!seenPoint) ++pointPosition;
  }
  if (digits.empty()) return false;  // zero
  long long exponent = 0;
  if (i < t.size()) {
    ++i;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
    for (; i < t.size(); ++i) {
      // No text is long enough to bring an exponent this large back.
      if (exponent < 1000000000000000LL) exponent = exponent * 10 + (t[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  // The value is 0.<digits> x 10^(pointPosition + exponent).
  const long long magnitude = pointPosition + exponent;
  if (magnitude != 309) return magnitude > 309;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return digits >= kRoundsToInfinity;
}

// "&H1F" and "&O17" style numbers, at most 32 bits wide.
std::optional<bool> RadixNumberToBool(std::string_view t) {
  if (t.size() < 3 || t[0] != '&') return std::nullopt;
  const char radix = static_cast<char>(std::toupper(static_cast<unsigned char>(t[1])));
  if (radix != 'H' && radix != 'O') return std::nullopt;
  std::string_view digits = t.substr(2);
  for (char c : digits) {
    const bool valid =
        radix == 'H' ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '7');
    if (!valid) return std::nullopt;
  }
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  const bool tooWide = radix == 'H'
                           ? digits.size() > 8
                           : digits.size() > 11 || (digits.size() == 11 && digits[0] > '3');
  if (tooWide) return std::nullopt;
  return !digits.empty();
}

}  // namespace

const char* BoolText(bool value) { return value ? "True" : "False"; }

std::optional<bool> TextToBool(std::string_view text) {
  while (!text.empty() && IsBlankOrLineBreak(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrLineBreak(text.back())) text.remove_suffix(1);
  if (EqualsIgnoringCase(text, "true")) return true;
  if (EqualsIgnoringCase(text, "false")) return false;
  if (auto radix = RadixNumberToBool(text)) return radix;
  if (!IsDecimalNumber(text)) return std::nullopt;
  // A number too large for a double does not convert, as an overflow.
  if (OverflowsDouble(text)) return std::nullopt;
  bool mantissaNonZero = false;
  for (char c : text) {
    if (c == 'e' || c == 'E') break;
    if (c >= '1' && c <= '9') mantissaNonZero = true;
  }
  return mantissaNonZero;
}

}  // namespace discora
