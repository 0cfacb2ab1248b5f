// factories: the chain of factory records and the instances they make.
#include <string>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/core/guid_text.h"

namespace quarlo_host {

namespace {

std::string record_name(size_t n) { return "factory " + std::to_string(n); }

// Runs per_instance on each record's instance; the first failure ends it.
template <typename F>
check_result each_instance(const check_context& context, F per_instance) {
  check_session s(context);
  const factory_walk walk = walk_factories(s.client());
  if (walk.records.empty()) return skipped("no factory record");
  for (size_t n = 0; n < walk.records.size(); ++n) {
    service_factory_base* f = walk.records[n];
    if (f->service_class == nullptr) continue;
    service_ref instance;
    f->make_instance(instance);
    if (!instance) continue;
    check_result r = per_instance(s, *f, instance);
    if (r.status != check_status::passed) {
      r.details = record_name(n) + ": " + r.details;
      return r;
    }
  }
  return passed(std::to_string(walk.records.size()) + " record(s)");
}

check_result check_chain_ends(const check_context& context) {
  check_session s(context);
  const factory_walk walk = walk_factories(s.client());
  if (walk.looped) {
    return expected_got("a chain that ends in null",
                        "a record seen again after " + std::to_string(walk.records.size()));
  }
  return passed(std::to_string(walk.records.size()) + " record(s)");
}

check_result check_classes(const check_context& context) {
  check_session s(context);
  const factory_walk walk = walk_factories(s.client());
  if (walk.records.empty()) return skipped("no factory record");
  for (size_t n = 0; n < walk.records.size(); ++n) {
    const GUID* c = walk.records[n]->service_class;
    if (c == nullptr) return expected_got(record_name(n) + " with a class", "null");
    if (quarlo::guid_equal(*c, quarlo::null_guid)) {
      return expected_got(record_name(n) + " with a class", "the null GUID");
    }
  }
  return passed();
}

check_result check_make_instance(const check_context& context) {
  check_session s(context);
  const factory_walk walk = walk_factories(s.client());
  if (walk.records.empty()) return skipped("no factory record");
  for (size_t n = 0; n < walk.records.size(); ++n) {
    service_ref instance;
    walk.records[n]->make_instance(instance);
    if (!instance) return expected_got(record_name(n) + " to make an instance", "null");
  }
  return passed();
}

check_result check_instance_repeat(const check_context& context) {
  return each_instance(context, [](check_session&, service_factory_base& f, service_ref&) {
    service_ref second;
    f.make_instance(second);
    if (!second) return expected_got("an instance from the second call", "null");
    return passed();
  });
}

check_result check_query_own(const check_context& context) {
  return each_instance(context, [](check_session&, service_factory_base& f, service_ref& instance) {
    service_ref answer;
    if (!instance.get()->query(answer, *f.service_class)) {
      return expected_got("true for " + format_guid(*f.service_class), "false");
    }
    if (answer.get() != instance.get()) {
      return expected_got("the instance itself", answer ? "another object" : "an empty reference");
    }
    return passed();
  });
}

check_result check_query_unknown(const check_context& context) {
  const GUID unknown = unknown_class(context.seed);
  return each_instance(context, [&](check_session&, service_factory_base&, service_ref& instance) {
    service_ref answer;
    if (instance.get()->query(answer, unknown)) {
      return expected_got("false for the unknown class " + format_guid(unknown), "true");
    }
    if (answer) return expected_got("the reference left empty", "an object written into it");
    return passed();
  });
}

check_result check_query_miss_untouched(const check_context& context) {
  const GUID unknown = unknown_class(context.seed + 1);
  return each_instance(
      context, [&](check_session& s, service_factory_base&, service_ref& instance) {
        named_object& held = s.registry().at(0);
        service_ref out;
        out.assign(&held);
        const int32_t before = held.outstanding();
        if (instance.get()->query(out, unknown)) {
          return skipped("the instance answers an unknown class (factories.query_unknown_class)");
        }
        if (out.get() != &held) {
          return expected_got("the reference holding what it held", "another object");
        }
        if (held.outstanding() != before) {
          return expected_got(std::to_string(before) + " reference(s) on what it held",
                              std::to_string(held.outstanding()));
        }
        return passed();
      });
}

check_result check_counts_balanced(const check_context& context) {
  return each_instance(context, [](check_session&, service_factory_base&, service_ref& instance) {
    service_base& object = *instance.get();
    const uint32_t added = object.add_ref();
    const uint32_t released = object.release();
    const uint32_t added_again = object.add_ref();
    const uint32_t released_again = object.release();
    // Either counting (release one below add_ref) or inert (both constant).
    if (added != added_again || released != released_again ||
        (released + 1 != added && released != added)) {
      return expected_got("add_ref/release pairs returning to the same count",
                          std::to_string(added) + "/" + std::to_string(released) + " then " +
                              std::to_string(added_again) + "/" + std::to_string(released_again));
    }
    return passed();
  });
}

}  // namespace

std::vector<check_case> factory_cases() {
  return {
      {"factories.chain_ends", "the factory chain ends in null, with no loop",
       "a host walking a loop never finishes starting up", check_chain_ends},
      {"factories.classes", "every record names a class, not null",
       "the host reads the class of each record before anything else", check_classes},
      {"factories.make_instance", "every record makes an instance",
       "a record that makes nothing is a service the host cannot use", check_make_instance},
      {"factories.make_instance_again", "make_instance works a second time",
       "the host asks for instances whenever it needs them", check_instance_repeat},
      {"factories.query_own_class", "an instance answers its own class with itself",
       "the host asks for the interface it found the record by", check_query_own},
      {"factories.query_unknown_class",
       "an instance answers false for a class it does not implement",
       "a host that gets a yes would call slots the object does not have", check_query_unknown},
      {"factories.query_miss_untouched", "a miss leaves the reference and its object as they were",
       "the host's reference would otherwise leak or dangle", check_query_miss_untouched},
      {"factories.counts_balanced", "add_ref then release leaves the count where it started",
       "unbalanced counts free objects in use or keep them forever", check_counts_balanced},
  };
}

}  // namespace quarlo_host
