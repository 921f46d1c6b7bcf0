// Feeds arbitrary text to the fault rules' reader, as `POST /api/faults` and `--faults FILE` take
// it: nothing it is given may crash it, and a rule it accepts writes itself as JSON that reads.
#include "platform/coding/json_document.hpp"
#include "platform/host/serve/service/fault_rules.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto one = host::serve::parseFaultRule(text);
  if (const auto* rule = std::get_if<host::serve::FaultRule>(&one)) {
    host::serve::FaultRules rules;
    auto added = rules.add(*rule);
    if (const auto* kept = std::get_if<host::serve::FaultRule>(&added)) {
      coding::JsonDocument written;
      if (written.read(host::serve::faultRuleJson(*kept))) std::abort();
    }
  }
  (void)host::serve::parseFaultRules(text);
  return 0;
}
