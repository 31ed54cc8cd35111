// The check's JSON document, one per machine, named by the file it was
// saved as.
#include <string>

#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_read.h"
#include "fleet_page/fleet_time.h"
#include "nlohmann/json.hpp"

namespace {

std::string StringField(const nlohmann::json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::string();
  return found->get<std::string>();
}

}  // namespace

MachineResult ReadCheckDocument(const std::string& text, const std::string& machine,
                                const std::string& source) {
  const std::string engine = "check document";
  bool marked = false;
  const nlohmann::json document =
      nlohmann::json::parse(DecodeText(text, &marked), nullptr, false);
  if (document.is_discarded()) {
    return NoResult(machine, source, engine, "not JSON");
  }
  const auto clean = document.is_object() ? document.find("clean") : document.end();
  const auto traces = document.is_object() ? document.find("traces") : document.end();
  const auto unchecked = document.is_object() ? document.find("unchecked") : document.end();
  if (!document.is_object() || clean == document.end() || !clean->is_boolean() ||
      traces == document.end() || !traces->is_array() || unchecked == document.end() ||
      !unchecked->is_array()) {
    return NoResult(machine, source, engine,
                    "not a check document (no \"clean\", \"traces\" and \"unchecked\")");
  }
  MachineResult result;
  // The machine is the one the file was saved for; the document's own
  // "computer" is the machine's word, which cannot move the result.
  const std::string computer = StringField(document, "computer");
  result.machine = machine.empty() ? computer : machine;
  if (!computer.empty() && !machine.empty() && !SameMachine(computer, machine)) {
    result.flags.push_back("the document names " + computer);
  }
  result.source = source;
  result.engine = engine;
  result.version = StringField(document, "version");
  const std::string checked_at = Trim(StringField(document, "checked_at"));
  result.time = ParseIsoTime(checked_at);
  result.checked_at = result.time == kUnknownTime ? checked_at : FormatIsoTime(result.time);
  if (marked) result.flags.push_back(kMarkedFlag);
  for (const nlohmann::json& entry : *traces) {
    if (!entry.is_object()) {
      return NoResult(result.machine, source, engine,
                      "not a check document (a trace that is no object)");
    }
    FleetTrace trace;
    trace.kind = StringField(entry, "kind");
    trace.id = StringField(entry, "id");
    trace.description = StringField(entry, "description");
    trace.manual_removal = StringField(entry, "manual_removal");
    const auto reboot = entry.find("awaits_reboot");
    trace.awaits_reboot = reboot != entry.end() && reboot->is_boolean() && reboot->get<bool>();
    result.traces.push_back(trace);
  }
  for (const nlohmann::json& entry : *unchecked) {
    if (!entry.is_object()) {
      return NoResult(result.machine, source, engine,
                      "not a check document (an unchecked entry that is no object)");
    }
    result.unchecked.push_back({StringField(entry, "check"), StringField(entry, "reason")});
  }
  const auto attached = document.find("attached");
  if (attached != document.end() && attached->is_array()) {
    for (const nlohmann::json& entry : *attached) {
      if (!entry.is_object()) continue;
      result.attached.push_back({StringField(entry, "kind"), StringField(entry, "id"),
                                 StringField(entry, "description"),
                                 StringField(entry, "status")});
    }
  }
  DropRepeatedTraces(&result);
  Decide(&result);
  // The check writes "clean" as every check ran and found nothing: a
  // document that says otherwise of its own lists is not believed either way.
  const bool complete = result.unchecked.empty();
  const bool found_nothing = complete && result.traces.empty();
  if (clean->get<bool>() != found_nothing) {
    Contradicts(&result, clean->get<bool>() ? "\"clean\" is true, but it lists traces or "
                                              "checks that could not run"
                                            : "\"clean\" is false, but it lists no trace and "
                                              "every check ran");
  }
  const auto complete_field = document.find("complete");
  if (complete_field != document.end() && complete_field->is_boolean() &&
      complete_field->get<bool>() != complete) {
    Contradicts(&result, complete ? "\"complete\" is false, but every check ran"
                                  : "\"complete\" is true, but a check could not run");
  }
  return result;
}
