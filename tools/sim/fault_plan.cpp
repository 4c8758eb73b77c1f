#include "fault_plan.h"

#include <charconv>

namespace tavomark::sim {

namespace {

bool ParseUnsigned(std::string_view text, unsigned& out) {
  if (text.empty()) return false;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc{} && ptr == end;
}

bool ParseKind(std::string_view text, FaultRule& rule) {
  struct Name {
    std::string_view text;
    FaultKind kind;
  };
  static constexpr Name kNames[] = {
      {"silence", FaultKind::Silence},        {"bad-checksum", FaultKind::BadChecksum},
      {"wrong-command", FaultKind::WrongCommand}, {"wrong-device", FaultKind::WrongDevice},
      {"truncated", FaultKind::Truncated},    {"oversize-len", FaultKind::OversizeLen},
      {"miscount", FaultKind::Miscount},      {"forget-write", FaultKind::ForgetWrite},
  };
  if (text.starts_with("delay=")) {
    rule.kind = FaultKind::Delay;
    return ParseUnsigned(text.substr(6), rule.delayMs);
  }
  for (const Name& n : kNames) {
    if (n.text == text) {
      rule.kind = n.kind;
      return true;
    }
  }
  return false;
}

void Apply(const FaultRule& rule, FaultDecision& d) {
  switch (rule.kind) {
    case FaultKind::Silence: d.silence = true; break;
    case FaultKind::BadChecksum: d.badChecksum = true; break;
    case FaultKind::WrongCommand: d.wrongCommand = true; break;
    case FaultKind::WrongDevice: d.wrongDevice = true; break;
    case FaultKind::Truncated: d.truncated = true; break;
    case FaultKind::OversizeLen: d.oversizeLen = true; break;
    case FaultKind::Miscount: d.miscount = true; break;
    case FaultKind::ForgetWrite: d.forgetWrite = true; break;
    case FaultKind::Delay: d.delayMs += rule.delayMs; break;
  }
}

}  // namespace

bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error) {
  rule = FaultRule{};
  const auto firstColon = text.find(':');
  const std::string_view kind = text.substr(0, firstColon);
  if (!ParseKind(kind, rule)) {
    error = "unknown fault \"" + std::string(kind) + "\"";
    return false;
  }
  if (firstColon == std::string_view::npos) return true;

  std::string_view rest = text.substr(firstColon + 1);
  const auto secondColon = rest.find(':');
  const std::string_view cmd = rest.substr(0, secondColon);
  unsigned value = 0;
  if (cmd != "*") {
    if (!ParseUnsigned(cmd, value) || value > 255) {
      error = "bad command \"" + std::string(cmd) + "\" in fault \"" + std::string(text) + "\"";
      return false;
    }
    rule.cmd = static_cast<uint8_t>(value);
  }
  if (secondColon == std::string_view::npos) return true;
  const std::string_view nth = rest.substr(secondColon + 1);
  if (!ParseUnsigned(nth, rule.nth) || rule.nth == 0) {
    error = "bad request number \"" + std::string(nth) + "\" in fault \"" + std::string(text) + "\"";
    return false;
  }
  return true;
}

FaultDecision FaultPlan::Decide(uint8_t cmd) {
  const unsigned ofCmd = ++m_requestsByCmd[cmd];
  const unsigned ofAll = ++m_requests;
  FaultDecision d;
  if (m_silentAfter && m_repliesSent >= *m_silentAfter) d.silence = true;
  for (const FaultRule& rule : m_rules) {
    if (rule.cmd && *rule.cmd != cmd) continue;
    const unsigned count = rule.cmd ? ofCmd : ofAll;
    if (rule.nth != 0 && rule.nth != count) continue;
    Apply(rule, d);
  }
  return d;
}

}  // namespace tavomark::sim
