// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arm_command.h"

#include "app/exit_status.h"
#include "config/memory_ini_file.h"
#include "config/program_dir.h"
#include "config/program_state.h"
#include "config/settings.h"

#include <ostream>
#include <sys/stat.h>

namespace pingvard {

namespace {

TSettings LoadOrCreate(const std::string& fileName, bool& created) {
    struct stat st {};
    created = ::stat(fileName.c_str(), &st) != 0;
    if (created) {
        TIniFile ini(fileName); // the start-up load writes the defaults, as a start does
        return TSettings::Load(ini, GetProgramDir());
    }
    TMemoryIniFile ini(fileName); // what is confirmed is the file as it is
    return TSettings::Load(ini, GetProgramDir());
}

} // namespace

int RunArmCommand(std::ostream& out, std::ostream& err) {
    const std::string fileName = ConfigFileName();
    bool created = false;
    TSettings settings;
    try {
        settings = LoadOrCreate(fileName, created);
    } catch (const EIniFileException& e) {
        err << "pingvard: " << e.what() << "\n";
        return kExitConfigNotWritable;
    }
    TProgramStateFile state(StateFileName());
    if (!state.SaveConfirmation({})) {
        err << "pingvard: Unable to write to " << state.FileName() << "\n";
        return kExitFailure;
    }
    const TActionConfig& first = settings.Recovery.Actions.front();
    if (created) {
        out << "pingvard: wrote " << fileName << " with the defaults\n";
    }
    out << "pingvard: restarts armed for " << fileName << ": when the marked hosts have failed "
        << settings.MaxTimeouts << " times in a row, the first action is " << first.Name << " ("
        << ActionKindName(first.Kind) << ") on "
        << KindInfo(first.Kind).Target(first, settings.ResetHost)
        << "; a running pingvard takes this at its next reload (SIGHUP) or start\n";
    return kExitOk;
}

} // namespace pingvard
