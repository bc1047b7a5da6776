// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/transport_module.h"

#include "recovery/module_loader.h"

#include <utility>

namespace pingvard {
namespace {

// The module's transport, with the module held until the transport is gone.
class TModuleTransport final : public TNotifyTransport {
public:
    TModuleTransport(TLoadedModule module, std::unique_ptr<TNotifyTransport> transport)
        : m_module(std::move(module)), m_transport(std::move(transport)) {}
    ~TModuleTransport() override { m_transport.reset(); } // its code is the module's

    TDelivery Send(const TMailRequest& mail) override { return m_transport->Send(mail); }
    TDelivery Send(const THttpPost& post) override { return m_transport->Send(post); }
    void Abort() noexcept override { m_transport->Abort(); }

private:
    TLoadedModule m_module;
    std::unique_ptr<TNotifyTransport> m_transport;
};

// Without its module: every send fails with the reason.
class TMissingTransport final : public TNotifyTransport {
public:
    explicit TMissingTransport(std::string reason) : m_reason(std::move(reason)) {}
    TDelivery Send(const TMailRequest&) override { return {false, m_reason}; }
    TDelivery Send(const THttpPost&) override { return {false, m_reason}; }
    void Abort() noexcept override {}

private:
    std::string m_reason;
};

} // namespace

std::unique_ptr<TNotifyTransport> MakeModuleTransport(const std::vector<std::string>& dirs) {
    std::string error;
    auto loaded =
        TLoadedModule::Load(kNotifyModuleFile, dirs.empty() ? ProgramModuleDirs() : dirs, error);
    if (loaded) {
        if (auto* entry =
                reinterpret_cast<TNotifyModuleEntry>(loaded->Symbol(kNotifyModuleEntry, error))) {
            if (TNotifyTransport* transport = entry(kNotifyModuleAbi)) {
                return std::make_unique<TModuleTransport>(
                    std::move(*loaded), std::unique_ptr<TNotifyTransport>(transport));
            }
            error = loaded->Path() + " is of another build";
        }
    }
    return std::make_unique<TMissingTransport>(error);
}

std::unique_ptr<TNotifyTransport> MakeModuleTransport() {
    return MakeModuleTransport({});
}

} // namespace pingvard
