// commands: the mainmenu_commands groups the module offers.
#include <set>
#include <string>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/core/valid_utf8.h"
#include "quarlo_host/runtime/host_string.h"

namespace quarlo_host {

namespace {

constexpr char untouched[] = "left by the host";

std::string command_at(size_t group, uint32_t index) {
  return "group " + std::to_string(group) + " command " + std::to_string(index);
}

// Runs per_group on each group the module offers; the first failure ends it.
template <typename F>
check_result each_group(const check_context& context, F per_group) {
  check_session s(context);
  const auto& groups = s.command_groups();
  if (groups.empty()) return skipped("no mainmenu_commands group");
  for (size_t g = 0; g < groups.size(); ++g) {
    check_result r = per_group(s, g, check_session::group(groups[g]));
    if (r.status != check_status::passed) return r;
  }
  return passed(std::to_string(groups.size()) + " group(s)");
}

check_result check_count_stable(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    const uint32_t count = group.command_count();
    for (int i = 0; i < 5; ++i) {
      if (group.command_count() != count) {
        return expected_got("group " + std::to_string(g) + " with a steady count",
                            "a count that changes");
      }
    }
    return passed();
  });
}

check_result check_names(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
      host_string name;
      group.command_name(i, name);
      if (name.text().empty()) return expected_got(command_at(g, i) + " with a name", "none");
      if (!valid_utf8(name.text())) {
        return expected_got(command_at(g, i) + " named in UTF-8", "invalid bytes");
      }
    }
    return passed();
  });
}

check_result check_descriptions(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
      host_string text(untouched);
      if (!group.command_description(i, text)) {
        if (text.text() != untouched) {
          return expected_got(command_at(g, i) + ": false and the string left alone",
                              "\"" + text.text() + "\"");
        }
        continue;
      }
      if (text.text().empty() || !valid_utf8(text.text())) {
        return expected_got(command_at(g, i) + ": a UTF-8 description", "empty or invalid text");
      }
    }
    return passed();
  });
}

check_result check_guids_not_null(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
      if (quarlo::guid_equal(group.command_guid(i), quarlo::null_guid)) {
        return expected_got(command_at(g, i) + " with a GUID", "the null GUID");
      }
    }
    return passed();
  });
}

check_result check_guids_unique(const check_context& context) {
  std::set<std::string> seen;
  return each_group(context, [&](check_session&, size_t g, mainmenu_commands& group) {
    for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
      const std::string guid = format_guid(group.command_guid(i));
      if (!seen.insert(guid).second) {
        return expected_got(command_at(g, i) + " with a GUID of its own", guid + " again");
      }
    }
    return passed();
  });
}

check_result check_guid_past_end(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    const uint32_t n = group.command_count();
    for (const uint32_t i : {n, n + 1, 0xFFFFFFFFu}) {
      const GUID guid = group.command_guid(i);
      if (!quarlo::guid_equal(guid, quarlo::null_guid)) {
        return expected_got("the null GUID for " + command_at(g, i), format_guid(guid));
      }
    }
    return passed();
  });
}

check_result check_past_end_writes_nothing(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    const uint32_t n = group.command_count();
    for (const uint32_t i : {n, 0xFFFFFFFFu}) {
      host_string name(untouched);
      group.command_name(i, name);
      host_string description(untouched);
      const bool described = group.command_description(i, description);
      host_string text(untouched);
      uint32_t flags = 0;
      group.display_state(i, text, flags);
      const std::string at = command_at(g, i) + " (past the end): ";
      if (name.text() != untouched) {
        return expected_got(at + "command_name to leave the string alone",
                            "\"" + name.text() + "\"");
      }
      if (described || description.text() != untouched) {
        return expected_got(at + "command_description false, the string alone",
                            "\"" + description.text() + "\"");
      }
      if (text.text() != untouched) {
        return expected_got(at + "display_state to leave the string alone",
                            "\"" + text.text() + "\"");
      }
    }
    return passed();
  });
}

check_result check_display_state(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
      host_string text;
      uint32_t flags = 0;
      if (group.display_state(i, text, flags) && !valid_utf8(text.text())) {
        return expected_got(command_at(g, i) + ": a UTF-8 menu text", "invalid bytes");
      }
    }
    return passed();
  });
}

check_result check_group_stable(const check_context& context) {
  return each_group(context, [](check_session&, size_t g, mainmenu_commands& group) {
    const GUID parent = group.parent_group();
    const uint32_t priority = group.sort_priority();
    for (int i = 0; i < 5; ++i) {
      if (!quarlo::guid_equal(group.parent_group(), parent) || group.sort_priority() != priority) {
        return expected_got("group " + std::to_string(g) + " with a steady parent and priority",
                            "values that change");
      }
    }
    return passed();
  });
}

check_result check_run_releases(const check_context& context) {
  return each_group(context, [](check_session& s, size_t g, mainmenu_commands& group) {
    named_object& callback = s.registry().at(0);
    service_ref given;
    given.assign(&callback);
    // An index past the end runs nothing, so no dialog can block the case.
    group.run_command(group.command_count(), std::move(given));
    if (callback.outstanding() != 0) {
      return expected_got(
          "group " + std::to_string(g) + ": run_command to release the one reference it was given",
          std::to_string(callback.outstanding()) + " left over");
    }
    return passed();
  });
}

check_result check_run_null_callback(const check_context& context) {
  return each_group(context, [](check_session&, size_t, mainmenu_commands& group) {
    group.run_command(group.command_count(), service_ref());
    return passed();
  });
}

}  // namespace

std::vector<check_case> command_cases() {
  return {
      {"commands.count_stable", "command_count is the same on every call",
       "the host builds its menu from it and indexes commands by it", check_count_stable},
      {"commands.names", "every command has a non-empty UTF-8 name",
       "the name is the menu item the user sees", check_names},
      {"commands.descriptions",
       "a description is non-empty UTF-8; without one the string is left alone",
       "the host shows descriptions as help and must not show stale text", check_descriptions},
      {"commands.guids_not_null", "every command has a non-null GUID",
       "the host stores key bindings and toolbars by command GUID", check_guids_not_null},
      {"commands.guids_unique", "command GUIDs are unique across all groups",
       "two commands with one GUID run each other's bindings", check_guids_unique},
      {"commands.guid_past_end", "command_guid past the end is the null GUID",
       "the host probes indexes when commands change", check_guid_past_end},
      {"commands.past_end_writes_nothing",
       "command_name, command_description and display_state past the end leave the string",
       "the host's string would show a command that does not exist", check_past_end_writes_nothing},
      {"commands.display_state", "display_state gives UTF-8 menu text",
       "the host shows that text in its menu", check_display_state},
      {"commands.group_stable", "parent_group and sort_priority stay the same",
       "the host places the group once and finds it there again", check_group_stable},
      {"commands.run_releases_callback",
       "run_command releases exactly the callback reference it is given",
       "a kept or doubly released callback leaks or frees the host's object", check_run_releases},
      {"commands.run_null_callback", "run_command with an empty callback returns",
       "a host may run a command without a callback", check_run_null_callback},
  };
}

}  // namespace quarlo_host
