// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/action_module.h"

#include "recovery/module_loader.h"

#include <utility>

namespace pingvard {
namespace {

// The module's action, with the module held until the action is gone.
class TModuleAction final : public TRecoveryAction {
public:
    TModuleAction(TLoadedModule module, std::unique_ptr<TRecoveryAction> action)
        : m_module(std::move(module)), m_action(std::move(action)) {}
    ~TModuleAction() override { m_action.reset(); } // its code is the module's

    const std::string& Name() const override { return m_action->Name(); }
    std::string_view Kind() const override { return m_action->Kind(); }
    bool HasDialogue() const override { return m_action->HasDialogue(); }
    void SetEvent(const TRecoveryEvent& event) override { m_action->SetEvent(event); }
    TRecoveryOutcome Run(TActionReport& report) override { return m_action->Run(report); }
    void Abort() noexcept override { m_action->Abort(); }

private:
    TLoadedModule m_module;
    std::unique_ptr<TRecoveryAction> m_action;
};

// An action whose module could not be loaded: each run fails with the reason.
class TMissingModuleAction final : public TRecoveryAction {
public:
    TMissingModuleAction(const TActionConfig& config, std::string reason)
        : m_name(config.Name), m_kind(ActionKindName(config.Kind)), m_reason(std::move(reason)) {}

    const std::string& Name() const override { return m_name; }
    std::string_view Kind() const override { return m_kind; }
    TRecoveryOutcome Run(TActionReport& report) override {
        report.Step(m_reason);
        return Outcome(false, "Unable to reset, " + m_reason);
    }
    void Abort() noexcept override {}

private:
    std::string m_name;
    std::string_view m_kind;
    std::string m_reason;
};

} // namespace

std::unique_ptr<TRecoveryAction> MakeModuleAction(const TActionModule& module,
                                                  const TActionConfig& config,
                                                  const TActionContext& context) {
    std::string error;
    auto loaded = TLoadedModule::Load(
        module.File, context.ModuleDirs.empty() ? ProgramModuleDirs() : context.ModuleDirs, error);
    if (loaded) {
        if (auto* entry =
                reinterpret_cast<TActionModuleEntry>(loaded->Symbol(module.Entry, error))) {
            if (TRecoveryAction* action = entry(kActionModuleAbi, &config, &context)) {
                return std::make_unique<TModuleAction>(std::move(*loaded),
                                                       std::unique_ptr<TRecoveryAction>(action));
            }
            error = loaded->Path() + " is of another build";
        }
    }
    return std::make_unique<TMissingModuleAction>(config, error);
}

std::unique_ptr<TRecoveryAction> MakeSshAction(const TActionConfig& config,
                                               const TActionContext& context) {
    return MakeModuleAction(kSshModule, config, context);
}

std::unique_ptr<TRecoveryAction> MakeHttpAction(const TActionConfig& config,
                                                const TActionContext& context) {
    return MakeModuleAction(kHttpModule, config, context);
}

} // namespace pingvard
