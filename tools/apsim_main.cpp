// SPDX-License-Identifier: GPL-3.0-or-later
// pingvard-apsim: the access-point simulator (see --help).
#include "app/licence.h"
#include "tools/apsim_options.h"
#include "tools/apsim_server.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace pingvard::apsim;
    const TParseOutcome parsed =
        ParseApsimCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.Action) {
    case TParseOutcome::TAction::Help:
        std::fputs(ApsimUsage().c_str(), stdout);
        return 0;
    case TParseOutcome::TAction::Version:
        std::fputs("pingvard-apsim " PINGVARD_VERSION "\n", stdout);
        std::fputs(pingvard::kLicenceText, stdout);
        return 0;
    case TParseOutcome::TAction::Error:
        std::fprintf(stderr, "pingvard-apsim: %s\nTry 'pingvard-apsim --help'.\n",
                     parsed.Error.c_str());
        return 2;
    case TParseOutcome::TAction::Run:
        break;
    }
    return RunApsimServer(parsed.Options);
}
