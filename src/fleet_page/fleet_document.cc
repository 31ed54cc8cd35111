// The check's JSON document, one per machine, named by the file it was
// saved as.
#include <string>
#include <utility>
#include <vector>

#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_read.h"
#include "fleet_page/fleet_time.h"
#include "nlohmann/json.hpp"

namespace {

// The parts of a check document the page reads, gathered as the parser
// meets them (nlohmann/json's SAX interface), without building the whole
// document: what a full parse into a tree would find, the last of a
// repeated name winning as it does there, at a fraction of the cost.
class DocumentParts : public nlohmann::json_sax<nlohmann::json> {
 public:
  enum class Flag { kAbsent, kFalse, kTrue };  // a boolean, or none (or no boolean)
  enum class List { kTraces, kUnchecked, kAttached };

  bool object = false;  // the document is an object
  Flag clean = Flag::kAbsent;
  Flag complete = Flag::kAbsent;
  std::string computer;
  std::string version;
  std::string checked_at;
  bool has_traces = false;  // each an array
  bool has_unchecked = false;
  bool trace_not_object = false;  // an element of each that is no object
  bool unchecked_not_object = false;
  std::vector<FleetTrace> traces;
  std::vector<FleetUnchecked> unchecked;
  std::vector<FleetAttached> attached;

  bool null() override { return Scalar(nullptr, Flag::kAbsent); }
  bool boolean(bool value) override { return Scalar(nullptr, value ? Flag::kTrue : Flag::kFalse); }
  bool number_integer(number_integer_t) override { return Scalar(nullptr, Flag::kAbsent); }
  bool number_unsigned(number_unsigned_t) override { return Scalar(nullptr, Flag::kAbsent); }
  bool number_float(number_float_t, const string_t&) override {
    return Scalar(nullptr, Flag::kAbsent);
  }
  bool string(string_t& value) override { return Scalar(&value, Flag::kAbsent); }
  bool binary(binary_t&) override { return Scalar(nullptr, Flag::kAbsent); }
  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    key_ = name;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  // What an open object or array is: the document, one of its lists, an
  // entry of one, or anything else (passed over).
  enum class Frame { kDocument, kList, kEntry, kOther };
  struct Level {
    Frame frame;
    List list;
  };

  static bool ListNamed(const std::string& name, List* list) {
    if (name == "traces") {
      *list = List::kTraces;
    } else if (name == "unchecked") {
      *list = List::kUnchecked;
    } else if (name == "attached") {
      *list = List::kAttached;
    } else {
      return false;
    }
    return true;
  }

  // A value of the document's own name `key_`: a string (or null for any
  // other value), a boolean, or neither. Lists given anything but an array
  // are no lists.
  void DocumentValue(const std::string* text, Flag flag) {
    if (key_ == "clean") {
      clean = flag;
    } else if (key_ == "complete") {
      complete = flag;
    } else if (key_ == "computer") {
      computer = text != nullptr ? *text : std::string();
    } else if (key_ == "version") {
      version = text != nullptr ? *text : std::string();
    } else if (key_ == "checked_at") {
      checked_at = text != nullptr ? *text : std::string();
    } else if (key_ == "traces") {
      has_traces = false;
      trace_not_object = false;
      traces.clear();
    } else if (key_ == "unchecked") {
      has_unchecked = false;
      unchecked_not_object = false;
      unchecked.clear();
    } else if (key_ == "attached") {
      attached.clear();
    }
  }

  // A value of the entry's name `key_`, for the last entry of `list`.
  void EntryValue(List list, const std::string* text, Flag flag) {
    const std::string value = text != nullptr ? *text : std::string();
    if (list == List::kTraces) {
      FleetTrace& trace = traces.back();
      if (key_ == "kind") {
        trace.kind = value;
      } else if (key_ == "id") {
        trace.id = value;
      } else if (key_ == "description") {
        trace.description = value;
      } else if (key_ == "manual_removal") {
        trace.manual_removal = value;
      } else if (key_ == "awaits_reboot") {
        trace.awaits_reboot = flag == Flag::kTrue;
      }
    } else if (list == List::kUnchecked) {
      FleetUnchecked& entry = unchecked.back();
      if (key_ == "check") {
        entry.check = value;
      } else if (key_ == "reason") {
        entry.reason = value;
      }
    } else {
      FleetAttached& device = attached.back();
      if (key_ == "kind") {
        device.kind = value;
      } else if (key_ == "id") {
        device.id = value;
      } else if (key_ == "description") {
        device.description = value;
      } else if (key_ == "status") {
        device.status = value;
      }
    }
  }

  // An element of `list` that is no object.
  void NoObject(List list) {
    if (list == List::kTraces) trace_not_object = true;
    if (list == List::kUnchecked) unchecked_not_object = true;
  }

  bool Scalar(const std::string* text, Flag flag) {
    if (open_.empty()) return true;  // the whole document: no object
    const Level& at = open_.back();
    if (at.frame == Frame::kDocument) DocumentValue(text, flag);
    if (at.frame == Frame::kList) NoObject(at.list);
    if (at.frame == Frame::kEntry) EntryValue(at.list, text, flag);
    return true;
  }

  bool Open(bool is_object) {
    Level next{Frame::kOther, List::kTraces};
    if (open_.empty()) {
      object = is_object;
      if (is_object) next.frame = Frame::kDocument;
    } else {
      const Level at = open_.back();
      if (at.frame == Frame::kDocument) {
        List list = List::kTraces;
        DocumentValue(nullptr, Flag::kAbsent);
        if (!is_object && ListNamed(key_, &list)) {
          if (list == List::kTraces) has_traces = true;
          if (list == List::kUnchecked) has_unchecked = true;
          next = {Frame::kList, list};
        }
      } else if (at.frame == Frame::kList) {
        if (is_object) {
          next = {Frame::kEntry, at.list};
          if (at.list == List::kTraces) traces.emplace_back();
          if (at.list == List::kUnchecked) unchecked.emplace_back();
          if (at.list == List::kAttached) attached.emplace_back();
        } else {
          NoObject(at.list);
        }
      } else if (at.frame == Frame::kEntry) {
        EntryValue(at.list, nullptr, Flag::kAbsent);
      }
    }
    open_.push_back(next);
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  std::vector<Level> open_;
  std::string key_;
};

}  // namespace

MachineResult ReadCheckDocument(const std::string& text, const std::string& machine,
                                const std::string& source) {
  const std::string engine = "check document";
  bool marked = false;
  DocumentParts document;
  if (!nlohmann::json::sax_parse(DecodeText(text, &marked), &document)) {
    return NoResult(machine, source, engine, "not JSON");
  }
  if (!document.object || document.clean == DocumentParts::Flag::kAbsent || !document.has_traces ||
      !document.has_unchecked) {
    return NoResult(machine, source, engine,
                    "not a check document (no \"clean\", \"traces\" and \"unchecked\")");
  }
  MachineResult result;
  // The machine is the one the file was saved for; the document's own
  // "computer" is the machine's word, which cannot move the result.
  const std::string& computer = document.computer;
  result.machine = machine.empty() ? computer : machine;
  if (!computer.empty() && !machine.empty() && !SameMachine(computer, machine)) {
    result.flags.push_back("the document names " + computer);
  }
  result.source = source;
  result.engine = engine;
  result.version = std::move(document.version);
  const std::string checked_at = Trim(document.checked_at);
  result.time = ParseIsoTime(checked_at);
  result.checked_at = result.time == kUnknownTime ? checked_at : FormatIsoTime(result.time);
  if (marked) result.flags.push_back(kMarkedFlag);
  if (document.trace_not_object) {
    return NoResult(result.machine, source, engine,
                    "not a check document (a trace that is no object)");
  }
  if (document.unchecked_not_object) {
    return NoResult(result.machine, source, engine,
                    "not a check document (an unchecked entry that is no object)");
  }
  result.traces = std::move(document.traces);
  result.unchecked = std::move(document.unchecked);
  result.attached = std::move(document.attached);
  DropRepeatedTraces(&result);
  Decide(&result);
  // The check writes "clean" as every check ran and found nothing: a
  // document that says otherwise of its own lists is not believed either way.
  const bool complete = result.unchecked.empty();
  const bool found_nothing = complete && result.traces.empty();
  const bool clean = document.clean == DocumentParts::Flag::kTrue;
  if (clean != found_nothing) {
    Contradicts(&result, clean ? "\"clean\" is true, but it lists traces or "
                                 "checks that could not run"
                               : "\"clean\" is false, but it lists no trace and "
                                 "every check ran");
  }
  if (document.complete != DocumentParts::Flag::kAbsent &&
      (document.complete == DocumentParts::Flag::kTrue) != complete) {
    Contradicts(&result, complete ? "\"complete\" is false, but every check ran"
                                  : "\"complete\" is true, but a check could not run");
  }
  return result;
}
