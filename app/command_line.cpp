// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include "app/licence.h"
#include "config/desktop_settings.h"
#include "observe/history/history_report.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

#ifndef PINGVARD_VERSION
#error "PINGVARD_VERSION must be defined by the build"
#endif

namespace pingvard {
namespace {

enum class TOptionKind {
    Help,
    Version,
    Headless,
    Directory,
    Language,
    TestAction,
    TestNotify,
    History,
    Incidents,
    Since,
    Csv,
    Arm,
    Debug
};

struct TOptionName {
    std::string_view Name;
    TOptionKind Kind;
};

constexpr TOptionName kLongOptions[] = {
    {"--help", TOptionKind::Help},         {"--version", TOptionKind::Version},
    {"--headless", TOptionKind::Headless}, {"--directory", TOptionKind::Directory},
    {"--lang", TOptionKind::Language},     {"--test-action", TOptionKind::TestAction},
    {"--history", TOptionKind::History},   {"--incidents", TOptionKind::Incidents},
    {"--since", TOptionKind::Since},       {"--csv", TOptionKind::Csv},
    {"--arm", TOptionKind::Arm},           {"--test-notify", TOptionKind::TestNotify},
    {"--debug", TOptionKind::Debug},
};

std::optional<TOptionKind> FindLongOption(std::string_view name) {
    for (const auto& option : kLongOptions) {
        if (option.Name == name)
            return option.Kind;
    }
    return std::nullopt;
}

bool TakesValue(TOptionKind kind) {
    return kind == TOptionKind::Directory || kind == TOptionKind::Language ||
           kind == TOptionKind::TestAction || kind == TOptionKind::TestNotify ||
           kind == TOptionKind::Since;
}

// Sets the flag of an option that takes no value.
void Apply(TCommandLine& options, TOptionKind kind) {
    switch (kind) {
    case TOptionKind::Help:
        options.Help = true;
        break;
    case TOptionKind::Version:
        options.Version = true;
        break;
    case TOptionKind::Headless:
        options.Headless = true;
        break;
    case TOptionKind::History:
        options.History = true;
        break;
    case TOptionKind::Incidents:
        options.Incidents = true;
        break;
    case TOptionKind::Csv:
        options.Csv = true;
        break;
    case TOptionKind::Arm:
        options.Arm = true;
        break;
    case TOptionKind::Debug:
        options.Debug = true;
        break;
    case TOptionKind::Directory:
    case TOptionKind::Language:
    case TOptionKind::TestAction:
    case TOptionKind::TestNotify:
    case TOptionKind::Since:
        break; // takes a value; handled by the caller
    }
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// Parses the argument at index i (and its value, advancing i); returns an error line or "".
std::string ParseOne(const std::vector<std::string_view>& args, size_t& i, TCommandLine& options) {
    const std::string_view arg = args[i];
    std::optional<std::string_view> value; // for -C/--directory, --lang, --test-action, --since
    std::string_view spelled = arg;
    TOptionKind kind = TOptionKind::Directory;

    if (arg.starts_with("--")) {
        const size_t equals = arg.find('=');
        spelled = arg.substr(0, equals);
        const auto found = FindLongOption(spelled);
        if (!found)
            return "unknown option " + Quoted(spelled);
        kind = *found;
        if (!TakesValue(kind)) {
            if (equals != std::string_view::npos)
                return "option " + Quoted(spelled) + " takes no value";
            Apply(options, kind);
            return {};
        }
        if (equals != std::string_view::npos)
            value = arg.substr(equals + 1);
    } else if (arg == "-h") {
        options.Help = true;
        return {};
    } else if (arg.starts_with("-C")) {
        spelled = "-C";
        if (arg.size() > 2)
            value = arg.substr(2);
    } else if (arg.starts_with("-") && arg.size() > 1) {
        return "unknown option " + Quoted(arg);
    } else if (options.History && options.HistoryHost.empty() && !arg.empty()) {
        options.HistoryHost = arg; // the one host of --history
        return {};
    } else {
        return "unexpected argument " + Quoted(arg);
    }

    const char* const needs = kind == TOptionKind::Language     ? "cs or en"
                              : kind == TOptionKind::TestAction ? "an action name"
                              : kind == TOptionKind::TestNotify ? "a channel name"
                              : kind == TOptionKind::Since      ? "a time span"
                                                                : "a directory";
    if (!value) {
        if (i + 1 >= args.size())
            return "option " + Quoted(spelled) + " needs " + needs;
        value = args[++i];
    }
    if (kind == TOptionKind::Language) {
        if (*value != "cs" && *value != "en")
            return "option " + Quoted(spelled) + " needs cs or en, not " + Quoted(*value);
        options.Language = *value;
        return {};
    }
    if (kind == TOptionKind::Since) {
        if (!ParseSince(*value))
            return "option " + Quoted(spelled) + " needs a time span such as 90s, 30m, 24h, 7d " +
                   "or 2w, not " + Quoted(*value);
        options.Since = *value;
        return {};
    }
    if (kind == TOptionKind::TestAction) {
        if (value->empty())
            return "option " + Quoted(spelled) + " needs a non-empty action name";
        options.TestAction = *value;
        return {};
    }
    if (kind == TOptionKind::TestNotify) {
        if (value->empty())
            return "option " + Quoted(spelled) + " needs a non-empty channel name";
        options.TestNotify = *value;
        return {};
    }
    if (value->empty())
        return "option " + Quoted(spelled) + " needs a non-empty directory";
    options.Directories.emplace_back(*value);
    return {};
}

} // namespace

TCommandLineResult ParseCommandLine(const std::vector<std::string_view>& args) {
    TCommandLineResult result;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && result.Error.empty(); ++i) {
        if (!optionsEnded && args[i] == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded) {
            result.Error = "unexpected argument " + Quoted(args[i]);
            break;
        }
        result.Error = ParseOne(args, i, result.Options);
    }
    const TCommandLine& o = result.Options;
    if (result.Error.empty() && !o.History && !o.Incidents && (o.Csv || !o.Since.empty()))
        result.Error = "options '--since' and '--csv' go with '--history'";
    if (result.Error.empty() && o.History && o.Incidents)
        result.Error = "options '--history' and '--incidents' go one at a time";
    if (!result.Error.empty())
        result.Options = {};
    return result;
}

TCommandLineResult ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return ParseCommandLine(args);
}

std::string UsageText(bool desktopBuiltIn) {
    std::string text =
        "Usage: pingvard [OPTION]...\n"
        "       pingvard --history [HOST] [--since=SPAN] [--csv]\n"
        "       pingvard --incidents [--since=SPAN] [--csv]\n"
        "Watches four hosts by ICMP echo and restarts the site's access point over\n"
        "telnet when every marked host has stopped answering.\n"
        "\n"
        "  -C, --directory=DIR  change to DIR before starting; pingvard.ini,\n"
        "                       pingvard.log and comm.log live in the current directory\n";
    text += desktopBuiltIn
                ? "      --headless       run on the console even when a display is available\n"
                : "      --headless       run on the console (always so: this build has no\n"
                  "                       desktop user interface)\n";
    text += "      --debug          with the console program: also print on stderr how the\n"
            "                       monitor works, e.g. where each host's echo times come\n"
            "                       from (the kernel's timestamps or the program's clock)\n";
    text += "      --lang=LANG      the desktop program's language, cs or en (default:\n"
            "                       ";
    text.append(kLanguageSection).append(" ").append(kLanguageKey);
    text += " in pingvard.ini, else the locale);\n"
            "                       the console program and the logs are in English\n"
            "      --test-action=NAME  run the recovery action NAME of pingvard.ini once\n"
            "                       against the configured device, print each step and\n"
            "                       the outcome, and exit (0 when it succeeded, else 1)\n"
            "      --test-notify=NAME  send one test message through the notification\n"
            "                       channel NAME of pingvard.ini, print the server's\n"
            "                       answer, and exit (0 when it took the message, else 1)\n"
            "      --arm            confirm the settings a first start wrote (or, without\n"
            "                       pingvard.ini, the defaults), so that restarts may act,\n"
            "                       and exit; a running pingvard takes it at its next\n"
            "                       reload (SIGHUP) or start\n"
            "      --history [HOST] print the recorded history of every host, or of HOST\n"
            "                       (an address or a name), and exit\n"
            "      --incidents      list the incidents (the site down, its cause, each\n"
            "                       restart and what cured it) and the share of time up\n"
            "                       over the last day, week and month, and exit\n"
            "      --since=SPAN     with --history or --incidents: the last SPAN, e.g. 90m,\n"
            "                       24h (--history's default), 7d, 2w or 30d (--incidents')\n"
            "      --csv            with --history or --incidents: comma-separated values\n"
            "                       with a header\n";
    text += "  -h, --help           show this help and exit\n"
            "      --version        show the version and exit\n"
            "\n"
            "SIGINT and SIGTERM end the console program cleanly; SIGHUP reads pingvard.ini\n"
            "again; SIGUSR1 restarts now (one round of the recovery actions, within the\n"
            "guard's limits).\n"
            "Exit status: 0 normal end, 1 cannot start (--history, --incidents: no\n"
            "history or no such host), 2 command-line error, 3 pingvard.ini cannot be\n"
            "written.\n";
    return text;
}

std::string DesktopUsageText() {
    std::string text =
        "Usage: pingvard-desktop [OPTION]...\n"
        "The tray program of pingvard: watches four hosts by ICMP echo, shows them in\n"
        "a window behind an icon in the notification area, and restarts the site's\n"
        "access point over telnet when every marked host has stopped answering.\n"
        "\n"
        "  -C, --directory=DIR  change to DIR before starting; pingvard.ini,\n"
        "                       pingvard.log and comm.log live in the current directory\n"
        "      --lang=LANG      the window's language, cs or en (default: ";
    text.append(kLanguageSection).append("\n                       ").append(kLanguageKey);
    return text + " in pingvard.ini, else the locale)\n"
                  "  -h, --help           show this help and exit\n"
                  "      --version        show the version and exit\n"
                  "\n"
                  "A click on the icon shows or hides the window; \"Ukončit\" (Exit) in its menu\n"
                  "ends the program. 'pingvard --headless' runs the same monitor on the console.\n"
                  "Exit status: 0 normal end, 1 cannot start, 2 command-line error,\n"
                  "3 pingvard.ini cannot be written.\n";
}

std::string VersionText(std::string_view program) {
    return std::string(program) + " " + PINGVARD_VERSION + "\n" + kLicenceText;
}

std::string ChangeDirectories(const std::vector<std::string>& directories) {
    for (const auto& directory : directories) {
        if (chdir(directory.c_str()) != 0) {
            const int err = errno;
            return "cannot change directory to " + Quoted(directory) + ": " + std::strerror(err);
        }
    }
    return {};
}

} // namespace pingvard
