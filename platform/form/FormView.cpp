#include "platform/form/FormView.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/debug/DebugOutput.h"

namespace form {

namespace {

constexpr const char* kHeadless = "headless";

struct BackendRegistry {
    std::mutex mutex;
    std::map<std::string, FormViewFactory> factories;
    std::string selected;  // empty: not chosen yet, the environment decides
};

BackendRegistry& Registry() {
    static BackendRegistry registry;
    return registry;
}

}  // namespace

void RegisterFormBackend(const std::string& name, FormViewFactory factory) {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    registry.factories[name] = std::move(factory);
}

bool SelectFormBackend(const std::string& name) {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    if (name != kHeadless && !registry.factories.count(name)) return false;
    registry.selected = name;
    return true;
}

std::string SelectedFormBackend() {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    if (!registry.selected.empty()) return registry.selected;
    const char* fromEnvironment = std::getenv("AXLUMORA_FORM_BACKEND");
    if (fromEnvironment && registry.factories.count(fromEnvironment)) return fromEnvironment;
    return kHeadless;
}

std::unique_ptr<FormView> CreateFormView(Form& form) {
    const std::string name = SelectedFormBackend();
    if (name == kHeadless) return nullptr;
    FormViewFactory factory;
    {
        auto& registry = Registry();
        std::lock_guard lock(registry.mutex);
        factory = registry.factories.at(name);
    }
    std::unique_ptr<FormView> view = factory(form);
    if (!view)
        OutputDebugStringA(("form backend " + name + " cannot show a window: headless").c_str());
    return view;
}

}  // namespace form
