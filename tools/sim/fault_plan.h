#pragma once
// Scripted faults for the simulated device's replies.
//
// A rule is "KIND[:CMD[:N]]": KIND applies to every reply, to every reply to
// command CMD, or only to the Nth request of command CMD (counted from 1).
// CMD "*" means any command, so "silence:*:3" hits the third request of all.
// Kinds: silence, bad-checksum, wrong-command, wrong-device, truncated,
// oversize-len, miscount (send acknowledgements only), forget-write (a write
// piece is acknowledged as taken but the block is never stored), delay=MS.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavomark::sim {

enum class FaultKind { Silence, BadChecksum, WrongCommand, WrongDevice, Truncated, OversizeLen, Miscount, ForgetWrite, Delay };

struct FaultRule {
  FaultKind kind = FaultKind::Silence;
  std::optional<uint8_t> cmd;  // none: every command
  unsigned nth = 0;            // 0: every request
  unsigned delayMs = 0;
};

// Parses one rule; on a bad text returns false with error set.
[[nodiscard]] bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error);

// What to do to one reply.
struct FaultDecision {
  bool silence = false;
  bool badChecksum = false;
  bool wrongCommand = false;
  bool wrongDevice = false;
  bool truncated = false;
  bool oversizeLen = false;
  bool miscount = false;
  bool forgetWrite = false;
  unsigned delayMs = 0;
};

class FaultPlan {
 public:
  void Add(const FaultRule& rule) { m_rules.push_back(rule); }
  // After this many replies the device answers nothing more.
  void SilentAfter(unsigned replies) { m_silentAfter = replies; }

  // Counts one request of the command and decides the fate of its reply.
  [[nodiscard]] FaultDecision Decide(uint8_t cmd);
  // Counts a reply that went out.
  void ReplySent() { ++m_repliesSent; }

 private:
  std::vector<FaultRule> m_rules;
  std::array<unsigned, 256> m_requestsByCmd{};
  unsigned m_requests = 0;
  std::optional<unsigned> m_silentAfter;
  unsigned m_repliesSent = 0;
};

}  // namespace tavomark::sim
