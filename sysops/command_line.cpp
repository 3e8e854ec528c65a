#include "sysops/command_line.h"

namespace wardenix {
namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

bool has_blank(UStringView text) {
  for (char16_t c : text) {
    if (is_blank(c)) return true;
  }
  return false;
}

// Splits the arguments after the program: 2n backslashes before a quote give
// n backslashes and the quote toggles quoting, 2n+1 give n and a literal
// quote, and "" inside quotes is a literal quote.
void split_arguments(UStringView text, std::vector<UString>& out) {
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i == text.size()) return;
    UString arg;
    bool quoted = false;
    while (i < text.size() && (quoted || !is_blank(text[i]))) {
      std::size_t backslashes = 0;
      while (i < text.size() && text[i] == u'\\') ++backslashes, ++i;
      if (i < text.size() && text[i] == u'"') {
        arg.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          arg.push_back(u'"');
          ++i;
        } else if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg.append(backslashes, u'\\');
        if (i < text.size() && (quoted || !is_blank(text[i]))) arg.push_back(text[i++]);
      }
    }
    out.push_back(std::move(arg));
  }
}

}  // namespace

ProcessCreation PlanProcessCreation(UStringView command_line) {
  if (command_line.empty() || command_line.front() == u'"' || !has_blank(command_line)) {
    return {UString(), UString(command_line)};
  }
  UString quoted;
  quoted.reserve(command_line.size() + 2);
  quoted.append(u"\"").append(command_line).append(u"\"");
  return {UString(command_line), std::move(quoted)};
}

std::vector<UString> SplitCommandLine(UStringView command_line) {
  std::vector<UString> out;
  if (command_line.empty()) return out;
  if (command_line.front() != u'"') {
    out.emplace_back(command_line);
    return out;
  }
  // The program name ends at the next quote; no escapes inside it.
  const auto close = command_line.find(u'"', 1);
  const std::size_t end = close == UStringView::npos ? command_line.size() : close;
  UString program(command_line.substr(1, end - 1));
  if (program.empty()) return out;
  out.push_back(std::move(program));
  if (end < command_line.size()) split_arguments(command_line.substr(end + 1), out);
  return out;
}

}  // namespace wardenix
