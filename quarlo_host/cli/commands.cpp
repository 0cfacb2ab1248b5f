#include "quarlo_host/cli/commands.h"

#include <algorithm>
#include <memory>

#include <CLI/CLI.hpp>

#include "tamsel_version.h"

namespace quarlo_host {

const std::vector<host_command>& host_commands() {
  static const std::vector<host_command> table = {
      {"inspect", "print the module's client and services", define_inspect},
      {"check", "run the contract's check cases against modules, each case in its own process",
       define_check},
      {"check-case", "run one check case here and print its result", define_check_case},
      {"run", "open the host window with the module's commands", define_run_window},
      {"lookup", "run the lookup command and work its dialog, printing its fields", define_lookup},
  };
  return table;
}

namespace {

// The options a command's parser declares, but --help, in their order.
std::vector<const CLI::Option*> declared(const CLI::App& parser) {
  std::vector<const CLI::Option*> options;
  for (const CLI::Option* o : parser.get_options()) {
    if (o != parser.get_help_ptr()) options.push_back(o);
  }
  return options;
}

// How one option reads: MODULE.dll, --seed N, --json [FILE]; with every
// name it has (-j, --jobs N) where all_names.
std::string option_form(const CLI::Option& o, bool all_names = false) {
  if (!o.nonpositional()) return o.get_name(true);
  std::string form =
      o.get_lnames().empty() ? "-" + o.get_snames().front() : "--" + o.get_lnames().front();
  if (all_names && !o.get_snames().empty() && !o.get_lnames().empty()) {
    form = "-" + o.get_snames().front() + ", " + form;
  }
  if (o.get_items_expected_max() != 0) {
    const std::string value = o.get_option_text().empty() ? "VALUE" : o.get_option_text();
    form += " " + (o.get_expected_min() == 0 ? "[" + value + "]" : value);
  }
  return form;
}

// The command's arguments as a usage line shows them: optional ones in
// brackets, repeatable ones followed by "...".
std::string arguments_of(const CLI::App& parser) {
  std::string line;
  for (const CLI::Option* o : declared(parser)) {
    std::string form = option_form(*o);
    if (!o->get_required()) form = "[" + form + "]";
    if (o->get_items_expected_max() > 1) form += "...";
    line += (line.empty() ? "" : " ") + form;
  }
  return line;
}

// A parser for the command, with its arguments declared.
std::unique_ptr<CLI::App> parser_for(const host_command& command) {
  auto parser =
      std::make_unique<CLI::App>(command.summary, std::string("quarlo_host ") + command.name);
  // A path such as /home/me/module.dll (Wine passes Unix paths through) is an
  // argument, not a Windows-style option.
  parser->allow_windows_style_options(false);
  return parser;
}

std::string usage_line(const host_command& command, const CLI::App& parser) {
  return std::string("usage: quarlo_host ") + command.name + " " + arguments_of(parser) + "\n";
}

const host_command* find_command(std::string_view name) {
  for (const auto& command : host_commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

void list_commands(std::ostream& to) {
  to << "usage: quarlo_host <command> [arguments]\n"
        "       quarlo_host --version | --help | <command> --help\n";
  for (const auto& command : host_commands()) {
    const auto parser = parser_for(command);
    command.define(*parser);
    to << "  " << command.name << " " << arguments_of(*parser) << "\n      " << command.summary
       << "\n";
  }
}

// The usage line, the summary, and a line per argument with what it does.
void write_help(const host_command& command, const CLI::App& parser, std::ostream& out) {
  out << usage_line(command, parser) << "  " << command.summary << "\n";
  for (const CLI::Option* o : declared(parser)) {
    std::string form = option_form(*o, true);
    form.resize(std::max<size_t>(form.size() + 2, 24), ' ');
    out << "  " << form << o->get_description() << "\n";
  }
}

int run_command(const host_command& command, const std::vector<std::string>& args,
                std::ostream& out, std::ostream& err) {
  const auto owned = parser_for(command);
  CLI::App& parser = *owned;
  const command_action action = command.define(parser);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    parser.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    write_help(command, parser, out);
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "quarlo_host " << command.name << ": " << e.what() << "\n"
        << usage_line(command, parser);
    return 2;
  }
  return action(out, err);
}

}  // namespace

std::string command_usage(std::string_view name) {
  const host_command* command = find_command(name);
  if (command == nullptr) return {};
  const auto parser = parser_for(*command);
  command->define(*parser);
  return usage_line(*command, *parser);
}

int run_host(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  if (argv.size() == 1 && argv[0] == "--version") {
    out << "quarlo_host " << TAMSEL_VERSION_TEXT << "\n";
    return 0;
  }
  if (argv.size() == 1 && (argv[0] == "--help" || argv[0] == "-h")) {
    list_commands(out);
    return 0;
  }
  if (!argv.empty()) {
    if (const host_command* command = find_command(argv[0])) {
      return run_command(*command, std::vector<std::string>(argv.begin() + 1, argv.end()), out,
                         err);
    }
    err << "quarlo_host: unknown command '" << argv[0] << "'\n";
  }
  list_commands(err);
  return 2;
}

int leak_status(const service_registry& registry, std::ostream& err) {
  const std::vector<std::string> leaks = registry.leak_report();
  for (const auto& line : leaks) err << "leak: " << line << "\n";
  return leaks.empty() ? 0 : 1;
}

}  // namespace quarlo_host
