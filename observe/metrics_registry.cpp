// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/metrics_registry.h"

namespace pingvard {

std::unique_ptr<TMetricsRegistry> TMetricsRegistry::Load(const std::string& version,
                                                         const std::vector<std::string>& moduleDirs,
                                                         std::string& error) {
    auto module = TLoadedModule::Load(kMetricsModuleFile, moduleDirs, error);
    if (!module) {
        return nullptr;
    }
    auto* entry = reinterpret_cast<TMetricsModuleEntry>(module->Symbol(kMetricsModuleEntry, error));
    if (entry == nullptr) {
        return nullptr;
    }
    TMetricsBackend* backend = entry(kMetricsModuleAbi, version.c_str());
    if (backend == nullptr) {
        error = module->Path() + " is a module of another build";
        return nullptr;
    }
    return std::unique_ptr<TMetricsRegistry>(new TMetricsRegistry(std::move(*module), backend));
}

TMetricsRegistry::TMetricsRegistry(TLoadedModule module, TMetricsBackend* backend)
    : m_module(std::move(module)), m_backend(backend) {}

TMetricsRegistry::~TMetricsRegistry() = default;

void TMetricsRegistry::Consume(std::span<const TMonitorEvent> events, uint64_t dropped) {
    m_backend->Consume(events, dropped);
}

} // namespace pingvard
