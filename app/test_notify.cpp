// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/test_notify.h"

#include "app/exit_status.h"
#include "config/memory_ini_file.h"
#include "config/program_dir.h"
#include "config/settings.h"
#include "observe/notify/test_message.h"
#include "observe/notify/transport_module.h"
#include "recovery/secret_mask.h"

#include <ostream>
#include <strings.h>
#include <sys/stat.h>

namespace pingvard {

int RunTestNotify(const std::string& name, std::ostream& out, std::ostream& err) {
    const std::string fileName = ConfigFileName();
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        err << "pingvard: no " << fileName << ": no channel is configured to test\n";
        return kExitFailure;
    }
    // Read as a start reads it, without its writes: a dry run changes nothing.
    TMemoryIniFile ini(fileName);
    const TSettings settings = TSettings::Load(ini, GetProgramDir());
    const std::vector<std::string> secrets = NotifySecrets(settings.Notify);
    for (const std::string& problem : settings.ObserveProblems) {
        err << "pingvard: " << MaskSecrets(problem, secrets) << "\n";
    }
    for (const TNotifyChannel& channel : settings.Notify.Channels) {
        if (strcasecmp(channel.Name.c_str(), name.c_str()) != 0) {
            continue;
        }
        out << "Testing " << channel.Name << " (" << TestMessageRoute(channel) << ")" << std::endl;
        const TDelivery delivery = SendTestMessage(channel, *MakeModuleTransport());
        out << (delivery.Accepted ? "Accepted: " : "Not delivered: ")
            << MaskSecrets(delivery.Answer, secrets) << std::endl;
        return delivery.Accepted ? kExitOk : kExitFailure;
    }
    err << "pingvard: no usable notification channel '" << name << "' in " << kNotifyChannelsSetting
        << " of " << fileName << "\n";
    return kExitFailure;
}

} // namespace pingvard
